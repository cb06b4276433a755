// Decomposition of a stored query's SQL into MSysQueries rows.
#include "db/jet/query/query_def.h"

#include "db/jet/query/query_format.h"
#include "db/jet/query/query_sql_parse.h"

namespace mirutone::jet {
namespace {

class RowSink {
 public:
  QueryRow& add(std::uint8_t attribute) {
    QueryRow row;
    row.attribute = attribute;
    row.order = 1;
    for (const auto& r : rows_)
      if (r.attribute == attribute) ++row.order;
    rows_.push_back(std::move(row));
    return rows_.back();
  }
  std::vector<QueryRow> take() { return std::move(rows_); }

 private:
  std::vector<QueryRow> rows_;
};

}  // namespace

std::vector<QueryRow> decompose_query(const std::string& name, const std::string& sql) {
  const ParsedSelect q = parse_select_query(name, sql);
  RowSink out;
  out.add(kAttrStart).flag = 0;
  out.add(kAttrType).flag = kQuerySelect;
  for (const auto& p : q.parameters) {
    auto& row = out.add(kAttrParameter);
    row.flag = p.type_code;
    row.name1 = p.name;
  }
  {
    auto& row = out.add(kAttrOptions);
    row.flag = q.options;
    if (q.top) row.name1 = *q.top;
  }
  for (const auto& t : q.tables) {
    auto& row = out.add(kAttrTable);
    row.name1 = t.name;
    row.name2 = t.alias;
  }
  for (const auto& c : q.columns) {
    auto& row = out.add(kAttrColumn);
    row.flag = 0;
    row.name1 = c.alias;
    row.expression = c.expression;
  }
  for (const auto& j : q.joins) {
    auto& row = out.add(kAttrJoin);
    row.flag = j.kind;
    row.name1 = j.left;
    row.name2 = j.right;
    row.expression = j.condition;
  }
  if (q.where) out.add(kAttrWhere).expression = *q.where;
  for (const auto& g : q.group_by) {
    auto& row = out.add(kAttrGroupBy);
    row.flag = 0;
    row.expression = g;
  }
  if (q.having) out.add(kAttrHaving).expression = *q.having;
  for (const auto& o : q.order_by) {
    auto& row = out.add(kAttrOrderBy);
    if (o.descending) row.name1 = "D";
    row.expression = o.expression;
  }
  out.add(kAttrEnd);
  return out.take();
}

}  // namespace mirutone::jet
