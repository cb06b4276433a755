// Sort keys from the operating system's own collation, where it has one
// (Windows' LCMapStringW with LCMAP_SORTKEY). Jet 3 asked the system for
// the keys of its non-Western sort orders, so on Windows these are the keys
// Jet computes on the same machine.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace mirutone::platform {

enum SortKeyFlags : unsigned {
  kIgnoreCase = 1,
  kIgnoreKanaType = 2,
  kIgnoreWidth = 4,
};

// Whether this system can compute sort keys at all.
bool system_sort_keys_available();

// Appends the system's sort key of `utf8` under locale `lcid`, with the
// flags given (word sort), final zero byte included. False when the system
// has no sort keys or refuses the text (`utf8` not valid UTF-8 included).
bool system_sort_key(unsigned lcid, unsigned flags, std::string_view utf8, std::vector<std::uint8_t>& out);

}  // namespace mirutone::platform
