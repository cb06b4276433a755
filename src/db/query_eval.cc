#include "db/query_eval.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <unordered_map>

#include "db/dao_constants.h"
#include "db/errors.h"
#include "db/jet/api/names.h"
#include "db/jet/api/sort_keys.h"
#include "db/row_order.h"
#include "db/value_conversion.h"

namespace mirutone::db {
namespace {

using jet::SqlExpr;
using jet::Value;
using Kind = SqlExpr::Kind;
using Row = std::vector<Value>;

constexpr int kMaxQueryNesting = 16;  // a query over a query over ...

[[noreturn]] void not_supported(const std::string& construct) {
  throw Error(jet_errors::kNotSupported, "not supported: " + construct);
}

std::string upper_ascii(std::string s) {
  for (char& c : s) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c);
  return s;
}

bool is_aggregate(const std::string& function) {
  for (const char* a : {"SUM", "AVG", "COUNT", "MIN", "MAX", "FIRST", "LAST", "STDEV", "STDEVP", "VAR", "VARP"})
    if (upper_ascii(function) == a) return true;
  return false;
}

// The construct of `e` that cannot be run here, or empty.
std::string unsupported_in(const SqlExpr& e) {
  switch (e.kind) {
    case Kind::subquery:
      return "sub-query";
    case Kind::call:
      return (is_aggregate(e.op) ? "aggregate function " : "function ") + e.op + "()";
    case Kind::binary:
      if (e.op == "XOR" || e.op == "EQV" || e.op == "IMP") return "operator " + e.op;
      break;
    default:
      break;
  }
  for (const auto& a : e.args) {
    std::string inner = unsupported_in(a);
    if (!inner.empty()) return inner;
  }
  return {};
}

// A value as a number for comparing and arithmetic; True is -1 and False 0, as in Jet.
std::optional<double> numeric(const Value& v) {
  if (const auto* b = std::get_if<bool>(&v)) return *b ? -1.0 : 0.0;
  if (const auto* d = std::get_if<jet::DateTime>(&v)) return d->days;
  return as_number(v);
}

// -1, 0, 1, or nullopt when either side is Null.
std::optional<int> compare(const Value& a, const Value& b) {
  if (jet::is_null(a) || jet::is_null(b)) return std::nullopt;
  const auto* sa = std::get_if<std::string>(&a);
  const auto* sb = std::get_if<std::string>(&b);
  if (sa && sb) {
    std::string ua = upper_ascii(*sa), ub = upper_ascii(*sb);
    return ua < ub ? -1 : (ua == ub ? 0 : 1);
  }
  std::optional<double> na = numeric(a), nb = numeric(b);
  if (!na || !nb) {
    throw Error(jet_errors::kTypeMismatch,
                "Data type mismatch in criteria expression: " + vb_text(a) + " and " + vb_text(b));
  }
  return *na < *nb ? -1 : (*na == *nb ? 0 : 1);
}

// A join key that equal values share: numbers by value, text without regard to case.
std::optional<std::string> join_key(const Value& v) {
  if (jet::is_null(v)) return std::nullopt;
  if (const auto* s = std::get_if<std::string>(&v)) {
    if (auto n = parse_number(*s)) return "n" + std::to_string(*n);
    return "t" + upper_ascii(*s);
  }
  if (auto n = as_number(v)) return "n" + std::to_string(*n);
  return "x" + vb_text(v);
}

// Null, or whether a value counts as true.
std::optional<bool> truth(const Value& v) {
  if (jet::is_null(v)) return std::nullopt;
  if (const auto* b = std::get_if<bool>(&v)) return *b;
  if (auto n = as_number(v)) return *n != 0;
  throw Error(jet_errors::kTypeMismatch, "Data type mismatch: '" + vb_text(v) + "' is not a condition");
}

Value from_truth(std::optional<bool> b) { return b ? Value(*b) : Value(); }

Value number_value(double d) {
  if (d == std::floor(d) && std::fabs(d) <= 2147483647.0) return static_cast<std::int32_t>(d);
  return d;
}

// LIKE with Jet's wildcards: * any run, ? one character, # one digit,
// [abc], [a-z] and [!abc] one of (or none of) a set; letters without regard to case.
bool like(const std::u32string& s, std::size_t si, const std::u32string& p, std::size_t pi) {
  auto fold = [](char32_t c) { return c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c; };
  while (pi < p.size()) {
    const char32_t c = p[pi];
    if (c == '*') {
      while (pi < p.size() && p[pi] == '*') ++pi;
      if (pi == p.size()) return true;
      for (std::size_t k = si; k <= s.size(); ++k)
        if (like(s, k, p, pi)) return true;
      return false;
    }
    if (si >= s.size()) return false;
    if (c == '?') {
    } else if (c == '#') {
      if (s[si] < '0' || s[si] > '9') return false;
    } else if (c == '[') {
      std::size_t close = p.find(U']', pi + 1);
      if (close == std::u32string::npos) throw Error(jet_errors::kSyntaxError, "LIKE pattern with an unclosed '['");
      std::size_t k = pi + 1;
      const bool negate = k < close && p[k] == '!';
      if (negate) ++k;
      bool in = false;
      for (; k < close; ++k) {
        if (k + 2 < close && p[k + 1] == '-') {
          if (fold(s[si]) >= fold(p[k]) && fold(s[si]) <= fold(p[k + 2])) in = true;
          k += 2;
        } else if (fold(s[si]) == fold(p[k])) {
          in = true;
        }
      }
      if (in == negate) return false;
      pi = close;
    } else if (fold(c) != fold(s[si])) {
      return false;
    }
    ++si;
    ++pi;
  }
  return si == s.size();
}

std::u32string to_u32(const std::string& s) {
  auto cps = jet::decode_utf8(s);
  return std::u32string(cps.begin(), cps.end());
}

// The column type a computed value is shown as.
jet::ColumnType type_of_value(const Value& v) {
  if (std::holds_alternative<bool>(v)) return jet::ColumnType::Boolean;
  if (std::holds_alternative<std::int32_t>(v)) return jet::ColumnType::Long;
  if (std::holds_alternative<jet::Currency>(v)) return jet::ColumnType::Currency;
  if (std::holds_alternative<float>(v) || std::holds_alternative<double>(v)) return jet::ColumnType::Double;
  if (std::holds_alternative<jet::DateTime>(v)) return jet::ColumnType::DateTime;
  return jet::ColumnType::Text;
}

struct Source {
  std::string key;  // alias or name: what qualifiers call it
  std::vector<ResultColumn> columns;
  std::vector<Row> rows;
  std::size_t offset = 0;  // of its first column in a joined row
};

class Evaluator {
 public:
  Evaluator(DatabaseFile& db, const jet::ParsedSelect& q, const std::vector<std::pair<std::string, Value>>& values,
            int depth)
      : db_(db), q_(q), values_(values), depth_(depth) {
    check_supported();
    for (const auto& p : q.parameters) {
      auto it = std::find_if(values.begin(), values.end(),
                             [&](const auto& v) { return jet::names_equal(v.first, p.name); });
      if (it == values.end()) {
        throw Error(jet_errors::kParameterMissing,
                    "Too few parameters: parameter '" + p.name + "' (" + p.type_word + ") has no value");
      }
      try {
        // Type 0 ("Value") takes what it is given.
        params_.push_back({p.name, p.type_code == 0 ? it->second
                                                    : convert_for_field(it->second, static_cast<jet::ColumnType>(p.type_code))});
      } catch (const jet::Error& e) {
        throw Error(e.jet_code(), std::string(e.what()) + " (parameter '" + p.name + "' " + p.type_word + ")");
      }
    }
    // Values given for names that are not declared still count, as Jet asks for them.
    for (const auto& v : values) {
      bool declared = std::any_of(q.parameters.begin(), q.parameters.end(),
                                  [&](const jet::ParsedParameter& p) { return jet::names_equal(p.name, v.first); });
      if (!declared) params_.push_back(v);
    }
    for (const auto& t : q.tables) add_source(t);
  }

