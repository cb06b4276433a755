#include "db/value_conversion.h"

#include <gtest/gtest.h>

#include <functional>

#include "db/errors.h"

namespace mirutone::db {
namespace {

using jet::ColumnType;
using jet::Value;

int code_of(const std::function<void()>& f) {
  try {
    f();
  } catch (const jet::Error& e) {
    return e.jet_code();
  }
  return 0;
}

TEST(VbText, NumbersTakeVbsShortestForm) {
  EXPECT_EQ(vb_text(Value(3.0)), "3");
  EXPECT_EQ(vb_text(Value(0.5)), "0.5");
  EXPECT_EQ(vb_text(Value(100000.0)), "100000");
  EXPECT_EQ(vb_text(Value(-2.25)), "-2.25");
  EXPECT_EQ(vb_text(Value(0.1 + 0.2)), "0.3");  // 15 significant digits
  EXPECT_EQ(vb_text(Value(123456789012345.0)), "123456789012345");
  EXPECT_EQ(vb_text(Value(1e15)), "1E+15");
  EXPECT_EQ(vb_text(Value(1.5e20)), "1.5E+20");
  EXPECT_EQ(vb_text(Value(0.0001)), "0.0001");
  EXPECT_EQ(vb_text(Value(0.00001)), "1E-05");
  EXPECT_EQ(vb_text(Value(std::int32_t{-42})), "-42");
  EXPECT_EQ(vb_text(Value(1.1f)), "1.1");  // a Single shows its own 7 digits
  EXPECT_EQ(vb_text(Value(jet::Currency{15000})), "1.5");
  EXPECT_EQ(vb_text(Value(jet::Currency{-10001})), "-1.0001");
  EXPECT_EQ(vb_text(Value(true)), "True");
  EXPECT_EQ(vb_text(Value(false)), "False");
}

TEST(VbText, DatesUseTheJapaneseShortForm) {
  EXPECT_EQ(vb_text(Value(jet::DateTime{36526.0})), "2000/01/01");
  EXPECT_EQ(vb_text(Value(jet::DateTime{36526.5})), "2000/01/01 12:00:00");
  EXPECT_EQ(vb_text(Value(jet::DateTime{0.25})), "6:00:00");  // a time alone
  EXPECT_EQ(vb_text(Value(jet::DateTime{2958101.0})), "9999/01/01");
}

TEST(ConvertForField, NumbersRoundToEvenIntoIntegers) {
  EXPECT_EQ(convert_for_field(Value(2.5), ColumnType::Long), Value(std::int32_t{2}));
  EXPECT_EQ(convert_for_field(Value(3.5), ColumnType::Long), Value(std::int32_t{4}));
  EXPECT_EQ(convert_for_field(Value(-2.5), ColumnType::Integer), Value(std::int32_t{-2}));
  EXPECT_EQ(convert_for_field(Value(4.4), ColumnType::Integer), Value(std::int32_t{4}));
  EXPECT_EQ(convert_for_field(Value(std::string(" 12 ")), ColumnType::Long), Value(std::int32_t{12}));
  EXPECT_EQ(convert_for_field(Value(std::string("1,234")), ColumnType::Long), Value(std::int32_t{1234}));
  EXPECT_EQ(convert_for_field(Value(true), ColumnType::Integer), Value(std::int32_t{-1}));
}

TEST(ConvertForField, OutOfRangeIsOverflowAndNonsenseIsConversionError) {
  EXPECT_EQ(code_of([] { convert_for_field(Value(32767.5), ColumnType::Integer); }), 3349);
  EXPECT_EQ(code_of([] { convert_for_field(Value(-32768.0), ColumnType::Integer); }), 0);
  EXPECT_EQ(code_of([] { convert_for_field(Value(2147483648.0), ColumnType::Long); }), 3349);
  EXPECT_EQ(code_of([] { convert_for_field(Value(std::int32_t{256}), ColumnType::Byte); }), 3349);
  EXPECT_EQ(code_of([] { convert_for_field(Value(std::string("abc")), ColumnType::Double); }), 3421);
  EXPECT_EQ(code_of([] { convert_for_field(Value(std::string("")), ColumnType::Long); }), 3421);
  EXPECT_EQ(code_of([] { convert_for_field(Value(jet::Bytes{1, 2}), ColumnType::Text); }), 3421);
}

TEST(ConvertForField, BooleansFromNumbersAndWords) {
  EXPECT_EQ(convert_for_field(Value(std::int32_t{0}), ColumnType::Boolean), Value(false));
  EXPECT_EQ(convert_for_field(Value(std::int32_t{2}), ColumnType::Boolean), Value(true));
  EXPECT_EQ(convert_for_field(Value(-0.5), ColumnType::Boolean), Value(true));
  EXPECT_EQ(convert_for_field(Value(std::string("true")), ColumnType::Boolean), Value(true));
  EXPECT_EQ(convert_for_field(Value(std::string("False")), ColumnType::Boolean), Value(false));
  EXPECT_EQ(convert_for_field(Value(std::string("0")), ColumnType::Boolean), Value(false));
  EXPECT_EQ(code_of([] { convert_for_field(Value(std::string("yes please")), ColumnType::Boolean); }), 3421);
  // A Yes/No field holds no Null: Jet stores No.
  EXPECT_EQ(convert_for_field(Value(), ColumnType::Boolean), Value(false));
  EXPECT_EQ(convert_for_field(Value(), ColumnType::Long), Value());
}

TEST(ConvertForField, TextAndDates) {
  EXPECT_EQ(convert_for_field(Value(0.5), ColumnType::Text), Value(std::string("0.5")));
  EXPECT_EQ(convert_for_field(Value(std::int32_t{7}), ColumnType::Text), Value(std::string("7")));
  auto d = convert_for_field(Value(std::string("2024/02/29 13:05")), ColumnType::DateTime);
  EXPECT_EQ(vb_text(d), "2024/02/29 13:05:00");
  EXPECT_EQ(code_of([] { convert_for_field(Value(std::string("2023/02/29")), ColumnType::DateTime); }), 3421);
  EXPECT_EQ(convert_for_field(Value(std::int32_t{1}), ColumnType::DateTime), Value(jet::DateTime{1.0}));
}

TEST(ParseNumber, AcceptsPlainDecimalFormsOnly) {
  EXPECT_EQ(parse_number("12"), 12.0);
  EXPECT_EQ(parse_number("-1.5e3"), -1500.0);
  EXPECT_EQ(parse_number(".5"), 0.5);
  EXPECT_EQ(parse_number("5."), 5.0);
  EXPECT_EQ(parse_number("  +7  "), 7.0);
  EXPECT_FALSE(parse_number(""));
  EXPECT_FALSE(parse_number("   "));
  EXPECT_FALSE(parse_number("."));
  EXPECT_FALSE(parse_number("1e"));
  EXPECT_FALSE(parse_number("12abc"));
  EXPECT_FALSE(parse_number(",12"));
  EXPECT_FALSE(parse_number("1,,2"));
  EXPECT_FALSE(parse_number("--1"));
  EXPECT_FALSE(as_number(Value()));
  EXPECT_EQ(as_number(Value(std::string("4.4"))), 4.4);
}

}  // namespace
}  // namespace mirutone::db
