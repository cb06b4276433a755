#include "db/value_conversion.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <type_traits>

#include "db/errors.h"

namespace mirutone::db {
namespace {

using jet::ColumnType;
using jet::Value;

[[noreturn]] void conversion_error(const Value& v, ColumnType type) {
  throw Error(jet_errors::kTypeConversion,
              "Data type conversion error: " + vb_text(v) + " cannot become " + jet::type_name(type));
}

[[noreturn]] void overflow_error(const Value& v, ColumnType type) {
  throw Error(jet_errors::kNumericOverflow,
              "Numeric field overflow: " + vb_text(v) + " does not fit " + jet::type_name(type));
}

std::string trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return std::string(s.substr(b, e - b));
}

bool iequals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

// Digits of |x| to `sig` significant places, in VB's layout: fixed notation for
// exponents from -5 (exclusive) up to `sig` (exclusive), "1E+15" style outside.
std::string vb_number(double x, int sig) {
  if (x == 0) return "0";
  if (std::isnan(x)) return "NaN";
  if (std::isinf(x)) return x < 0 ? "-Infinity" : "Infinity";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*e", sig - 1, x);
  // buf: [-]d.ddddde[+-]XX
  std::string s(buf);
  size_t epos = s.find('e');
  int exp = std::atoi(s.c_str() + epos + 1);
  bool neg = s[0] == '-';
  std::string digits;
  for (size_t i = neg ? 1 : 0; i < epos; ++i)
    if (s[i] != '.') digits.push_back(s[i]);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  std::string out = neg ? "-" : "";
  if (exp <= -5 || exp >= sig) {
    out += digits[0];
    if (digits.size() > 1) {
      out += '.';
      out += digits.substr(1);
    }
    char e[16];
    std::snprintf(e, sizeof e, "E%c%02d", exp < 0 ? '-' : '+', std::abs(exp));
    out += e;
    return out;
  }
  if (exp < 0) {
    out += "0.";
    out += std::string(static_cast<size_t>(-exp - 1), '0');
    out += digits;
    return out;
  }
  // exp >= 0: integer part has exp + 1 digits
  size_t int_len = static_cast<size_t>(exp) + 1;
  if (digits.size() <= int_len) {
    out += digits;
    out += std::string(int_len - digits.size(), '0');
  } else {
    out += digits.substr(0, int_len);
    out += '.';
    out += digits.substr(int_len);
  }
  return out;
}

std::string currency_text(jet::Currency c) {
  // Exact: integer part, then up to four decimals without trailing zeros.
  bool neg = c.scaled < 0;
  unsigned long long mag = neg ? 0ULL - static_cast<unsigned long long>(c.scaled)
                               : static_cast<unsigned long long>(c.scaled);
  std::string out = neg ? "-" : "";
  out += std::to_string(mag / 10000);
  unsigned frac = static_cast<unsigned>(mag % 10000);
  if (frac) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04u", frac);
    std::string f(buf);
    while (!f.empty() && f.back() == '0') f.pop_back();
    out += '.';
    out += f;
  }
  return out;
}

std::string date_text(jet::DateTime d) {
  jet::CivilTime c = jet::to_civil(d);
  bool has_date = !(c.year == 1899 && c.month == 12 && c.day == 30);
  bool has_time = c.hour || c.minute || c.second;
  char buf[64];
  std::string out;
  if (has_date) {
    std::snprintf(buf, sizeof buf, "%04d/%02d/%02d", c.year, c.month, c.day);
    out = buf;
  }
  if (has_time || !has_date) {
    std::snprintf(buf, sizeof buf, "%d:%02d:%02d", c.hour, c.minute, c.second);
    if (!out.empty()) out += ' ';
    out += buf;
  }
  return out;
}

