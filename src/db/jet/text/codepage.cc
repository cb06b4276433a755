#include "db/jet/text/codepage.h"

#include <cerrno>
#include <cstdio>
#include <vector>

#include "db/jet/api/error.h"
#include "platform/codepage.h"
#include "db/jet/text/utf8.h"

namespace mirutone::jet {

namespace {

bool is_dbcs(int cp) { return cp == 932 || cp == 936 || cp == 949 || cp == 950 || cp == 1361; }

std::string hex_char(char32_t c) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(c));
  return buf;
}

// The only characters stored other than as themselves. Each is a mapping
// Windows makes too; docs/format-writing.md, "Code page mappings", lists them.
struct DeliberateMapping {
  int codepage;
  char32_t c;
  const char* bytes;
};
constexpr DeliberateMapping kDeliberateMappings[] = {
    {932, 0x00A5, "\x5C"},  // YEN SIGN: 0x5C is the yen sign on Japanese Windows
};

}  // namespace

const char* deliberate_mapping(int codepage, char32_t c) {
  for (const DeliberateMapping& m : kDeliberateMappings)
    if (m.codepage == codepage && m.c == c) return m.bytes;
  return nullptr;
}

int codepage_for_sort_order(int lcid) {
  switch (lcid) {
    case 0x0411: return 932;
    case 0x0404: case 0x0C04: case 0x1404: return 950;
    case 0x0804: case 0x1004: return 936;
    case 0x0412: return 949;
    case 0x0812: return 1361;  // Korean Johab
    case 0x041E: return 874;   // Thai
    default: break;
  }
  switch (lcid & 0x3FF) {  // primary language
    // Cyrillic: Russian, Ukrainian, Belarusian, Bulgarian, Macedonian, Kazakh,
    // Kyrgyz, Tatar, Mongolian.
    case 0x19: case 0x22: case 0x23: case 0x02: case 0x2F: case 0x3F: case 0x40: case 0x44:
    case 0x50:
      return 1251;
    case 0x1A:  // Croatian / Serbian / Bosnian: Cyrillic sublanguages use 1251
      return (lcid == 0x0C1A || lcid == 0x201A) ? 1251 : 1250;
    case 0x2C:  // Azeri: Latin 1254, Cyrillic 1251
    case 0x43:  // Uzbek: Latin 1254, Cyrillic 1251
      return (lcid >> 10) == 2 ? 1251 : 1254;
    case 0x1F: return 1254;  // Turkish
    case 0x08: return 1253;  // Greek
    // Central European: Czech, Hungarian, Polish, Romanian, Slovak, Slovenian, Albanian.
    case 0x05: case 0x0E: case 0x15: case 0x18: case 0x1B: case 0x24: case 0x1C:
      return 1250;
    case 0x0D: return 1255;  // Hebrew
    case 0x01: case 0x29: case 0x20: return 1256;  // Arabic, Farsi, Urdu
    case 0x25: case 0x26: case 0x27: return 1257;  // Estonian, Latvian, Lithuanian
    case 0x2A: return 1258;  // Vietnamese
    default: return 1252;
  }
}

CodePage::CodePage(int codepage) : number_(codepage), system_(platform::CodePageConverter::open(codepage)) {
  if (!system_) throw Error(0, "", "code page " + std::to_string(codepage) + " is not available");
  single_byte_ = !is_dbcs(codepage);
  if (single_byte_) {
    for (int b = 0; b < 256; ++b) {
      const std::uint8_t in = static_cast<std::uint8_t>(b);
      std::string utf8;
      std::size_t bad_at = 0;
      bool incomplete = false;
      char32_t cp;
      if (system_->to_utf8(&in, 1, utf8, bad_at, incomplete) && !utf8.empty()) {
        std::size_t i = 0;
        long c = next_utf8(utf8, i);
        cp = static_cast<char32_t>(c < 0 ? b : c);
      } else {
        cp = static_cast<char32_t>(b);
        utf8.clear();
        append_utf8(utf8, cp);
      }
      table_[b] = utf8;
      reverse_.emplace(cp, static_cast<std::uint8_t>(b));
    }
  }
}

CodePage::~CodePage() = default;