  QueryResult run() {
    // Every condition, joins' and WHERE's, split at its ANDs; each is applied
    // as soon as the tables it names are all in the row.
    std::vector<const SqlExpr*> conditions;
    for (const auto& j : q_.joins) conditions.push_back(&j.expr);
    if (q_.where_expr) split(*q_.where_expr, conditions);
    std::vector<std::vector<const SqlExpr*>> at_step(sources_.size());
    for (const SqlExpr* c : conditions) at_step[bind(*c)].push_back(c);

    std::vector<Row> rows;
    for (auto& r : sources_[0].rows) rows.push_back(widen(std::move(r)));
    rows = filter(std::move(rows), at_step[0]);
    for (std::size_t s = 1; s < sources_.size(); ++s) rows = join(std::move(rows), s, at_step[s]);
    if (!q_.order_by.empty()) rows = sort(std::move(rows));
    return project(std::move(rows));
  }

 private:
  void check_supported() const {
    if (depth_ > kMaxQueryNesting) not_supported("queries nested more than " + std::to_string(kMaxQueryNesting) + " deep");
    if (q_.options & jet::kSelectTop) not_supported("TOP");
    if (q_.options & jet::kSelectDistinct) not_supported("DISTINCT");
    for (const auto& j : q_.joins) {
      if (j.kind == jet::kJoinLeft) not_supported("LEFT JOIN");
      if (j.kind == jet::kJoinRight) not_supported("RIGHT JOIN");
    }
    if (!q_.group_by.empty()) not_supported("GROUP BY");
    if (q_.having) not_supported("HAVING");
    std::vector<const SqlExpr*> trees;
    for (const auto& c : q_.columns) trees.push_back(&c.expr);
    for (const auto& j : q_.joins) trees.push_back(&j.expr);
    if (q_.where_expr) trees.push_back(&*q_.where_expr);
    for (const auto& o : q_.order_by) trees.push_back(&o.expr);
    for (const SqlExpr* t : trees) {
      std::string what = unsupported_in(*t);
      if (!what.empty()) not_supported(what);
    }
  }

