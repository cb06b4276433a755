#include <windows.h>

#include "platform/codepage.h"
#include "platform/path.h"

namespace mirutone::platform {
namespace {

class WindowsConverter : public CodePageConverter {
 public:
  explicit WindowsConverter(UINT cp) : cp_(cp) {}

  bool to_utf8(const std::uint8_t* data, std::size_t len, std::string& out, std::size_t& bad_at,
               bool& incomplete) override {
    if (len == 0) return true;
    const char* in = reinterpret_cast<const char*>(data);
    int n = ::MultiByteToWideChar(cp_, MB_ERR_INVALID_CHARS, in, static_cast<int>(len), nullptr, 0);
    if (n <= 0) {
      locate_bad(data, len, bad_at, incomplete);
      return false;
    }
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(cp_, MB_ERR_INVALID_CHARS, in, static_cast<int>(len), wide.data(), n);
    out += narrow(wide);
    return true;
  }

  bool from_utf8(std::string_view one_char, std::string& out) override {
    std::wstring wide;
    try {
      wide = widen(one_char);
    } catch (const std::exception&) {
      return false;
    }
    char buf[16];
    BOOL used_default = FALSE;
    int n = ::WideCharToMultiByte(cp_, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), buf,
                                  sizeof buf, nullptr, &used_default);
    if (n <= 0 || used_default) return false;
    out.append(buf, static_cast<std::size_t>(n));
    return true;
  }

 private:
  // The first character that does not decode, one at a time.
  void locate_bad(const std::uint8_t* data, std::size_t len, std::size_t& bad_at, bool& incomplete) const {
    std::size_t i = 0;
    while (i < len) {
      std::size_t width = ::IsDBCSLeadByteEx(cp_, data[i]) ? 2 : 1;
      if (i + width > len) {
        bad_at = i;
        incomplete = true;
        return;
      }
      wchar_t w[2];
      if (::MultiByteToWideChar(cp_, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(data + i),
                                static_cast<int>(width), w, 2) <= 0)
        break;
      i += width;
    }
    bad_at = i < len ? i : 0;
    incomplete = false;
  }

  UINT cp_;
};

}  // namespace

std::unique_ptr<CodePageConverter> CodePageConverter::open(int codepage) {
  if (codepage <= 0 || !::IsValidCodePage(static_cast<UINT>(codepage))) return nullptr;
  return std::make_unique<WindowsConverter>(static_cast<UINT>(codepage));
}

}  // namespace mirutone::platform
