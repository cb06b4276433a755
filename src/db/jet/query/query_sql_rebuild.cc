// SQL text rebuilt from the MSysQueries rows of one stored query, laid out the
// way Access shows a query in SQL view: one clause a line, CR-LF between them,
// a semicolon at the end.
#include <algorithm>
#include <cctype>
#include <string_view>

#include "db/jet/query/query_def.h"
#include "db/jet/query/query_format.h"
#include "db/jet/query/query_param_types.h"
#include "db/jet/query/query_sql_lexer.h"
#include "db/jet/query/query_sql_parse.h"

namespace mirutone::jet {
namespace {

constexpr std::string_view kNewline = "\r\n";

// Words that would be read as SQL if left unbracketed.
bool is_keyword(std::string_view s) {
  static constexpr std::string_view kMore[] = {"NULL", "SET", "VALUES", "UPDATE", "DELETE", "INSERT", "PIVOT"};
  if (is_reserved_word(s)) return true;
  for (auto kw : kMore)
    if (names_equal(kw, s)) return true;
  return false;
}

// A table, column or alias name, bracketed where Jet needs it.
std::string quote_name(std::string_view name) {
  bool plain = !name.empty() && !(name[0] >= '0' && name[0] <= '9') && !is_keyword(name);
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (!(u >= 0x80 || std::isalnum(u) || c == '_')) plain = false;
  }
  if (plain || name.find(']') != std::string_view::npos) return std::string(name);
  return "[" + std::string(name) + "]";
}

// Parameter names may be references such as Forms!Dialog!Start or
// Sub.Form!Field: each part is bracketed on its own.
std::string quote_parameter(std::string_view name) {
  if (name.find('[') != std::string_view::npos) return std::string(name);
  std::string out;
  std::size_t start = 0;
  while (true) {
    const auto sep = name.find_first_of("!.", start);
    out += quote_name(name.substr(start, sep == std::string_view::npos ? std::string_view::npos : sep - start));
    if (sep == std::string_view::npos) return out;
    out += name[sep];
    start = sep + 1;
  }
}

// Access keeps a NUL after the text of DDL and pass-through queries.
std::string without_nuls(std::string s) {
  while (!s.empty() && s.back() == '\0') s.pop_back();
  return s;
}

std::string trim(std::string_view s) {
  const auto b = s.find_first_not_of(" \t\r\n");
  if (b == std::string_view::npos) return {};
  const auto e = s.find_last_not_of(" \t\r\n");
  return std::string(s.substr(b, e - b + 1));
}

class Rebuilder {
 public:
  explicit Rebuilder(const std::vector<QueryRow>& rows) : rows_(rows) {
    std::stable_sort(rows_.begin(), rows_.end(), [](const QueryRow& a, const QueryRow& b) {
      return a.attribute != b.attribute ? a.attribute < b.attribute : a.order < b.order;
    });
  }

  std::optional<std::string> run() {
    const QueryRow* type_row = first(kAttrType);
    const std::int16_t type = type_row && type_row->flag ? *type_row->flag : kQuerySelect;
    if (type == kQueryDataDefinition || type == kQueryPassThrough) {
      if (!type_row->expression) return std::nullopt;
      return without_nuls(*type_row->expression);
    }
    auto params = parameters();
    if (!params) return std::nullopt;
    std::optional<std::string> body;
    switch (type) {
      case kQuerySelect:
      case kQueryMakeTable:
        body = select_statement(type == kQueryMakeTable ? type_row : nullptr);
        break;
      case kQueryAppend:
        body = append_statement(*type_row);
        break;
      case kQueryUpdate:
        body = update_statement();
        break;
      case kQueryDelete:
        body = delete_statement();
        break;
      case kQueryCrosstab:
        body = crosstab_statement();
        break;
      case kQueryUnion:
        body = union_statement();
        break;
      default:
        return std::nullopt;
    }
    if (!body) return std::nullopt;
    return *params + *body + ";";
  }

