// A single Jet column value as read from (or written to) a file.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace mirutone::jet {

// Column type codes as stored in a table definition.
enum class ColumnType : std::uint8_t {
  Boolean = 0x01,
  Byte = 0x02,
  Integer = 0x03,
  Long = 0x04,
  Currency = 0x05,
  Single = 0x06,
  Double = 0x07,
  DateTime = 0x08,
  Binary = 0x09,
  Text = 0x0A,
  OLE = 0x0B,
  Memo = 0x0C,
  GUID = 0x0F,
  Decimal = 0x10,
};

// Jet's name for a type ("Boolean", "Long", "DateTime", ...); "Unknown(0xNN)" otherwise.
std::string type_name(ColumnType t);

// Currency: the stored integer, value x 10,000.
struct Currency {
  std::int64_t scaled = 0;
  bool operator==(const Currency&) const = default;
};

// Date/Time: days since 1899-12-30, fraction = time of day (see docs/format.md).
struct DateTime {
  double days = 0;
  bool operator==(const DateTime&) const = default;
};

// Decimal (Jet 4 NUMERIC): sign, 128-bit magnitude, scale.
struct Decimal {
  bool negative = false;
  std::uint64_t hi = 0, lo = 0;  // magnitude = hi * 2^64 + lo
  std::uint8_t scale = 0;
  bool operator==(const Decimal&) const = default;
};

struct Guid {
  std::array<std::uint8_t, 16> bytes{};  // as stored on disk
  bool operator==(const Guid&) const = default;
};

using Bytes = std::vector<std::uint8_t>;

// monostate = Null. Byte, Integer and Long all read as int32; text is UTF-8.
using Value = std::variant<std::monostate, bool, std::int32_t, Currency, float, double,
                           DateTime, std::string, Bytes, Guid, Decimal>;

inline bool is_null(const Value& v) { return std::holds_alternative<std::monostate>(v); }

// Formatting helpers shared by the command line and the tests.
std::string format_currency(Currency c);        // exact, e.g. "-12.3400" -> "-12.34"
std::string format_decimal(const Decimal& d);   // exact decimal string
std::string format_datetime(DateTime d);        // "YYYY-MM-DDTHH:MM:SS"
std::string format_guid(const Guid& g);         // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
std::string to_hex(const Bytes& b);             // lowercase hex

// Calendar conversion for Date/Time values; exact for every date Jet accepts
// (years 100..9999), including days before 1899-12-30.
struct CivilTime {
  int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;
};
CivilTime to_civil(DateTime d);
DateTime from_civil(const CivilTime& c);

}  // namespace mirutone::jet
