#include "db/locale_string.h"

#include <cctype>
#include <cstdlib>
#include <string>

#include "db/errors.h"
#include "db/jet/api/codepage.h"

namespace mirutone::db {
namespace {

std::string upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// A number in decimal or with a 0x prefix; -1 when the text is not one.
long read_number(std::string_view s) {
  std::string t(s);
  if (t.empty()) return -1;
  char* end = nullptr;
  long v = std::strtol(t.c_str(), &end, 0);
  if (end == t.c_str() || *end != '\0' || v < 0 || v > 0xFFFF) return -1;
  return v;
}

}  // namespace

jet::Locale parse_locale_string(std::string_view connect) {
  auto bad = [&](const std::string& why) -> Error {
    return Error(jet_errors::kInvalidArgument, "Invalid locale string \"" + std::string(connect) + "\": " + why);
  };
  long langid = -1, codepage = -1;
  size_t pos = 0;
  while (pos <= connect.size()) {
    size_t semi = connect.find(';', pos);
    if (semi == std::string_view::npos) semi = connect.size();
    std::string_view part = connect.substr(pos, semi - pos);
    pos = semi + 1;
    if (part.empty()) continue;
    size_t eq = part.find('=');
    if (eq == std::string_view::npos) throw bad("'" + std::string(part) + "' has no '='");
    std::string key = upper(part.substr(0, eq));
    long v = read_number(part.substr(eq + 1));
    if (v < 0) throw bad("'" + std::string(part) + "' does not give a number");
    if (key == "LANGID") {
      langid = v;
    } else if (key == "CP") {
      codepage = v;
    } else if (key != "COUNTRY") {
      throw bad("unknown part '" + std::string(part) + "'");
    }
  }
  jet::Locale locale = jet::Locale::general();
  if (langid >= 0) locale.sort_order = static_cast<std::uint16_t>(langid);
  locale.codepage = static_cast<std::uint16_t>(codepage >= 0 ? codepage : jet::codepage_for_sort_order(locale.sort_order));
  return locale;
}

}  // namespace mirutone::db
