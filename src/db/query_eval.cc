#include "db/query_eval.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <optional>
#include <unordered_map>

#include "db/errors.h"
#include "db/row_order.h"
#include "db/select_sql.h"
#include "db/value_conversion.h"

namespace mirutone::db {
namespace {

using jet::Value;
using Row = std::vector<Value>;

struct Source {
  const TableDef* def;
  std::size_t offset;  // of its first field in a joined row
};

// What an operand stands for once names are resolved.
struct Bound {
  enum class Kind { Column, Constant } kind = Kind::Constant;
  std::size_t column = 0;
  Value constant;
};

bool iequal(const std::string& a, const std::string& b) { return names_match(a, b); }

std::string upper_ascii(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
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
  std::optional<double> na = as_number(a), nb = as_number(b);
  if (const auto* d = std::get_if<jet::DateTime>(&a)) na = d->days;
  if (const auto* d = std::get_if<jet::DateTime>(&b)) nb = d->days;
  if (!na || !nb) {
    throw Error(jet_errors::kTypeMismatch,
                "Data type mismatch in criteria expression: " + vb_text(a) + " and " + vb_text(b));
  }
  return *na < *nb ? -1 : (*na == *nb ? 0 : 1);
}

bool holds(const std::string& op, std::optional<int> c) {
  if (!c) return false;
  if (op == "=") return *c == 0;
  if (op == "<>") return *c != 0;
  if (op == "<") return *c < 0;
  if (op == ">") return *c > 0;
  if (op == "<=") return *c <= 0;
  return *c >= 0;
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

class Evaluator {
 public:
  Evaluator(DatabaseFile& db, const ParsedQuery& q, const std::vector<std::pair<std::string, Value>>& values)
      : db_(db), q_(q) {
    for (const auto& p : q.parameters) {
      jet::ColumnType type = parameter_type(p.type);
      auto it = std::find_if(values.begin(), values.end(), [&](const auto& v) { return iequal(v.first, p.name); });
      if (it == values.end()) {
        throw Error(jet_errors::kParameterMissing,
                    "Too few parameters: parameter '" + p.name + "' (" + p.type + ") has no value");
      }
      try {
        params_.push_back({p.name, convert_for_field(it->second, type)});
      } catch (const jet::Error& e) {
        throw Error(e.jet_code(), std::string(e.what()) + " (parameter '" + p.name + "')");
      }
    }
    // Values given for names that are not declared still count, as Jet asks for them.
    for (const auto& v : values) {
      bool declared = std::any_of(q.parameters.begin(), q.parameters.end(),
                                  [&](const QueryParameter& p) { return iequal(p.name, v.first); });
      if (!declared) params_.push_back(v);
    }
    add_source(q.from);
    for (const auto& j : q.joins) add_source(j.table);
  }

  QueryResult run() {
    std::vector<Row> rows = load(0);
    for (std::size_t j = 0; j < q_.joins.size(); ++j) rows = join(std::move(rows), j + 1, q_.joins[j].on);
    if (!q_.where.empty()) {
      auto conds = bind_all(q_.where);
      std::vector<Row> kept;
      for (auto& r : rows) {
        if (passes(conds, r)) kept.push_back(std::move(r));
      }
      rows = std::move(kept);
    }
    if (!q_.order_by.empty()) {
      std::vector<SortColumn> order;
      for (const auto& t : q_.order_by) {
        std::size_t c = column(t.column);
        order.push_back({static_cast<int>(c), type_of(c), t.descending});
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
      while (sorted.next(r)) out.push_back(std::move(r));
      rows = std::move(out);
    }
    return project(std::move(rows));
  }

 private:
  void add_source(const std::string& name) {
    const TableDef& t = db_.table(name);
    std::size_t offset = sources_.empty() ? 0 : sources_.back().offset + sources_.back().def->Fields.Count();
    sources_.push_back({&t, offset});
  }
  std::size_t width(std::size_t upto) const {
    return sources_[upto - 1].offset + static_cast<std::size_t>(sources_[upto - 1].def->Fields.Count());
  }

  std::vector<Row> load(std::size_t s) {
    std::vector<Row> rows;
    auto scan = db_.scan(sources_[s].def->Name);
    Row r;
    while (scan->next(r)) rows.push_back(r);
    return rows;
  }

  jet::ColumnType type_of(std::size_t column) const {
    for (auto it = sources_.rbegin(); it != sources_.rend(); ++it) {
      if (column >= it->offset) return db::column_type(it->def->Fields[static_cast<int>(column - it->offset)].Type);
    }
    return jet::ColumnType::Text;
  }

  // The joined-row position of a column; `upto` limits the tables searched.
  std::optional<std::size_t> find_column(const QueryOperand& o, std::size_t upto) const {
    std::optional<std::size_t> found;
    for (std::size_t s = 0; s < upto; ++s) {
      const auto& src = sources_[s];
      if (!o.qualifier.empty() && !iequal(o.qualifier, src.def->Name)) continue;
      int pos = src.def->field_position(o.text);
      if (pos < 0) continue;
      if (found) throw Error(jet_errors::kAmbiguousField, "The field '" + o.text + "' could refer to more than one table");
      found = src.offset + static_cast<std::size_t>(pos);
    }
    if (!found && !o.qualifier.empty()) {
      bool known = std::any_of(sources_.begin(), sources_.begin() + static_cast<long>(upto),
                               [&](const Source& s) { return iequal(s.def->Name, o.qualifier); });
      if (!known) {
        throw Error(jet_errors::kUnknownTable, "The table '" + o.qualifier + "' named in '" + o.qualifier + "." + o.text +
                                                   "' is not in the query's FROM clause");
      }
      throw Error(jet_errors::kUnknownField, "Table '" + o.qualifier + "' has no field '" + o.text + "'");
    }
    return found;
  }

  std::size_t column(const QueryOperand& o) const {
    auto c = find_column(o, sources_.size());
    if (!c) throw Error(jet_errors::kUnknownField, "No table of the query has a field '" + o.text + "'");
    return *c;
  }

  Bound bind(const QueryOperand& o, std::size_t upto) const {
    Bound b;
    if (o.kind == QueryOperand::Kind::Number) {
      double d = std::strtod(o.text.c_str(), nullptr);
      if (d == std::floor(d) && std::fabs(d) <= 2147483647.0) {
        b.constant = static_cast<std::int32_t>(d);
      } else {
        b.constant = d;
      }
      return b;
    }
    if (o.kind == QueryOperand::Kind::Text) {
      b.constant = o.text;
      return b;
    }
    if (o.qualifier.empty()) {
      for (const auto& p : params_) {
        if (iequal(p.first, o.text)) {
          b.constant = p.second;
          return b;
        }
      }
    }
    if (auto c = find_column(o, upto)) {
      b.kind = Bound::Kind::Column;
      b.column = *c;
      return b;
    }
    // Jet takes an unknown name for a parameter and asks for its value.
    throw Error(jet_errors::kParameterMissing, "Too few parameters: '" + o.text + "' has no value");
  }

  struct BoundComparison {
    Bound left;
    std::string op;
    Bound right;
  };

  std::vector<BoundComparison> bind_all(const std::vector<QueryComparison>& cs, std::size_t upto = 0) const {
    if (upto == 0) upto = sources_.size();
    std::vector<BoundComparison> out;
    for (const auto& c : cs) out.push_back({bind(c.left, upto), c.op, bind(c.right, upto)});
    return out;
  }

  static const Value& value(const Bound& b, const Row& r) { return b.kind == Bound::Kind::Column ? r[b.column] : b.constant; }

  static bool passes(const std::vector<BoundComparison>& cs, const Row& r) {
    for (const auto& c : cs) {
      if (!holds(c.op, compare(value(c.left, r), value(c.right, r)))) return false;
    }
    return true;
  }

  std::vector<Row> join(std::vector<Row> left, std::size_t s, const std::vector<QueryComparison>& on) {
    std::vector<Row> right = load(s);
    auto conds = bind_all(on, s + 1);
    const std::size_t split = sources_[s].offset;
    // An equality between a column of the new table and one of the tables before it: hash on it.
    std::optional<std::size_t> hashed;
    for (std::size_t i = 0; i < conds.size(); ++i) {
      const auto& c = conds[i];
      if (c.op == "=" && c.left.kind == Bound::Kind::Column && c.right.kind == Bound::Kind::Column &&
          ((c.left.column < split) != (c.right.column < split))) {
        hashed = i;
        break;
      }
    }
    std::vector<Row> out;
    Row joined(width(s + 1));
    auto emit = [&](const Row& l, const Row& r) {
      std::copy(l.begin(), l.end(), joined.begin());
      std::copy(r.begin(), r.end(), joined.begin() + static_cast<long>(split));
      if (passes(conds, joined)) out.push_back(joined);
    };
    if (hashed) {
      const auto& c = conds[*hashed];
      std::size_t lcol = c.left.column < split ? c.left.column : c.right.column;
      std::size_t rcol = (c.left.column < split ? c.right.column : c.left.column) - split;
      std::unordered_map<std::string, std::vector<std::size_t>> index;
      for (std::size_t i = 0; i < right.size(); ++i) {
        if (auto k = join_key(right[i][rcol])) index[*k].push_back(i);
      }
      for (const auto& l : left) {
        auto k = join_key(l[lcol]);
        if (!k) continue;
        auto it = index.find(*k);
        if (it == index.end()) continue;
        for (std::size_t i : it->second) emit(l, right[i]);
      }
    } else {
      for (const auto& l : left) {
        for (const auto& r : right) emit(l, r);
      }
    }
    return out;
  }

  QueryResult project(std::vector<Row> rows) const {
    struct Out {
      std::size_t column;
      std::string name;
      std::string table;
    };
    std::vector<Out> outs;
    for (const auto& item : q_.select) {
      if (item.field == "*") {
        bool any = false;
        for (const auto& src : sources_) {
          if (!item.table.empty() && !iequal(item.table, src.def->Name)) continue;
          any = true;
          for (int i = 0; i < src.def->Fields.Count(); ++i) {
            outs.push_back({src.offset + static_cast<std::size_t>(i), src.def->Fields[i].Name, src.def->Name});
          }
        }
        if (!any) throw Error(jet_errors::kUnknownTable, "The table '" + item.table + "' of '" + item.table + ".*' is not in the query");
        continue;
      }
      QueryOperand o{QueryOperand::Kind::Name, item.table, item.field};
      std::size_t c = column(o);
      std::string table;
      for (const auto& src : sources_) {
        if (c >= src.offset) table = src.def->Name;
      }
      std::string name = item.alias;
      if (name.empty()) name = type_field_name(c);
      outs.push_back({c, name, item.alias.empty() ? table : std::string()});
    }
    // Two outputs of one name are told apart by their tables.
    for (std::size_t i = 0; i < outs.size(); ++i) {
      for (std::size_t j = i + 1; j < outs.size(); ++j) {
        if (iequal(outs[i].name, outs[j].name) && !outs[i].table.empty() && !outs[j].table.empty()) {
          if (outs[i].name.find('.') == std::string::npos) outs[i].name = outs[i].table + "." + outs[i].name;
          if (outs[j].name.find('.') == std::string::npos) outs[j].name = outs[j].table + "." + outs[j].name;
        }
      }
    }
    QueryResult result;
    for (const auto& o : outs) result.columns.push_back({o.name, type_of(o.column)});
    result.rows.reserve(rows.size());
    for (auto& r : rows) {
      Row p;
      p.reserve(outs.size());
      for (const auto& o : outs) p.push_back(std::move(r[o.column]));
      result.rows.push_back(std::move(p));
    }
    return result;
  }

  std::string type_field_name(std::size_t column) const {
    for (auto it = sources_.rbegin(); it != sources_.rend(); ++it) {
      if (column >= it->offset) return it->def->Fields[static_cast<int>(column - it->offset)].Name;
    }
    return {};
  }

  DatabaseFile& db_;
  const ParsedQuery& q_;
  std::vector<std::pair<std::string, Value>> params_;
  std::vector<Source> sources_;
};

}  // namespace

jet::ColumnType parameter_type(const std::string& word) {
  static const std::pair<const char*, jet::ColumnType> kTypes[] = {
      {"SHORT", jet::ColumnType::Integer},   {"INTEGER", jet::ColumnType::Integer},
      {"SMALLINT", jet::ColumnType::Integer}, {"LONG", jet::ColumnType::Long},
      {"INT", jet::ColumnType::Long},        {"BYTE", jet::ColumnType::Byte},
      {"TEXT", jet::ColumnType::Text},       {"VARCHAR", jet::ColumnType::Text},
      {"DOUBLE", jet::ColumnType::Double},   {"IEEEDOUBLE", jet::ColumnType::Double},
      {"FLOAT", jet::ColumnType::Double},    {"SINGLE", jet::ColumnType::Single},
      {"IEEESINGLE", jet::ColumnType::Single}, {"REAL", jet::ColumnType::Single},
      {"BIT", jet::ColumnType::Boolean},     {"YESNO", jet::ColumnType::Boolean},
      {"LOGICAL", jet::ColumnType::Boolean}, {"DATETIME", jet::ColumnType::DateTime},
      {"DATE", jet::ColumnType::DateTime},   {"CURRENCY", jet::ColumnType::Currency},
      {"MONEY", jet::ColumnType::Currency},
  };
  std::string u = upper_ascii(word);
  for (const auto& [w, t] : kTypes) {
    if (u == w) return t;
  }
  throw Error(jet_errors::kSyntaxError, "Unknown parameter type '" + word + "'");
}

QueryResult run_query(DatabaseFile& db, const ParsedQuery& query,
                      const std::vector<std::pair<std::string, jet::Value>>& values) {
  return Evaluator(db, query, values).run();
}

}  // namespace mirutone::db
