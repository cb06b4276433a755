#include <iconv.h>

#include <cerrno>

#include "platform/codepage.h"

namespace mirutone::platform {
namespace {

const iconv_t kNoIconv = reinterpret_cast<iconv_t>(-1);

// iconv's name for a Windows code page: 932 is Windows-31J ("CP932"), 936 "GBK".
std::string charset(int codepage) {
  switch (codepage) {
    case 936: return "GBK";
    default: return "CP" + std::to_string(codepage);
  }
}

class IconvConverter : public CodePageConverter {
 public:
  IconvConverter(iconv_t to, iconv_t from) : to_utf8_(to), from_utf8_(from) {}
  ~IconvConverter() override {
    iconv_close(to_utf8_);
    iconv_close(from_utf8_);
  }

  bool to_utf8(const std::uint8_t* data, std::size_t len, std::string& out, std::size_t& bad_at,
               bool& incomplete) override {
    iconv(to_utf8_, nullptr, nullptr, nullptr, nullptr);
    char* ip = const_cast<char*>(reinterpret_cast<const char*>(data));
    std::size_t il = len;
    std::size_t base = out.size();
    out.resize(base + il * 3 + 8);
    char* op = out.data() + base;
    std::size_t ol = out.size() - base;
    if (iconv(to_utf8_, &ip, &il, &op, &ol) == static_cast<std::size_t>(-1)) {
      incomplete = errno == EINVAL;
      bad_at = len - il;
      out.resize(base);
      return false;
    }
    out.resize(static_cast<std::size_t>(op - out.data()));
    return true;
  }

  bool from_utf8(std::string_view one_char, std::string& out) override {
    iconv(from_utf8_, nullptr, nullptr, nullptr, nullptr);
    char* ip = const_cast<char*>(one_char.data());
    std::size_t il = one_char.size();
    char buf[16];
    char* op = buf;
    std::size_t ol = sizeof buf;
    if (iconv(from_utf8_, &ip, &il, &op, &ol) == static_cast<std::size_t>(-1) || il != 0) return false;
    out.append(buf, op);
    return true;
  }

 private:
  iconv_t to_utf8_, from_utf8_;
};

}  // namespace

std::unique_ptr<CodePageConverter> CodePageConverter::open(int codepage) {
  std::string cs = charset(codepage);
  iconv_t to = iconv_open("UTF-8", cs.c_str());
  if (to == kNoIconv) return nullptr;
  iconv_t from = iconv_open(cs.c_str(), "UTF-8");
  if (from == kNoIconv) {
    iconv_close(to);
    return nullptr;
  }
  return std::make_unique<IconvConverter>(to, from);
}

}  // namespace mirutone::platform