// "yyyy/mm/dd", "yyyy-mm-dd", either with " H:mm[:ss]", or a time alone.
std::optional<jet::DateTime> parse_date(std::string_view text) {
  std::string s = trim(text);
  jet::CivilTime c;
  int consumed = 0;
  int y, mo, d, h = 0, mi = 0, se = 0;
  char sep1, sep2;
  if (std::sscanf(s.c_str(), "%d%c%d%c%d%n", &y, &sep1, &mo, &sep2, &d, &consumed) == 5 &&
      sep1 == sep2 && (sep1 == '/' || sep1 == '-')) {
    if (y < 100 || y > 9999 || mo < 1 || mo > 12 || d < 1 || d > 31) return std::nullopt;
    c.year = y;
    c.month = mo;
    c.day = d;
    std::string rest = trim(std::string_view(s).substr(static_cast<size_t>(consumed)));
    if (!rest.empty()) {
      int n = 0;
      if (std::sscanf(rest.c_str(), "%d:%d%n", &h, &mi, &n) < 2) return std::nullopt;
      if (rest[static_cast<size_t>(n)] == ':') {
        int n2 = 0;
        if (std::sscanf(rest.c_str() + n, ":%d%n", &se, &n2) < 1) return std::nullopt;
        n += n2;
      }
      if (static_cast<size_t>(n) != rest.size()) return std::nullopt;
    }
  } else {
    int n = 0;
    if (std::sscanf(s.c_str(), "%d:%d%n", &h, &mi, &n) < 2) return std::nullopt;
    if (static_cast<size_t>(n) < s.size() && s[static_cast<size_t>(n)] == ':') {
      int n2 = 0;
      if (std::sscanf(s.c_str() + n, ":%d%n", &se, &n2) < 1) return std::nullopt;
      n += n2;
    }
    if (static_cast<size_t>(n) != s.size()) return std::nullopt;
  }
  if (h < 0 || h > 23 || mi < 0 || mi > 59 || se < 0 || se > 59) return std::nullopt;
  c.hour = h;
  c.minute = mi;
  c.second = se;
  // Reject dates such as 2023/02/30 that do not round-trip.
  jet::DateTime dt = jet::from_civil(c);
  jet::CivilTime back = jet::to_civil(dt);
  if (back.year != c.year || back.month != c.month || back.day != c.day) return std::nullopt;
  return dt;
}

double numeric_value(const Value& v, ColumnType target) {
  if (auto n = as_number(v)) return *n;
  if (auto* b = std::get_if<bool>(&v)) return *b ? -1.0 : 0.0;
  if (auto* d = std::get_if<jet::DateTime>(&v)) return d->days;
  conversion_error(v, target);
}

Value to_integral(const Value& v, ColumnType type, double lo, double hi) {
  double x = round_half_even(numeric_value(v, type));
  if (!(x >= lo && x <= hi)) overflow_error(v, type);
  return Value(static_cast<std::int32_t>(x));
}

}  // namespace

double round_half_even(double x) {
  double r = std::nearbyint(x);  // default rounding mode: to nearest, ties to even
  return r;
}

std::optional<double> parse_number(std::string_view text) {
  std::string s = trim(text);
  if (s.empty()) return std::nullopt;
  std::string clean;
  size_t i = 0;
  if (s[i] == '+' || s[i] == '-') clean.push_back(s[i++]);
  size_t int_digits = 0;
  bool last_comma = false;
  while (i < s.size() && (std::isdigit(static_cast<unsigned char>(s[i])) || s[i] == ',')) {
    if (s[i] == ',') {
      if (int_digits == 0 || last_comma) return std::nullopt;
      last_comma = true;
    } else {
      clean.push_back(s[i]);
      ++int_digits;
      last_comma = false;
    }
    ++i;
  }
  if (last_comma) return std::nullopt;
  size_t frac_digits = 0;
  if (i < s.size() && s[i] == '.') {
    clean.push_back('.');
    ++i;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
      clean.push_back(s[i++]);
      ++frac_digits;
    }
  }
  if (int_digits + frac_digits == 0) return std::nullopt;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    clean.push_back('e');
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) clean.push_back(s[i++]);
    size_t exp_digits = 0;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
      clean.push_back(s[i++]);
      ++exp_digits;
    }
    if (exp_digits == 0) return std::nullopt;
  }
  if (i != s.size()) return std::nullopt;
  double d = std::strtod(clean.c_str(), nullptr);
  if (!std::isfinite(d)) return std::nullopt;
  return d;
}