  void add_source(const jet::ParsedTable& t) {
    Source src;
    src.key = t.key();
    src.offset = width_;
    if (const TableDef* def = db_.find_table(t.name)) {
      for (int i = 0; i < def->Fields.Count(); ++i)
        src.columns.push_back({def->Fields[i].Name, column_type(def->Fields[i].Type)});
      auto scan = db_.scan(def->Name);
      Row r;
      while (scan->next(r)) src.rows.push_back(r);
    } else if (const StoredQueryText* stored = db_.find_query(t.name)) {
      if (!stored->sql) not_supported("query '" + stored->name + "' without SQL text");
      const jet::ParsedSelect inner = jet::parse_select_query(stored->name, *stored->sql);
      QueryResult r = Evaluator(db_, inner, values_, depth_ + 1).run();
      src.columns = std::move(r.columns);
      src.rows = std::move(r.rows);
    } else {
      db_.table(t.name);  // throws the layer's "no such table"
    }
    width_ += src.columns.size();
    sources_.push_back(std::move(src));
  }

  Row widen(Row r) const {
    r.resize(width_);
    return r;
  }

  static void split(const SqlExpr& e, std::vector<const SqlExpr*>& out) {
    if (e.kind == Kind::binary && e.op == "AND") {
      split(e.args[0], out);
      split(e.args[1], out);
    } else {
      out.push_back(&e);
    }
  }

  // ---- names ----
  struct Binding {
    bool is_column = false;
    std::size_t column = 0;
    Value constant;
  };

  const Value* parameter(const std::string& name) const {
    for (const auto& p : params_)
      if (jet::names_equal(p.first, name)) return &p.second;
    return nullptr;
  }

  std::optional<std::size_t> find_column(const std::string& qualifier, const std::string& field) const {
    std::optional<std::size_t> found;
    for (const auto& src : sources_) {
      if (!qualifier.empty() && !jet::names_equal(qualifier, src.key)) continue;
      for (std::size_t i = 0; i < src.columns.size(); ++i) {
        if (!jet::names_equal(src.columns[i].name, field)) continue;
        if (found) throw Error(jet_errors::kAmbiguousField, "The field '" + field + "' could refer to more than one table");
        found = src.offset + i;
      }
    }
    return found;
  }

