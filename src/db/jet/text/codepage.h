// Text conversion between Jet's storage forms and UTF-8.
//
// Jet 3 stores text as bytes in a Windows code page; Jet 4 stores UCS-2,
// optionally in its compressed form. Conversion is strict: bytes that are not
// valid in the code page, or characters the code page cannot represent
// exactly, end in an Error instead of a silent substitute; the only exceptions
// are the deliberate mappings below.
#pragma once

#include <array>
#include <memory>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace mirutone::platform {
class CodePageConverter;
}

namespace mirutone::jet {

// The bytes of a character that `codepage` stores by a deliberate mapping
// rather than as itself (U+00A5 YEN SIGN -> 0x5C in 932), or nullptr. Every
// converter obeys this list and stores no other character inexactly.
const char* deliberate_mapping(int codepage, char32_t c);

// Windows ANSI code page of a Jet sort order (an LCID): 0x0411 -> 932,
// 0x0404 -> 950, 0x0804 -> 936, 0x0412 -> 949, Cyrillic -> 1251, Turkish ->
// 1254, Greek -> 1253, Central European -> 1250, ...; General (0x0409) and
// anything unknown -> 1252.
int codepage_for_sort_order(int lcid);

// Length of the leading run of ASCII bytes in `text`. ASCII is the same bytes
// in UTF-8 and in every code page the engine writes, and one character a byte.
inline std::size_t ascii_prefix(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && static_cast<unsigned char>(text[i]) < 0x80) ++i;
  return i;
}
inline bool is_ascii(std::string_view text) { return ascii_prefix(text) == text.size(); }

class CodePage {
 public:
  // Throws Error when the system does not know the code page.
  explicit CodePage(int codepage);
  ~CodePage();
  CodePage(const CodePage&) = delete;
  CodePage& operator=(const CodePage&) = delete;

  int number() const { return number_; }
  bool single_byte() const { return single_byte_; }

  // Appends the UTF-8 form of `len` code-page bytes to `out`. Throws Error on
  // a byte sequence that is not valid in the code page. Single-byte code
  // pages map their unassigned bytes to U+0080..U+00FF of the same value, as
  // Windows does, so every byte string decodes.
  void decode(const std::uint8_t* data, std::size_t len, std::string& out) const;
  std::string decode(std::string_view bytes) const;

  // Code-page bytes of UTF-8 text. Throws Error naming the first character
  // (U+XXXX) the code page cannot represent, or on invalid UTF-8.
  std::string encode(std::string_view utf8) const;

 private:
  int number_;
  bool single_byte_ = false;
  std::array<std::string, 256> table_;                 // single-byte: byte -> UTF-8
  std::unordered_map<char32_t, std::uint8_t> reverse_;  // single-byte: char -> byte
  std::unique_ptr<platform::CodePageConverter> system_;
};

// Appends code point `c` as UTF-8.
void append_utf8(std::string& out, char32_t c);

// Appends UTF-8 of little-endian UCS-2/UTF-16 (surrogate pairs combined).
// Throws Error on an odd length or an unpaired surrogate.
void decode_utf16le(const std::uint8_t* data, std::size_t len, std::string& out);

// Jet 4 text: compressed when it starts with FF FE (then one byte per
// character, a 0x00 byte switching between one- and two-byte characters),
// plain UTF-16LE otherwise.
void decode_jet4_text(const std::uint8_t* data, std::size_t len, std::string& out);

}  // namespace mirutone::jet
