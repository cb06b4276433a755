// How a value becomes the value of a field it is assigned to: the conversions
// Jet makes on assignment, with VB's text forms in a Japanese locale.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "db/jet/api/value.h"

namespace mirutone::db {

// Converts `v` to what a field of type `type` stores. Null stays Null (a
// Boolean field, which holds no Null, stores it as False). Throws db::Error
// 3421 when the value cannot be converted and 3349 when it does not fit.
// Text length and zero-length checks belong to the caller, which knows the field.
jet::Value convert_for_field(const jet::Value& v, jet::ColumnType type);

// The text VB's conversion to String gives in a Japanese locale:
// 3 -> "3", 0.5 -> "0.5", 100000 -> "100000", 1E+15 -> "1E+15",
// True -> "True", a date -> "yyyy/mm/dd" with " H:mm:ss" only when it has a time.
std::string vb_text(const jet::Value& v);

// Reads text as a number: optional blanks, sign, digits (thousands separators
// allowed in the integer part), decimal point and exponent. nullopt otherwise;
// the empty string never reads as a number.
std::optional<double> parse_number(std::string_view text);

// True when the value is a number, or text that reads as one (Null never does).
std::optional<double> as_number(const jet::Value& v);

// Banker's rounding to an integer, as VB's CInt/CLng and Jet's conversions do.
double round_half_even(double x);

}  // namespace mirutone::db
