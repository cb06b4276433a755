// Formatting and calendar conversion of Jet values.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "db/jet/api/value.h"

namespace mirutone::jet {
namespace {

TEST(ValueFormat, TypeNames) {
  EXPECT_EQ(type_name(ColumnType::Boolean), "Boolean");
  EXPECT_EQ(type_name(ColumnType::Long), "Long");
  EXPECT_EQ(type_name(ColumnType::DateTime), "DateTime");
  EXPECT_EQ(type_name(ColumnType::Decimal), "Decimal");
  EXPECT_EQ(type_name(static_cast<ColumnType>(0x11)), "Unknown(0x11)");
}

TEST(ValueFormat, CurrencyIsExactAndDropsTrailingZeros) {
  EXPECT_EQ(format_currency({0}), "0");
  EXPECT_EQ(format_currency({15000}), "1.5");
  EXPECT_EQ(format_currency({10000}), "1");
  EXPECT_EQ(format_currency({-123400}), "-12.34");
  EXPECT_EQ(format_currency({-1}), "-0.0001");
  EXPECT_EQ(format_currency({std::numeric_limits<std::int64_t>::min()}),
            "-922337203685477.5808");
  EXPECT_EQ(format_currency({std::numeric_limits<std::int64_t>::max()}),
            "922337203685477.5807");
}

TEST(ValueFormat, DecimalPlacesTheScaleExactly) {
  EXPECT_EQ(format_decimal({false, 0, 12345, 2}), "123.45");
  EXPECT_EQ(format_decimal({true, 0, 5, 2}), "-0.05");
  EXPECT_EQ(format_decimal({false, 0, 7, 0}), "7");
  EXPECT_EQ(format_decimal({true, 0, 0, 3}), "0.000");  // no negative zero
  // 2^64 needs the high word.
  EXPECT_EQ(format_decimal({false, 1, 0, 0}), "18446744073709551616");
  // 10^28 - 1 with 10 decimals: the largest Jet decimal magnitude.
  Decimal big{false, 0x204FCE5E, 0x3E25026110000000 - 1, 10};
  EXPECT_EQ(format_decimal(big), "999999999999999999.9999999999");
}

TEST(ValueFormat, GuidUsesMixedEndianFields) {
  Guid g;
  const std::uint8_t raw[16] = {0x6A, 0x27, 0x39, 0x8E, 0xA8, 0xBC, 0xC4, 0x4A,
                                0x89, 0x1E, 0x49, 0x91, 0x1D, 0x84, 0x38, 0xDD};
  std::copy(raw, raw + 16, g.bytes.begin());
  EXPECT_EQ(format_guid(g), "{8E39276A-BCA8-4AC4-891E-49911D8438DD}");
  EXPECT_EQ(to_hex(Bytes{0x00, 0xAB, 0x7F}), "00ab7f");
  EXPECT_EQ(to_hex(Bytes{}), "");
}

TEST(DateTimeConversion, KnownValues) {
  EXPECT_EQ(format_datetime({0.0}), "1899-12-30T00:00:00");
  EXPECT_EQ(format_datetime({1.0}), "1899-12-31T00:00:00");
  EXPECT_EQ(format_datetime({36526.5}), "2000-01-01T12:00:00");
  // Before the epoch the fraction is still a positive time of day.
  EXPECT_EQ(format_datetime({-1.25}), "1899-12-29T06:00:00");
  EXPECT_EQ(format_datetime({-0.5}), "1899-12-30T12:00:00");
  // The raw values of j4_mdbtestdata_dates.mdb.
  EXPECT_EQ(format_datetime({2958101.0}), "9999-01-01T00:00:00");
  EXPECT_EQ(format_datetime({-728.0}), "1898-01-01T00:00:00");
  EXPECT_EQ(format_datetime({-363.0}), "1899-01-01T00:00:00");
  EXPECT_EQ(format_datetime({2.0}), "1900-01-01T00:00:00");
  EXPECT_EQ(format_datetime({-463126.0}), "0632-01-01T00:00:00");
  EXPECT_EQ(format_datetime({-462395.0}), "0634-01-01T00:00:00");
  // Jet's range: 100-01-01 .. 9999-12-31 23:59:59.
  EXPECT_EQ(format_datetime({-657434.0}), "0100-01-01T00:00:00");
  EXPECT_EQ(format_datetime({2958465.0 + 86399.0 / 86400.0}), "9999-12-31T23:59:59");
  // 1900 is not a leap year (unlike in spreadsheet serial dates).
  EXPECT_EQ(format_datetime({61.0}), "1900-03-01T00:00:00");
}

TEST(DateTimeConversion, RoundsToTheSecondAndCarriesIntoTheNextDay) {
  EXPECT_EQ(format_datetime({1.0 + 0.4999 / 86400.0}), "1899-12-31T00:00:00");
  EXPECT_EQ(format_datetime({1.0 + 59.6 / 86400.0}), "1899-12-31T00:01:00");
  EXPECT_EQ(format_datetime({1.99999999}), "1900-01-01T00:00:00");
  // Day -1 at almost midnight rounds to the start of day 0.
  EXPECT_EQ(format_datetime({-1.99999999}), "1899-12-30T00:00:00");
}

TEST(DateTimeConversion, FromCivilEncodesTimeBeforeTheEpochAsSubtraction) {
  EXPECT_DOUBLE_EQ(from_civil({1899, 12, 29, 6, 0, 0}).days, -1.25);
  EXPECT_DOUBLE_EQ(from_civil({2000, 1, 1, 12, 0, 0}).days, 36526.5);
  EXPECT_DOUBLE_EQ(from_civil({9999, 1, 1, 0, 0, 0}).days, 2958101.0);
  EXPECT_DOUBLE_EQ(from_civil({632, 1, 1, 0, 0, 0}).days, -463126.0);
}

TEST(DateTimeConversion, RoundTripsEveryCenturyOfJetsRange) {
  // Walk day by day in coarse steps across years 100..9999, with times.
  for (int day = -657434; day <= 2958465; day += 997) {
    for (int secs : {0, 1, 43200, 86399}) {
      double frac = secs / 86400.0;
      DateTime d{day >= 0 ? day + frac : day - frac};
      CivilTime c = to_civil(d);
      ASSERT_GE(c.year, 100);
      ASSERT_LE(c.year, 9999);
      ASSERT_EQ(c.hour * 3600 + c.minute * 60 + c.second, secs) << day;
      DateTime back = from_civil(c);
      ASSERT_DOUBLE_EQ(back.days, d.days) << "day " << day << " secs " << secs;
    }
  }
}

TEST(DateTimeConversion, NonFiniteValuesDoNotCrash) {
  CivilTime c = to_civil({std::numeric_limits<double>::quiet_NaN()});
  EXPECT_EQ(c.year, 1899);
  c = to_civil({std::numeric_limits<double>::infinity()});
  EXPECT_EQ(c.year, 1899);
}

}  // namespace
}  // namespace mirutone::jet
