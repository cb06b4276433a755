// Compares one value our Reader returned with the text another reader printed
// for the same cell, with the normalisation each type needs.
#pragma once

#include <optional>
#include <string>

#include "db/jet/api/reader.h"

namespace mirutone::oracle {

// Our value in a readable form for failure messages.
std::string describe(const jet::Value& v);

// Empty when `ours` agrees with the mdb-export text of the cell (nullopt = NULL),
// otherwise what differs. The comparison also checks that the value has the
// variant alternative the column type calls for.
std::string compare_with_mdb_export(const jet::ColumnInfo& col, const jet::Value& ours,
                                    const std::optional<std::string>& theirs);

// Currency text with up to 4 decimals ("-12.34", "14.0000") as value x 10,000;
// nullopt when it is not such a number.
std::optional<long long> parse_currency(const std::string& s);

// Decimal text with trailing fractional zeros, a bare point and "-0" removed.
std::string normalise_decimal(const std::string& s);

// GUID text reduced to its 32 hex digits in upper case.
std::string guid_digits(const std::string& s);

// Text equality, except that where `theirs` has "?" or U+FFFD, `ours` may hold a
// C1 control U+0080..U+009F. Other readers have no character for the bytes a code
// page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D in cp1252); we map them to
// those controls as Windows does.
bool same_text(const std::string& ours, const std::string& theirs);

// True when a and b agree to the precision a printer keeps for the type.
bool close_float(double a, double b);
bool close_double(double a, double b);

}  // namespace mirutone::oracle