 private:
  std::vector<const QueryRow*> all(std::uint8_t attribute) const {
    std::vector<const QueryRow*> out;
    for (const auto& r : rows_)
      if (r.attribute == attribute) out.push_back(&r);
    return out;
  }
  const QueryRow* first(std::uint8_t attribute) const {
    for (const auto& r : rows_)
      if (r.attribute == attribute) return &r;
    return nullptr;
  }
  std::int16_t options() const {
    const QueryRow* r = first(kAttrOptions);
    return r && r->flag ? *r->flag : 0;
  }

  std::optional<std::string> parameters() const {
    auto rows = all(kAttrParameter);
    if (rows.empty()) return std::string();
    std::string out = "PARAMETERS ";
    for (std::size_t i = 0; i < rows.size(); ++i) {
      if (!rows[i]->name1) return std::nullopt;
      auto type = parameter_type_name(rows[i]->flag.value_or(0));
      if (!type) return std::nullopt;
      if (i) out += ", ";
      out += quote_parameter(*rows[i]->name1) + " " + std::string(*type);
      if (rows[i]->flag == kParameterText && rows[i]->lv_extra.value_or(0) > 0)
        out += "(" + std::to_string(*rows[i]->lv_extra) + ")";
    }
    return out + ";" + std::string(kNewline);
  }

  // DISTINCT / DISTINCTROW / TOP n [PERCENT], each followed by a blank.
  std::string select_predicates() const {
    const auto flags = options();
    std::string out;
    if (flags & kSelectDistinct) out += "DISTINCT ";
    else if (flags & kSelectDistinctRow) out += "DISTINCTROW ";
    if (flags & kSelectTop) {
      const QueryRow* r = first(kAttrOptions);
      out += "TOP " + r->name1.value_or("") + " ";
      if (flags & kSelectPercent) out += "PERCENT ";
    }
    return out;
  }

  // Output columns, filtered by `keep` on their Flag; '*' first when set.
  std::optional<std::string> column_list(bool star, bool (*keep)(std::int16_t)) const {
    std::string out = star ? "*" : "";
    for (const QueryRow* r : all(kAttrColumn)) {
      if (!keep(r->flag.value_or(0))) continue;
      if (!r->expression) return std::nullopt;
      if (!out.empty()) out += ", ";
      out += *r->expression;
      if (r->name1) out += " AS " + quote_name(*r->name1);
    }
    if (out.empty()) return std::nullopt;
    return out;
  }
  static bool any_column(std::int16_t) { return true; }

  std::optional<std::string> from_clause() const {
    struct Part {
      std::string sql;
      std::vector<std::string> keys;
      bool joined = false;
    };
    std::vector<Part> parts;
    for (const QueryRow* r : all(kAttrTable)) {
      Part p;
      if (r->name1) p.sql = quote_name(*r->name1);
      else if (r->expression) p.sql = "(" + *r->expression + ")";
      else return std::nullopt;
      if (r->name2) p.sql += " AS " + quote_name(*r->name2);
      p.keys.push_back(r->name2 ? *r->name2 : r->name1.value_or(""));
      parts.push_back(std::move(p));
    }
    if (parts.empty()) return std::nullopt;

    // Several rows between the same two tables are one ON condition joined by AND.
    struct JoinGroup {
      const QueryRow* row;
      std::vector<std::string> conditions;
    };
    std::vector<JoinGroup> groups;
    for (const QueryRow* r : all(kAttrJoin)) {
      if (!r->name1 || !r->name2 || !r->expression) return std::nullopt;
      auto same = std::find_if(groups.begin(), groups.end(), [&](const JoinGroup& g) {
        return names_equal(*g.row->name1, *r->name1) && names_equal(*g.row->name2, *r->name2) &&
               g.row->flag == r->flag;
      });
      if (same != groups.end()) same->conditions.push_back(*r->expression);
      else groups.push_back({r, {*r->expression}});
    }
    auto find_part = [&](const std::string& key) -> std::size_t {
      for (std::size_t i = 0; i < parts.size(); ++i)
        for (const auto& k : parts[i].keys)
          if (names_equal(k, key)) return i;
      return parts.size();
    };
    for (const auto& g : groups) {
      const char* kind;
      switch (g.row->flag.value_or(0)) {
        case kJoinInner: kind = " INNER JOIN "; break;
        case kJoinLeft: kind = " LEFT JOIN "; break;
        case kJoinRight: kind = " RIGHT JOIN "; break;
        default: return std::nullopt;
      }
      const std::size_t l = find_part(*g.row->name1);
      const std::size_t r = find_part(*g.row->name2);
      if (l == parts.size() || r == parts.size() || l == r) return std::nullopt;
      std::string on;
      for (std::size_t i = 0; i < g.conditions.size(); ++i) {
        if (i) on += " AND ";
        on += g.conditions.size() > 1 ? "(" + g.conditions[i] + ")" : g.conditions[i];
      }
      auto operand = [](const Part& p) { return p.joined ? "(" + p.sql + ")" : p.sql; };
      Part merged;
      merged.sql = operand(parts[l]) + kind + operand(parts[r]) + " ON " + on;
      merged.joined = true;
      merged.keys = parts[l].keys;
      merged.keys.insert(merged.keys.end(), parts[r].keys.begin(), parts[r].keys.end());
      const std::size_t keep = std::min(l, r);
      const std::size_t drop = std::max(l, r);
      parts[keep] = std::move(merged);
      parts.erase(parts.begin() + static_cast<std::ptrdiff_t>(drop));
    }
    std::string out;
    for (const auto& p : parts) {
      if (!out.empty()) out += ", ";
      out += p.sql;
    }
    if (const QueryRow* db = first(kAttrDatabase)) out += " IN " + database_reference(db->name1, db->expression);
    return out;
  }

