#include "db/jet/api/value.h"

#include <cmath>
#include <cstdio>

#include "db/jet/format/format.h"

namespace mirutone::jet {

std::string type_name(ColumnType t) {
  switch (t) {
    case ColumnType::Boolean: return "Boolean";
    case ColumnType::Byte: return "Byte";
    case ColumnType::Integer: return "Integer";
    case ColumnType::Long: return "Long";
    case ColumnType::Currency: return "Currency";
    case ColumnType::Single: return "Single";
    case ColumnType::Double: return "Double";
    case ColumnType::DateTime: return "DateTime";
    case ColumnType::Binary: return "Binary";
    case ColumnType::Text: return "Text";
    case ColumnType::OLE: return "OLE";
    case ColumnType::Memo: return "Memo";
    case ColumnType::GUID: return "GUID";
    case ColumnType::Decimal: return "Decimal";
  }
  char buf[32];
  std::snprintf(buf, sizeof buf, "Unknown(0x%02X)", static_cast<unsigned>(t));
  return buf;
}

std::string format_currency(Currency c) {
  bool neg = c.scaled < 0;
  std::uint64_t mag = neg ? 0 - static_cast<std::uint64_t>(c.scaled) : static_cast<std::uint64_t>(c.scaled);
  std::string s = (neg ? "-" : "") + std::to_string(mag / 10000);
  unsigned frac = static_cast<unsigned>(mag % 10000);
  if (frac != 0) {
    char buf[8];
    std::snprintf(buf, sizeof buf, ".%04u", frac);
    std::string f = buf;
    while (f.back() == '0') f.pop_back();
    s += f;
  }
  return s;
}

std::string format_decimal(const Decimal& d) {
  unsigned __int128 mag = (static_cast<unsigned __int128>(d.hi) << 64) | d.lo;
  char buf[48];
  char* p = buf + sizeof buf;
  do {
    *--p = static_cast<char>('0' + static_cast<int>(mag % 10));
    mag /= 10;
  } while (mag != 0);
  std::string digits(p, buf + sizeof buf);
  if (d.scale > 0) {
    if (digits.size() <= d.scale) digits.insert(0, d.scale - digits.size() + 1, '0');
    digits.insert(digits.size() - d.scale, ".");
  }
  bool zero = d.hi == 0 && d.lo == 0;
  return (d.negative && !zero ? "-" : "") + digits;
}

std::string format_guid(const Guid& g) {
  const auto& b = g.bytes;
  char buf[40];
  std::snprintf(buf, sizeof buf,
                "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", b[3],
                b[2], b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13],
                b[14], b[15]);
  return buf;
}

std::string to_hex(const Bytes& b) {
  static const char kDigits[] = "0123456789abcdef";
  std::string s;
  s.reserve(b.size() * 2);
  for (std::uint8_t x : b) {
    s.push_back(kDigits[x >> 4]);
    s.push_back(kDigits[x & 15]);
  }
  return s;
}

namespace {

// Days from 1970-01-01 to y-m-d in the proleptic Gregorian calendar.
std::int64_t days_from_civil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civil_from_days(std::int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
}

const std::int64_t kEpoch = days_from_civil(fmt::kEpochYear, fmt::kEpochMonth, fmt::kEpochDay);

}  // namespace

// The integer part counts days from 1899-12-30 (negative before it); the
// fraction is the time of day whatever the sign, so -1.25 is 1899-12-29 06:00.
CivilTime to_civil(DateTime dt) {
  CivilTime c;
  double v = dt.days;
  if (!std::isfinite(v) || std::fabs(v) > 1e8) return c;
  double whole = std::trunc(v);
  auto day = static_cast<std::int64_t>(whole);
  auto secs = static_cast<std::int64_t>(std::llround(std::fabs(v - whole) * 86400.0));
  if (secs >= 86400) {
    secs -= 86400;
    day += 1;
  }
  civil_from_days(kEpoch + day, c.year, c.month, c.day);
  c.hour = static_cast<int>(secs / 3600);
  c.minute = static_cast<int>(secs / 60 % 60);
  c.second = static_cast<int>(secs % 60);
  return c;
}

DateTime from_civil(const CivilTime& c) {
  std::int64_t day = days_from_civil(c.year, static_cast<unsigned>(c.month),
                                     static_cast<unsigned>(c.day)) - kEpoch;
  double t = (c.hour * 3600.0 + c.minute * 60.0 + c.second) / 86400.0;
  double d = static_cast<double>(day);
  return DateTime{day >= 0 ? d + t : d - t};
}

std::string format_datetime(DateTime d) {
  CivilTime c = to_civil(d);
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", c.year, c.month, c.day, c.hour,
                c.minute, c.second);
  return buf;
}

}  // namespace mirutone::jet
