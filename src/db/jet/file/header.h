// The database header (page 0): format version, code page, sort order and the
// key that encodes the other pages. Part of it is masked with a fixed RC4 key.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "db/jet/api/reader.h"

namespace mirutone::jet {

struct Header {
  Format format = Format::Jet3;
  std::uint32_t version = 0;  // u32 at 0x14
  int codepage = 0;           // as stored; 0 in files DAO made
  int sort_order = 0;         // LCID
  std::uint32_t db_key = 0;   // 0 = pages stored plainly
  bool workgroup = false;     // signature "Jet System DB" (a workgroup file)
};

// XORs the masked region of a header page in place (the operation is its own
// inverse: it unmasks a page read from disk and masks one about to be written).
void mask_header(Format format, std::uint8_t* page0, std::size_t len);

// Parses the first bytes of a file (at least 2048; unmasks a copy). Throws
// CorruptError naming `file` when they are not a Jet 3 or Jet 4 header.
Header parse_header(const std::string& file, const std::uint8_t* data, std::size_t len);

}  // namespace mirutone::jet
