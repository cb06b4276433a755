#include <windows.h>

#include "platform/path.h"
#include "platform/sort_key.h"

namespace mirutone::platform {

bool system_sort_keys_available() { return true; }

bool system_sort_key(unsigned lcid, unsigned flags, std::string_view utf8, std::vector<std::uint8_t>& out) {
  std::wstring wide;
  try {
    wide = widen(utf8);
  } catch (const std::exception&) {
    return false;
  }
  DWORD map = LCMAP_SORTKEY;
  if (flags & kIgnoreCase) map |= NORM_IGNORECASE;
  if (flags & kIgnoreKanaType) map |= NORM_IGNOREKANATYPE;
  if (flags & kIgnoreWidth) map |= NORM_IGNOREWIDTH;
  // The key of an empty text is still a key (its separators and final zero);
  // the system takes a length of 0 as an error, so it is given the empty
  // string with its terminator instead.
  const int in_len = wide.empty() ? -1 : static_cast<int>(wide.size());
  int n = ::LCMapStringW(lcid, map, wide.c_str(), in_len, nullptr, 0);
  if (n <= 0) return false;
  const std::size_t base = out.size();
  out.resize(base + static_cast<std::size_t>(n));
  n = ::LCMapStringW(lcid, map, wide.c_str(), in_len, reinterpret_cast<LPWSTR>(out.data() + base), n);
  if (n <= 0) {
    out.resize(base);
    return false;
  }
  out.resize(base + static_cast<std::size_t>(n));
  return true;
}

}  // namespace mirutone::platform
