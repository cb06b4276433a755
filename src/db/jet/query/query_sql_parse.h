// The one parser of the SQL that queries here are written in. It checks the
// syntax and keeps every fragment (column, condition, sort key) exactly as it
// was written, which is how Jet stores them in MSysQueries, together with an
// expression tree of each fragment for the layer that runs queries.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "db/jet/query/query_format.h"

namespace mirutone::jet {

// A node of an expression. Parentheses leave no node of their own.
struct SqlExpr {
  enum class Kind {
    name,      // column, parameter or form reference; `parts` holds its pieces
    number,    // `text`: the digits as written
    text,      // `text`: the string without its quotes, doubled quotes undone
    date,      // `text`: what stands between the # signs
    star,      // the * of T.* or Count(*)
    unary,     // `op`: "NOT", "-" or "+"; one argument
    binary,    // `op`: upper case ("AND", "OR", "=", "<>", "+", "&", "MOD", ...); two arguments
    between,   // arguments: value, low, high
    in_list,   // arguments: value, then the list
    is_null,   // one argument
    like,      // arguments: value, pattern
    call,      // `op`: the function name as written; the arguments
    subquery,  // a SELECT inside an expression, kept only as text
  };
  Kind kind = Kind::name;
  std::string op;
  std::string text;
  std::vector<std::string> parts;  // name: T.col gives {T, col}; Forms!F!c gives {Forms, F, c}
  bool bang = false;               // name: the pieces are joined by '!' (a form reference)
  bool negated = false;            // NOT BETWEEN, NOT IN, NOT LIKE, IS NOT NULL
  std::vector<SqlExpr> args;
  std::size_t begin = 0, end = 0;  // byte offsets of the node in the SQL text
};

struct ParsedParameter {
  std::string name;  // without enclosing brackets
  std::int16_t type_code = 0;
  std::string type_word;  // the data type as written
};

struct ParsedTable {
  std::string name;                  // without brackets
  std::optional<std::string> alias;  // without brackets
  // What join conditions and columns call it by.
  const std::string& key() const { return alias ? *alias : name; }
};

struct ParsedColumn {
  std::string expression;            // as written
  std::optional<std::string> alias;  // without brackets
  SqlExpr expr;
};

// One comparison of an ON clause; a compound ON (a AND b) gives several.
struct ParsedJoin {
  std::int16_t kind = kJoinInner;
  std::string left;   // table key on the left side of the JOIN
  std::string right;  // table key on the right side
  std::string condition;
  SqlExpr expr;  // of `condition`
};

struct ParsedOrder {
  std::string expression;
  bool descending = false;
  SqlExpr expr;
};

struct ParsedSelect {
  std::vector<ParsedParameter> parameters;
  std::int16_t options = 0;          // kSelect* bits
  std::optional<std::string> top;    // the n of TOP n
  std::vector<ParsedColumn> columns; // without a bare '*' (that is kSelectStar)
  std::vector<ParsedTable> tables;   // in the order they appear
  std::vector<ParsedJoin> joins;     // innermost join first
  std::optional<std::string> where;
  std::optional<SqlExpr> where_expr;
  std::vector<std::string> group_by;
  std::optional<std::string> having;
  std::vector<ParsedOrder> order_by;
};

// Parses one SELECT statement with an optional PARAMETERS clause before it.
// Throws Error naming `query_name` and the offending token when the text is
// not such a statement (a syntax error), or kErrNotSupported naming the
// construct for statements Access writes that are not parsed into pieces here
// (UNION, TRANSFORM, action queries, a sub-query in FROM).
ParsedSelect parse_select_query(const std::string& query_name, const std::string& sql);

}  // namespace mirutone::jet