  // 'path' [type], as after IN.
  static std::string database_reference(const std::optional<std::string>& path,
                                        const std::optional<std::string>& type) {
    std::string out = "'" + path.value_or("") + "'";
    if (type && !type->empty()) out += " [" + *type + "]";
    return out;
  }

  // WHERE, GROUP BY, HAVING and ORDER BY lines, each after a newline.
  std::string tail_clauses(bool crosstab) const {
    std::string out;
    const std::string nl(kNewline);
    if (const QueryRow* w = first(kAttrWhere); w && w->expression) out += nl + "WHERE " + *w->expression;
    std::string group;
    for (const QueryRow* g : all(kAttrGroupBy)) {
      if (!g->expression || (crosstab && g->flag.value_or(0) == kCrosstabPivot)) continue;
      group += (group.empty() ? "" : ", ") + *g->expression;
    }
    if (!group.empty()) out += nl + "GROUP BY " + group;
    if (const QueryRow* h = first(kAttrHaving); h && h->expression) out += nl + "HAVING " + *h->expression;
    out += order_by();
    return out;
  }

  std::string order_by() const {
    std::string order;
    for (const QueryRow* o : all(kAttrOrderBy)) {
      if (!o->expression) continue;
      order += (order.empty() ? "" : ", ") + *o->expression;
      if (o->name1 && !o->name1->empty() && (o->name1->front() == 'D' || o->name1->front() == 'd')) order += " DESC";
    }
    return order.empty() ? "" : std::string(kNewline) + "ORDER BY " + order;
  }

  std::string owner_access() const {
    return (options() & kSelectOwnerAccess) ? std::string(kNewline) + "WITH OWNERACCESS OPTION" : "";
  }

  // SELECT ... [INTO target] FROM ...; `into` is the type row of a make-table query.
  std::optional<std::string> select_statement(const QueryRow* into) const {
    auto cols = column_list(options() & kSelectStar, any_column);
    auto from = from_clause();
    if (!cols || !from) return std::nullopt;
    std::string out = "SELECT " + select_predicates() + *cols;
    if (into) {
      if (!into->name1) return std::nullopt;
      out += " INTO " + quote_name(*into->name1);
      if (into->name2) out += " IN " + database_reference(into->name2, into->expression);
    }
    return out + std::string(kNewline) + "FROM " + *from + tail_clauses(false) + owner_access();
  }