  // Resolves the names of `e` (once) and returns the step at which every
  // column it uses is in the row.
  std::size_t bind(const SqlExpr& e) {
    std::size_t step = 0;
    if (e.kind == Kind::name) {
      const Binding& b = resolve(e);
      if (b.is_column) step = source_of(b.column);
    }
    for (const auto& a : e.args) step = std::max(step, bind(a));
    return step;
  }

  const Binding& resolve(const SqlExpr& e) {
    auto it = bindings_.find(&e);
    if (it != bindings_.end()) return it->second;
    Binding b;
    const Value* p = nullptr;
    if (e.parts.size() == 1 || e.bang) p = parameter(e.text);
    if (p) {
      b.constant = *p;
    } else if (e.bang || e.parts.size() > 2) {
      throw Error(jet_errors::kParameterMissing, "Too few parameters: '" + e.text + "' has no value");
    } else {
      const std::string qualifier = e.parts.size() == 2 ? e.parts[0] : std::string();
      const std::string& field = e.parts.back();
      auto c = find_column(qualifier, field);
      if (c) {
        b.is_column = true;
        b.column = *c;
      } else if (auto constant = named_constant(e)) {
        b.constant = *constant;
      } else if (!qualifier.empty()) {
        if (const Value* full = parameter(e.text)) {
          b.constant = *full;
        } else if (std::none_of(sources_.begin(), sources_.end(),
                                [&](const Source& s) { return jet::names_equal(s.key, qualifier); })) {
          throw Error(jet_errors::kUnknownTable,
                      "The table '" + qualifier + "' named in '" + e.text + "' is not in the query's FROM clause");
        } else {
          throw Error(jet_errors::kUnknownField, "Table '" + qualifier + "' has no field '" + field + "'");
        }
      } else {
        // Jet takes an unknown name for a parameter and asks for its value.
        throw Error(jet_errors::kParameterMissing, "Too few parameters: '" + e.text + "' has no value");
      }
    }
    return bindings_.emplace(&e, std::move(b)).first->second;
  }

  // The words Jet's SQL takes as constants when no column has the name.
  static std::optional<Value> named_constant(const SqlExpr& e) {
    if (e.parts.size() != 1) return std::nullopt;
    for (const char* t : {"TRUE", "YES", "ON"})
      if (jet::names_equal(e.text, t)) return Value(true);
    for (const char* f : {"FALSE", "NO", "OFF"})
      if (jet::names_equal(e.text, f)) return Value(false);
    if (jet::names_equal(e.text, "NULL")) return Value();
    return std::nullopt;
  }

  std::size_t source_of(std::size_t column) const {
    std::size_t s = 0;
    for (std::size_t i = 0; i < sources_.size(); ++i)
      if (column >= sources_[i].offset) s = i;
    return s;
  }

  // ---- values ----
  Value eval(const SqlExpr& e, const Row& r) {
    switch (e.kind) {
      case Kind::name: {
        const Binding& b = resolve(e);
        return b.is_column ? r[b.column] : b.constant;
      }
      case Kind::number:
        return number_value(std::strtod(e.text.c_str(), nullptr));
      case Kind::text:
        return e.text;
      case Kind::date:
        return convert_for_field(Value(e.text), jet::ColumnType::DateTime);
      case Kind::unary: {
        Value v = eval(e.args[0], r);
        if (e.op == "NOT") {
          auto t = truth(v);
          return t ? Value(!*t) : Value();
        }
        if (jet::is_null(v)) return v;
        auto n = numeric(v);
        if (!n) throw Error(jet_errors::kTypeMismatch, "Data type mismatch: '" + vb_text(v) + "' is not a number");
        return e.op == "-" ? number_value(-*n) : number_value(*n);
      }
      case Kind::binary:
        return binary(e, r);
      case Kind::between: {
        Value v = eval(e.args[0], r);
        auto lo = compare(v, eval(e.args[1], r));
        auto hi = compare(v, eval(e.args[2], r));
        if (!lo || !hi) return Value();
        return (*lo >= 0 && *hi <= 0) != e.negated;
      }
      case Kind::in_list: {
        Value v = eval(e.args[0], r);
        if (jet::is_null(v)) return Value();
        bool found = false;
        for (std::size_t i = 1; i < e.args.size() && !found; ++i) found = compare(v, eval(e.args[i], r)) == 0;
        return found != e.negated;
      }
      case Kind::is_null:
        return jet::is_null(eval(e.args[0], r)) != e.negated;
      case Kind::like: {
        Value v = eval(e.args[0], r);
        Value p = eval(e.args[1], r);
        if (jet::is_null(v) || jet::is_null(p)) return Value();
        return like(to_u32(vb_text(v)), 0, to_u32(vb_text(p)), 0) != e.negated;
      }
      case Kind::star:
      case Kind::call:
      case Kind::subquery:
        break;
    }
    not_supported("expression '" + std::string(e.op) + "'");
  }

