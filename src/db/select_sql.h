// The SQL that opens recordsets: a bare table name, or
// SELECT * FROM table [ORDER BY field [ASC|DESC], ...] [;]
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace mirutone::db {

struct OrderItem {
  std::string field;
  bool descending = false;
  bool operator==(const OrderItem&) const = default;
};

struct SelectStatement {
  std::string table;
  std::vector<OrderItem> order_by;
};

// Throws db::Error 3075 (syntax error) naming the text when it is outside the form above.
SelectStatement parse_select(std::string_view sql);

// Jet's name matching: ASCII letters without regard to case (full-width ones too),
// everything else exactly.
bool names_match(std::string_view a, std::string_view b);

// The form of a name under which matching names are equal (for lookups).
std::string fold_name(std::string_view name);

}  // namespace mirutone::db
