// The system's converter between a Windows code page and UTF-8: iconv on
// POSIX, MultiByteToWideChar/WideCharToMultiByte on Windows. It only converts
// exactly or says it cannot; which characters are deliberately mapped and
// how failures are reported is decided by its one user, jet::CodePage.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace mirutone::platform {

class CodePageConverter {
 public:
  // Nothing when the system does not know the code page.
  static std::unique_ptr<CodePageConverter> open(int codepage);
  virtual ~CodePageConverter() = default;

  // Appends the UTF-8 form of `len` code-page bytes to `out`. On a byte
  // sequence that is not valid in the code page returns false, with `bad_at`
  // the offset of the first such byte and `incomplete` set when the text ends
  // inside a character; `out` is then as it was.
  virtual bool to_utf8(const std::uint8_t* data, std::size_t len, std::string& out, std::size_t& bad_at,
                       bool& incomplete) = 0;
  // Appends the code-page bytes of one character, given as its UTF-8 bytes.
  // False when the code page has no exact form for it: never a best-fit
  // look-alike, never the default character.
  virtual bool from_utf8(std::string_view one_char, std::string& out) = 0;
};

}  // namespace mirutone::platform