  std::optional<std::string> append_statement(const QueryRow& type_row) const {
    if (!type_row.name1) return std::nullopt;
    std::string out = "INSERT INTO " + quote_name(*type_row.name1);
    const auto cols = all(kAttrColumn);
    bool all_targets = !cols.empty();
    bool values = !cols.empty();
    for (const QueryRow* c : cols) {
      all_targets = all_targets && c->name2.has_value();
      values = values && (c->flag.value_or(0) & kAppendValue);
    }
    if (all_targets) {
      out += " ( ";
      for (std::size_t i = 0; i < cols.size(); ++i) out += (i ? ", " : "") + *cols[i]->name2;
      out += " )";
    }
    if (type_row.name2) out += " IN " + database_reference(type_row.name2, type_row.expression);
    out += kNewline;
    if (values) {
      out += "VALUES (";
      for (std::size_t i = 0; i < cols.size(); ++i) {
        if (!cols[i]->expression) return std::nullopt;
        out += (i ? ", " : "") + *cols[i]->expression;
      }
      return out + ")";
    }
    auto select = select_statement(nullptr);
    if (!select) return std::nullopt;
    return out + *select;
  }

  std::optional<std::string> update_statement() const {
    auto from = from_clause();
    if (!from) return std::nullopt;
    std::string set;
    for (const QueryRow* c : all(kAttrColumn)) {
      if (!c->name2 || !c->expression) return std::nullopt;
      set += (set.empty() ? "" : ", ") + *c->name2 + " = " + *c->expression;
    }
    if (set.empty()) return std::nullopt;
    std::string out = "UPDATE " + select_predicates() + *from + std::string(kNewline) + "SET " + set;
    if (const QueryRow* w = first(kAttrWhere); w && w->expression) out += std::string(kNewline) + "WHERE " + *w->expression;
    return out + owner_access();
  }

  std::optional<std::string> delete_statement() const {
    auto from = from_clause();
    if (!from) return std::nullopt;
    auto cols = column_list(options() & kSelectStar, any_column);
    std::string out = "DELETE " + select_predicates() + cols.value_or("*");
    return out + std::string(kNewline) + "FROM " + *from + tail_clauses(false) + owner_access();
  }

  std::optional<std::string> crosstab_statement() const {
    std::string value;
    std::optional<std::string> pivot;
    for (const QueryRow* c : all(kAttrColumn)) {
      if (!c->expression) return std::nullopt;
      const auto flag = c->flag.value_or(0);
      if (flag == kCrosstabValue && value.empty()) {
        value = *c->expression + (c->name1 ? " AS " + quote_name(*c->name1) : "");
      } else if (flag == kCrosstabPivot && !pivot) {
        pivot = *c->expression;
      }
    }
    auto headings = column_list(false, [](std::int16_t f) { return f != kCrosstabValue && f != kCrosstabPivot; });
    auto from = from_clause();
    if (value.empty() || !pivot || !headings || !from) return std::nullopt;
    const std::string nl(kNewline);
    return "TRANSFORM " + value + nl + "SELECT " + select_predicates() + *headings + nl + "FROM " + *from +
           tail_clauses(true) + nl + "PIVOT " + *pivot;
  }

  std::optional<std::string> union_statement() const {
    std::vector<std::string> parts;
    for (const QueryRow* t : all(kAttrTable)) {
      if (!t->expression) continue;
      if (t->name2 && t->name2->rfind(kUnionPart, 0) != 0) continue;
      parts.push_back(trim(without_nuls(*t->expression)));
    }
    if (parts.size() < 2) return std::nullopt;
    // Flag bit 0x02 marks a plain UNION; without it the parts are UNION ALL.
    const std::string op = (options() & kSelectDistinct) ? "UNION " : "UNION ALL ";
    std::string out = parts[0];
    for (std::size_t i = 1; i < parts.size(); ++i) out += std::string(kNewline) + op + parts[i];
    return out + order_by();
  }

  std::vector<QueryRow> rows_;
};

}  // namespace

std::optional<std::string> rebuild_query_sql(const std::vector<QueryRow>& rows) {
  if (rows.empty()) return std::nullopt;
  return Rebuilder(rows).run();
}

}  // namespace mirutone::jet
