#include "db/jet/text/names.h"

namespace mirutone::jet {

std::string name_key(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      out.push_back(static_cast<char>(c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c));
      continue;
    }
    // U+FF41..U+FF5A (ａ..ｚ, EF BD 81..9A) fold to U+FF21..U+FF3A (Ａ..Ｚ, EF BC A1..BA).
    if (c == 0xEF && i + 2 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0xBD) {
      const auto c2 = static_cast<unsigned char>(s[i + 2]);
      if (c2 >= 0x81 && c2 <= 0x9A) {
        out += "\xEF\xBC";
        out.push_back(static_cast<char>(c2 - 0x81 + 0xA1));
        i += 2;
        continue;
      }
    }
    out.push_back(static_cast<char>(c));
  }
  return out;
}

bool names_equal(std::string_view a, std::string_view b) { return a.size() == b.size() && name_key(a) == name_key(b); }

}  // namespace mirutone::jet