  Value binary(const SqlExpr& e, const Row& r) {
    const std::string& op = e.op;
    if (op == "AND" || op == "OR") {
      auto a = truth(eval(e.args[0], r));
      if (op == "AND" && a == false) return false;
      if (op == "OR" && a == true) return true;
      auto b = truth(eval(e.args[1], r));
      if (op == "AND") return b == false ? Value(false) : (a && b ? Value(true) : Value());
      return b == true ? Value(true) : (a && b ? Value(false) : Value());
    }
    Value a = eval(e.args[0], r);
    Value b = eval(e.args[1], r);
    if (op == "&") return (jet::is_null(a) ? std::string() : vb_text(a)) + (jet::is_null(b) ? std::string() : vb_text(b));
    if (op == "=" || op == "<>" || op == "<" || op == ">" || op == "<=" || op == ">=") {
      auto c = compare(a, b);
      if (!c) return Value();
      if (op == "=") return *c == 0;
      if (op == "<>") return *c != 0;
      if (op == "<") return *c < 0;
      if (op == ">") return *c > 0;
      if (op == "<=") return *c <= 0;
      return *c >= 0;
    }
    if (jet::is_null(a) || jet::is_null(b)) return Value();
    if (op == "+" && std::holds_alternative<std::string>(a) && std::holds_alternative<std::string>(b))
      return std::get<std::string>(a) + std::get<std::string>(b);
    auto x = numeric(a), y = numeric(b);
    if (!x || !y) {
      throw Error(jet_errors::kTypeMismatch, "Data type mismatch in '" + vb_text(a) + " " + op + " " + vb_text(b) + "'");
    }
    if (op == "+") return number_value(*x + *y);
    if (op == "-") return number_value(*x - *y);
    if (op == "*") return number_value(*x * *y);
    if (op == "^") return number_value(std::pow(*x, *y));
    if (op == "/" || op == "\\" || op == "MOD") {
      const double dx = op == "/" ? *x : std::round(*x), dy = op == "/" ? *y : std::round(*y);
      if (dy == 0) throw Error(jet_errors::kNumericOverflow, "Division by zero in '" + vb_text(a) + " " + op + " " + vb_text(b) + "'");
      if (op == "/") return number_value(dx / dy);
      if (op == "\\") return number_value(std::trunc(dx / dy));
      return number_value(std::fmod(dx, dy));
    }
    not_supported("operator " + op);
  }

  bool passes(const std::vector<const SqlExpr*>& conds, const Row& r) {
    for (const SqlExpr* c : conds)
      if (truth(eval(*c, r)) != true) return false;
    return true;
  }

  std::vector<Row> filter(std::vector<Row> rows, const std::vector<const SqlExpr*>& conds) {
    if (conds.empty()) return rows;
    std::vector<Row> kept;
    for (auto& r : rows)
      if (passes(conds, r)) kept.push_back(std::move(r));
    return kept;
  }

