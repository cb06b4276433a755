// The SQL of stored queries that can be run here:
//
//   [PARAMETERS name type [, name type ...];]
//   SELECT item [, item ...] FROM table [INNER JOIN table ON a = b ...]
//   [WHERE a op b [AND a op b ...]] [ORDER BY column [ASC|DESC], ...] [;]
//
// item: *, table.*, [table.]field [AS alias]; an operand is a column, a
// parameter, a number or a 'quoted' text; op is one of = <> < > <= >=.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace mirutone::db {

struct QueryOperand {
  enum class Kind { Name, Number, Text } kind = Kind::Name;
  std::string qualifier;  // table of a qualified name, else empty
  std::string text;       // the name, the number's digits or the text
};

struct QueryComparison {
  QueryOperand left;
  std::string op;  // "=", "<>", "<", ">", "<=", ">="
  QueryOperand right;
};

struct QuerySelectItem {
  std::string table;  // empty: unqualified
  std::string field;  // "*" for all fields
  std::string alias;
};

struct QueryJoin {
  std::string table;
  std::vector<QueryComparison> on;  // ANDed
};

struct QueryOrderTerm {
  QueryOperand column;
  bool descending = false;
};

struct QueryParameter {
  std::string name;
  std::string type;  // as written, upper case: SHORT, LONG, TEXT, ...
};

struct ParsedQuery {
  std::vector<QueryParameter> parameters;
  std::vector<QuerySelectItem> select;
  std::string from;
  std::vector<QueryJoin> joins;
  std::vector<QueryComparison> where;  // ANDed
  std::vector<QueryOrderTerm> order_by;
};

// Error 3075 naming the text and the place when it is outside the form above.
ParsedQuery parse_stored_query(std::string_view sql);

}  // namespace mirutone::db