std::optional<double> as_number(const Value& v) {
  return std::visit(
      [](const auto& x) -> std::optional<double> {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, std::int32_t> || std::is_same_v<T, float> ||
                      std::is_same_v<T, double>) {
          return static_cast<double>(x);
        } else if constexpr (std::is_same_v<T, jet::Currency>) {
          return static_cast<double>(x.scaled) / 10000.0;
        } else if constexpr (std::is_same_v<T, std::string>) {
          return parse_number(x);
        } else if constexpr (std::is_same_v<T, jet::Decimal>) {
          return std::strtod(jet::format_decimal(x).c_str(), nullptr);
        } else {
          return std::nullopt;
        }
      },
      v);
}

std::string vb_text(const Value& v) {
  return std::visit(
      [](const auto& x) -> std::string {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          return "Null";
        } else if constexpr (std::is_same_v<T, bool>) {
          return x ? "True" : "False";
        } else if constexpr (std::is_same_v<T, std::int32_t>) {
          return std::to_string(x);
        } else if constexpr (std::is_same_v<T, jet::Currency>) {
          return currency_text(x);
        } else if constexpr (std::is_same_v<T, float>) {
          return vb_number(static_cast<double>(x), 7);
        } else if constexpr (std::is_same_v<T, double>) {
          return vb_number(x, 15);
        } else if constexpr (std::is_same_v<T, jet::DateTime>) {
          return date_text(x);
        } else if constexpr (std::is_same_v<T, std::string>) {
          return x;
        } else if constexpr (std::is_same_v<T, jet::Bytes>) {
          return "0x" + jet::to_hex(x);
        } else if constexpr (std::is_same_v<T, jet::Guid>) {
          return jet::format_guid(x);
        } else {
          return jet::format_decimal(x);
        }
      },
      v);
}

Value convert_for_field(const Value& v, ColumnType type) {
  if (jet::is_null(v)) {
    return type == ColumnType::Boolean ? Value(false) : Value();
  }
  switch (type) {
    case ColumnType::Boolean: {
      if (auto* b = std::get_if<bool>(&v)) return *b;
      if (auto* s = std::get_if<std::string>(&v)) {
        std::string t = trim(*s);
        if (iequals(t, "True")) return true;
        if (iequals(t, "False")) return false;
      }
      return numeric_value(v, type) != 0.0;
    }
    case ColumnType::Byte:
      return to_integral(v, type, 0, 255);
    case ColumnType::Integer:
      return to_integral(v, type, -32768, 32767);
    case ColumnType::Long:
      return to_integral(v, type, -2147483648.0, 2147483647.0);
    case ColumnType::Single: {
      double x = numeric_value(v, type);
      if (std::fabs(x) > std::numeric_limits<float>::max()) overflow_error(v, type);
      return static_cast<float>(x);
    }
    case ColumnType::Double:
      return numeric_value(v, type);
    case ColumnType::Currency: {
      if (auto* c = std::get_if<jet::Currency>(&v)) return *c;
      double x = round_half_even(numeric_value(v, type) * 10000.0);
      if (!(std::fabs(x) < 9.2233720368547758e18)) overflow_error(v, type);
      return jet::Currency{static_cast<std::int64_t>(x)};
    }
    case ColumnType::DateTime: {
      if (auto* d = std::get_if<jet::DateTime>(&v)) return *d;
      if (auto* s = std::get_if<std::string>(&v)) {
        if (auto d = parse_date(*s)) return *d;
        if (auto n = parse_number(*s)) return jet::DateTime{*n};
        conversion_error(v, type);
      }
      double x = numeric_value(v, type);
      // Jet's dates run from year 100 to 9999.
      if (x < -657434.0 || x >= 2958466.0) overflow_error(v, type);
      return jet::DateTime{x};
    }
    case ColumnType::Text:
    case ColumnType::Memo:
      if (std::holds_alternative<jet::Bytes>(v)) conversion_error(v, type);
      return vb_text(v);
    case ColumnType::OLE:
    case ColumnType::Binary:
      if (auto* b = std::get_if<jet::Bytes>(&v)) return *b;
      if (auto* s = std::get_if<std::string>(&v)) return jet::Bytes(s->begin(), s->end());
      conversion_error(v, type);
    case ColumnType::GUID:
      if (std::holds_alternative<jet::Guid>(v)) return v;
      conversion_error(v, type);
    case ColumnType::Decimal:
      if (std::holds_alternative<jet::Decimal>(v)) return v;
      conversion_error(v, type);
  }
  conversion_error(v, type);
}

}  // namespace mirutone::db