  // The rows so far with the rows of source `s`, kept where `conds` hold; an
  // equality between a column of `s` and one before it is hashed on.
  std::vector<Row> join(std::vector<Row> left, std::size_t s, const std::vector<const SqlExpr*>& conds) {
    const Source& src = sources_[s];
    std::optional<std::pair<std::size_t, std::size_t>> hashed;  // (column before s, column of s)
    for (const SqlExpr* c : conds) {
      if (c->kind != Kind::binary || c->op != "=" || c->args[0].kind != Kind::name || c->args[1].kind != Kind::name) continue;
      const Binding& a = resolve(c->args[0]);
      const Binding& b = resolve(c->args[1]);
      if (!a.is_column || !b.is_column) continue;
      if (source_of(a.column) < s && source_of(b.column) == s) hashed = {{a.column, b.column}};
      if (source_of(b.column) < s && source_of(a.column) == s) hashed = {{b.column, a.column}};
      if (hashed) break;
    }
    std::vector<Row> out;
    Row joined(width_);
    auto emit = [&](const Row& l, const Row& r) {
      std::copy(l.begin(), l.begin() + static_cast<long>(src.offset), joined.begin());
      std::copy(r.begin(), r.end(), joined.begin() + static_cast<long>(src.offset));
      if (passes(conds, joined)) out.push_back(joined);
    };
    if (hashed) {
      const std::size_t rcol = hashed->second - src.offset;
      std::unordered_map<std::string, std::vector<std::size_t>> index;
      for (std::size_t i = 0; i < src.rows.size(); ++i)
        if (auto k = join_key(src.rows[i][rcol])) index[*k].push_back(i);
      for (const auto& l : left) {
        auto k = join_key(l[hashed->first]);
        if (!k) continue;
        auto it = index.find(*k);
        if (it == index.end()) continue;
        for (std::size_t i : it->second) emit(l, src.rows[i]);
      }
    } else {
      for (const auto& l : left)
        for (const auto& r : src.rows) emit(l, r);
    }
    return out;
  }

  jet::ColumnType type_at(std::size_t column) const {
    const Source& s = sources_[source_of(column)];
    return s.columns[column - s.offset].type;
  }

  // ORDER BY: a column sorts as its type; any other key is computed into an
  // extra column first and sorts as the type of its values.
  std::vector<Row> sort(std::vector<Row> rows) {
    std::vector<SortColumn> order;
    std::size_t extra = width_;
    for (const auto& o : q_.order_by) {
      bind(o.expr);
      if (o.expr.kind == Kind::name && resolve(o.expr).is_column) {
        const std::size_t c = resolve(o.expr).column;
        order.push_back({static_cast<int>(c), type_at(c), o.descending});
        continue;
      }
      jet::ColumnType type = jet::ColumnType::Text;
      bool typed = false;
      for (auto& r : rows) {
        r.push_back(eval(o.expr, r));
        if (!typed && !jet::is_null(r.back())) {
          type = type_of_value(r.back());
          typed = true;
        }
      }
      order.push_back({static_cast<int>(extra++), type, o.descending});
    }
    std::size_t at = 0;
    SortedRows sorted(
        [&]() -> RowScanner {
          at = 0;
          return [&](Row& r) {
            if (at >= rows.size()) return false;
            r = rows[at++];
            return true;
          };
        },
        SortKeys(order, db_.format(), db_.sort_order()), rows.size() + 1);
    std::vector<Row> out;
    Row r;
    while (sorted.next(r)) {
      r.resize(width_);
      out.push_back(std::move(r));
    }
    return out;
  }

