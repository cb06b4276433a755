// Page 0 of a new Jet 3 database.
#pragma once

#include <cstdint>
#include <vector>

namespace mirutone::jet {

// The header page: format id, version 0, the pointers to page 1 and the four
// system table definitions, the default sort order and code page, database
// key 0 (pages not encoded) and no password; bytes 0x18..0x95 are masked with
// the fixed RC4 key as Jet expects.
std::vector<std::uint8_t> build_header_page(std::uint16_t sort_order, std::uint16_t codepage);

}  // namespace mirutone::jet
