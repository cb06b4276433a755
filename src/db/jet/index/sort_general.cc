// Access 97 General sort order: text key bytes.
//
// Trailing spaces are dropped first. Each Windows-1252 byte is then one of
// four kinds:
//   ignored        no output
//   simple         one or two code bytes
//   significant    one code byte, and a possible base for an accent
//   international  code bytes plus a 4-bit accent code
// The key is the code bytes of every character, then either 0x00 (no
// international character) or a packed list of 4-bit accent codes: it starts
// with 0, each international character adds one 2 per significant character
// seen since the previous international one and then its accent code, and a
// final 0 closes it (padded with a 0 to whole bytes).
#include "db/jet/index/sort_general.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace mirutone::jet {
namespace {

// Only the first 255 characters of a text value take part in its key.
constexpr std::size_t kMaxKeyChars = 255;

// The table, one row per high nibble. A NUL byte inside a value is keyed like
// the other control characters (seen in MSysModules2 names Jet wrote). "--" ignored; "hh" or "hhhh" simple;
// "hh*" significant; "hhhh**" a ligature of two significant letters (ae, oe,
// ss), which counts twice; "hh+n" international with accent code n.
constexpr const char* kTable[16] = {
    "10 10 10 10 10 10 10 10 10 11 10 10 10 10 10 10",
    "10 10 10 10 10 10 10 10 10 10 10 10 10 10 10 10",
    "11 12 13 14 15 16 17 18 19 1a 1b 1c 1d 1e 1f 20",
    "56 57 58 59 5a 5b 5c 5d 5e 5f 21 22 23 24 25 26",
    "27 60* 61 62* 64 66* 67 68 69 6a* 6b 6c 6d 6f 70* 72*",
    "73 74 75 76* 77 78* 7a 7b 7c 7d* 7e 28 29 2a 2b 2c",
    "2d 60* 61 62* 64 66* 67 68 69 6a* 6b 6c 6d 6f 70* 72*",
    "73 74 75 76* 77 78* 7a 7b 7c 7d* 7e 2e 2f 30 31 10",
    "10 10 18 32 13 33 34 35 36 37 76+a 18 7266** 10 10 10",
    "10 18 18 13 13 38 1e 1e 39 3a 76+a 18 7266** 10 10 7d+6",
    "11 3b 3c 3d 3e 3f 40 41 42 43 44 13 45 1e 46 47",
    "48 49 58 59 4a 4b 4c 4d 4e 57 4f 13 50 51 52 53",
    "60+3 60+4 60+5 60+7 60+6 60+8 6066** 62+9 66+3 66+4 66+5 66+6 6a+3 6a+4 6a+5 6a+6",
    "65 70+7 72+3 72+4 72+5 72+7 72+6 54 81 78+3 78+4 78+5 78+6 7d+4 7f 7676**",
    "60+3 60+4 60+5 60+7 60+6 60+8 6066** 62+9 66+3 66+4 66+5 66+6 6a+3 6a+4 6a+5 6a+6",
    "65 70+7 72+3 72+4 72+5 72+7 72+6 55 81 78+3 78+4 78+5 78+6 7d+4 7f 7d+6",
};

enum class Kind : std::uint8_t { Ignored, Simple, Significant, International };

struct Code {
  Kind kind = Kind::Ignored;
  std::uint8_t len = 0;
  std::array<std::uint8_t, 2> bytes{};
  std::uint8_t accent = 0;
  std::uint8_t significant = 0;  // letters that count as accent bases
};

std::array<Code, 256> build_codes() {
  std::array<Code, 256> codes{};
  for (int row = 0; row < 16; ++row) {
    std::istringstream in(kTable[row]);
    std::string cell;
    for (int col = 0; col < 16; ++col) {
      in >> cell;
      Code& c = codes[row * 16 + col];
      if (cell == "--") continue;
      std::string hex = cell.substr(0, cell.find_first_of("*+"));
      c.len = static_cast<std::uint8_t>(hex.size() / 2);
      for (std::size_t i = 0; i < c.len; ++i)
        c.bytes[i] = static_cast<std::uint8_t>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
      if (cell.back() == '*') {
        c.kind = Kind::Significant;
        c.significant = static_cast<std::uint8_t>(cell.size() - hex.size());
      } else if (auto plus = cell.find('+'); plus != std::string::npos) {
        c.kind = Kind::International;
        c.accent = static_cast<std::uint8_t>(std::stoi(cell.substr(plus + 1), nullptr, 16));
      } else {
        c.kind = Kind::Simple;
      }
    }
  }
  return codes;
}

const std::array<Code, 256>& codes() {
  static const std::array<Code, 256> table = build_codes();
  return table;
}

// Windows-1252 positions 0x80..0x9F; 0 marks the five unassigned ones, which
// keep their C1 control code point.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

}  // namespace

int to_cp1252(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<int>(c);
  for (int i = 0; i < 32; ++i) {
    if (kCp1252High[i] == c) return 0x80 + i;
    if (kCp1252High[i] == 0 && c == static_cast<char32_t>(0x80 + i)) return 0x80 + i;
  }
  return -1;
}

void GeneralTextKeys::append_key(std::string_view utf8, Bytes& out) const {
  std::vector<char32_t> text = decode_utf8(utf8);
  // Jet keys the text without its trailing spaces.
  while (!text.empty() && text.back() == U' ') text.pop_back();
  const auto& table = codes();
  std::vector<std::uint8_t> nibbles;
  int significant = 0;
  std::size_t n = 0;
  for (char32_t c : text) {
    if (n++ == kMaxKeyChars) break;
    const int b = to_cp1252(c);
    if (b < 0) {
      char buf[16];
      std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(c));
      throw Error(0, "", std::string("index key: character ") + buf +
                             " has no place in the General sort order (not in Windows-1252)");
    }
    const Code& code = table[b];
    out.insert(out.end(), code.bytes.begin(), code.bytes.begin() + code.len);
    if (code.kind == Kind::Significant) {
      significant += code.significant;
    } else if (code.kind == Kind::International) {
      if (nibbles.empty()) nibbles.push_back(0);
      nibbles.insert(nibbles.end(), significant, 2);
      nibbles.push_back(code.accent);
      significant = 0;
    }
  }
  if (nibbles.empty()) {
    out.push_back(0x00);
    return;
  }
  nibbles.push_back(0);
  if (nibbles.size() % 2) nibbles.push_back(0);
  for (std::size_t i = 0; i < nibbles.size(); i += 2)
    out.push_back(static_cast<std::uint8_t>((nibbles[i] << 4) | nibbles[i + 1]));
}

}  // namespace mirutone::jet