  QueryResult project(std::vector<Row> rows) {
    struct Out {
      std::optional<std::size_t> column;  // else computed from `expr`
      const SqlExpr* expr = nullptr;
      std::string name;
      std::string table;  // to tell two outputs of one name apart
    };
    std::vector<Out> outs;
    auto all_of = [&](const Source& src) {
      for (std::size_t i = 0; i < src.columns.size(); ++i) outs.push_back({src.offset + i, nullptr, src.columns[i].name, src.key});
    };
    if (q_.options & jet::kSelectStar)
      for (const auto& src : sources_) all_of(src);
    int unnamed = 1000;  // Jet calls unnamed computed columns Expr1000, Expr1001, ...
    for (const auto& item : q_.columns) {
      const SqlExpr& e = item.expr;
      if (e.kind == Kind::star) {
        auto src = std::find_if(sources_.begin(), sources_.end(),
                                [&](const Source& s) { return !e.parts.empty() && jet::names_equal(s.key, e.parts[0]); });
        if (src == sources_.end())
          throw Error(jet_errors::kUnknownTable, "The table '" + item.expression + "' names is not in the query");
        all_of(*src);
        continue;
      }
      bind(e);
      if (e.kind == Kind::name && resolve(e).is_column) {
        const std::size_t c = resolve(e).column;
        const Source& s = sources_[source_of(c)];
        outs.push_back({c, nullptr, item.alias.value_or(s.columns[c - s.offset].name), item.alias ? std::string() : s.key});
      } else {
        outs.push_back({std::nullopt, &e, item.alias.value_or("Expr" + std::to_string(unnamed++)), std::string()});
      }
    }
    for (std::size_t i = 0; i < outs.size(); ++i) {
      for (std::size_t j = i + 1; j < outs.size(); ++j) {
        if (jet::names_equal(outs[i].name, outs[j].name) && !outs[i].table.empty() && !outs[j].table.empty()) {
          if (outs[i].name.find('.') == std::string::npos) outs[i].name = outs[i].table + "." + outs[i].name;
          if (outs[j].name.find('.') == std::string::npos) outs[j].name = outs[j].table + "." + outs[j].name;
        }
      }
    }
    if (q_.options & jet::kSelectDistinctRow) rows = distinct_rows(std::move(rows), outs_sources(outs));
    QueryResult result;
    std::vector<std::optional<jet::ColumnType>> computed_type(outs.size());
    result.rows.reserve(rows.size());
    for (auto& r : rows) {
      Row p;
      p.reserve(outs.size());
      for (std::size_t i = 0; i < outs.size(); ++i) {
        if (outs[i].column) {
          p.push_back(r[*outs[i].column]);
        } else {
          p.push_back(eval(*outs[i].expr, r));
          if (!computed_type[i] && !jet::is_null(p.back())) computed_type[i] = type_of_value(p.back());
        }
      }
      result.rows.push_back(std::move(p));
    }
    for (std::size_t i = 0; i < outs.size(); ++i) {
      jet::ColumnType t = outs[i].column ? type_at(*outs[i].column) : computed_type[i].value_or(jet::ColumnType::Text);
      result.columns.push_back({outs[i].name, t});
    }
    return result;
  }

  // The sources whose columns are output, directly or in a computed column.
  template <typename Outs>
  std::vector<bool> outs_sources(const Outs& outs) {
    std::vector<bool> used(sources_.size());
    std::function<void(const SqlExpr&)> mark = [&](const SqlExpr& e) {
      if (e.kind == Kind::name && resolve(e).is_column) used[source_of(resolve(e).column)] = true;
      for (const auto& a : e.args) mark(a);
    };
    for (const auto& o : outs) {
      if (o.column) used[source_of(*o.column)] = true;
      if (o.expr) mark(*o.expr);
    }
    return used;
  }

  // DISTINCTROW: one row for each combination of the records of the tables
  // that are output; the join's repeats of them go. A record is told by all
  // its values, so two identical records of one table also count as one.
  std::vector<Row> distinct_rows(std::vector<Row> rows, const std::vector<bool>& used) const {
    std::unordered_map<std::string, bool> seen;
    std::vector<Row> kept;
    for (auto& r : rows) {
      std::string key;
      for (std::size_t s = 0; s < sources_.size(); ++s) {
        if (!used[s]) continue;
        for (std::size_t c = 0; c < sources_[s].columns.size(); ++c) {
          const Value& v = r[sources_[s].offset + c];
          key += static_cast<char>('0' + v.index());
          key += jet::is_null(v) ? std::string() : vb_text(v);
          key += '\x1f';
        }
      }
      if (seen.emplace(std::move(key), true).second) kept.push_back(std::move(r));
    }
    return kept;
  }

  DatabaseFile& db_;
  const jet::ParsedSelect& q_;
  const std::vector<std::pair<std::string, Value>>& values_;
  int depth_;
  std::vector<std::pair<std::string, Value>> params_;
  std::vector<Source> sources_;
  std::size_t width_ = 0;
  std::unordered_map<const SqlExpr*, Binding> bindings_;
};

}  // namespace

QueryResult run_query(DatabaseFile& db, const jet::ParsedSelect& query,
                      const std::vector<std::pair<std::string, jet::Value>>& values) {
  return Evaluator(db, query, values, 0).run();
}

QueryResult run_query_text(DatabaseFile& db, const std::string& name, const std::string& sql,
                           const std::vector<std::pair<std::string, jet::Value>>& values) {
  return run_query(db, jet::parse_select_query(name, sql), values);
}

}  // namespace mirutone::db
