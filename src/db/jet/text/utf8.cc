#include "db/jet/text/utf8.h"

#include "db/jet/api/error.h"

namespace mirutone::jet {

long next_utf8(std::string_view s, std::size_t& i) {
  const auto b = static_cast<unsigned char>(s[i]);
  const std::size_t len = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
  if (len == 0 || i + len > s.size()) return -1;
  char32_t c = len == 1 ? b : b & (0x7F >> len);
  for (std::size_t k = 1; k < len; ++k) {
    const auto cb = static_cast<unsigned char>(s[i + k]);
    if ((cb & 0xC0) != 0x80) return -1;
    c = (c << 6) | (cb & 0x3F);
  }
  static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < kMin[len] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return -1;
  i += len;
  return static_cast<long>(c);
}

std::vector<char32_t> decode_utf8(std::string_view s) {
  std::vector<char32_t> out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    const long c = next_utf8(s, i);
    if (c < 0) throw Error(0, "", "index key: text is not valid UTF-8");
    out.push_back(static_cast<char32_t>(c));
  }
  return out;
}

}  // namespace mirutone::jet