void CodePage::decode(const std::uint8_t* data, std::size_t len, std::string& out) const {
  if (single_byte_) {
    for (std::size_t i = 0; i < len; ++i) {
      std::uint8_t b = data[i];
      if (b < 0x80)
        out.push_back(static_cast<char>(b));
      else
        out += table_[b];
    }
    return;
  }
  // Fast path for plain ASCII runs.
  std::size_t i = 0;
  while (i < len && data[i] < 0x80) ++i;
  out.append(reinterpret_cast<const char*>(data), i);
  if (i == len) return;
  std::size_t bad_at = 0;
  bool incomplete = false;
  if (!system_->to_utf8(data + i, len - i, out, bad_at, incomplete)) {
    const std::size_t at = i + bad_at;
    char buf[64];
    std::snprintf(buf, sizeof buf, "byte 0x%02X at position %zu", data[at], at);
    throw Error(0, "",
                std::string("text is not valid in code page ") + std::to_string(number_) + " (" +
                    buf + (incomplete ? ", incomplete character at the end" : "") + ")");
  }
}

std::string CodePage::decode(std::string_view bytes) const {
  std::string out;
  decode(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), out);
  return out;
}

std::string CodePage::encode(std::string_view utf8) const {
  // Plain ASCII is the same bytes in every code page the engine writes.
  std::size_t i = ascii_prefix(utf8);
  if (i == utf8.size()) return std::string(utf8);
  std::string out;
  out.reserve(utf8.size());
  out.assign(utf8.data(), i);
  while (i < utf8.size()) {
    std::size_t start = i;
    long c = next_utf8(utf8, i);
    if (c < 0) throw Error(0, "", "text is not valid UTF-8 at byte " + std::to_string(start));
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    if (single_byte_) {
      auto it = reverse_.find(static_cast<char32_t>(c));
      if (it == reverse_.end()) {
        if (const char* m = deliberate_mapping(number_, static_cast<char32_t>(c))) {
          out += m;
          continue;
        }
        throw Error(0, "", "character " + hex_char(static_cast<char32_t>(c)) + " (" +
                               std::string(utf8.substr(start, i - start)) +
                               ") cannot be stored in code page " + std::to_string(number_));
      }
      out.push_back(static_cast<char>(it->second));
      continue;
    }
    const std::string_view one = utf8.substr(start, i - start);
    if (const char* m = deliberate_mapping(number_, static_cast<char32_t>(c))) {
      out += m;
      continue;
    }
    std::string bytes;
    bool exact = system_->from_utf8(one, bytes);
    // A converter may map a character to a look-alike (iconv turns "£" into
    // the fullwidth "￡" in CP932); only a character that reads back as
    // itself is stored, whichever system converted it.
    if (exact) {
      std::string back;
      try {
        decode(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), back);
      } catch (const Error&) {
        back.clear();
      }
      exact = back == one;
    }
    if (!exact)
      throw Error(0, "", "character " + hex_char(static_cast<char32_t>(c)) + " (" + std::string(one) +
                             ") cannot be stored in code page " + std::to_string(number_));
    out += bytes;
  }
  return out;
}

void append_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

void decode_utf16le(const std::uint8_t* data, std::size_t len, std::string& out) {
  if (len % 2 != 0)
    throw Error(0, "", "UCS-2 text has an odd length of " + std::to_string(len) + " bytes");
  for (std::size_t i = 0; i < len; i += 2) {
    char32_t c = static_cast<char32_t>(data[i] | (data[i + 1] << 8));
    if (c >= 0xD800 && c <= 0xDBFF && i + 3 < len) {
      char32_t lo = static_cast<char32_t>(data[i + 2] | (data[i + 3] << 8));
      if (lo >= 0xDC00 && lo <= 0xDFFF) {
        append_utf8(out, 0x10000 + ((c - 0xD800) << 10) + (lo - 0xDC00));
        i += 2;
        continue;
      }
    }
    if (c >= 0xD800 && c <= 0xDFFF)
      throw Error(0, "", "UCS-2 text holds an unpaired surrogate " + hex_char(c));
    append_utf8(out, c);
  }
}

void decode_jet4_text(const std::uint8_t* data, std::size_t len, std::string& out) {
  if (len < 2 || data[0] != 0xFF || data[1] != 0xFE) {
    decode_utf16le(data, len, out);
    return;
  }
  bool compressed = true;
  std::size_t i = 2;
  std::size_t run = i;  // start of an uncompressed run
  while (i < len) {
    if (data[i] == 0x00) {
      if (!compressed) decode_utf16le(data + run, i - run, out);
      compressed = !compressed;
      ++i;
      run = i;
      continue;
    }
    if (compressed) {
      append_utf8(out, data[i]);
      ++i;
    } else {
      if (i + 1 >= len)
        throw Error(0, "", "compressed Jet 4 text ends inside a two-byte character");
      i += 2;
    }
  }
  if (!compressed) decode_utf16le(data + run, i - run, out);
}

}  // namespace mirutone::jet
