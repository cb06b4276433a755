#include "db/database.h"

#include <cctype>
#include <optional>
#include <string_view>

#include "db/database_file.h"
#include "db/engine_hook.h"
#include "db/errors.h"
#include "db/jet/api/names.h"
#include "db/jet/api/sql.h"
#include "db/query_eval.h"
#include "db/recordset_impl.h"

namespace mirutone::db {

// ---- handle ----

namespace {

// The table view a parsed SELECT is, when it is "SELECT * FROM table
// [ORDER BY field [DESC], ...]" over one table: such a recordset reads the
// table itself and takes new rows.
std::optional<TableView> as_table_view(const jet::ParsedSelect& q) {
  if (q.options != jet::kSelectStar || !q.parameters.empty() || q.tables.size() != 1 || !q.columns.empty() ||
      q.where || !q.group_by.empty() || q.having) {
    return std::nullopt;
  }
  TableView view{q.tables[0].name, {}};
  for (const auto& o : q.order_by) {
    const auto& e = o.expr;
    if (e.kind != jet::SqlExpr::Kind::name || e.bang || e.parts.size() > 2) return std::nullopt;
    if (e.parts.size() == 2 && !jet::names_equal(e.parts[0], q.tables[0].key())) return std::nullopt;
    view.order_by.push_back({e.parts.back(), o.descending});
  }
  return view;
}

// The name `source` gives when it is a name rather than a statement:
// "M_TAG", "[日報 データ]", "M_TAG;".
std::optional<std::string> bare_name(std::string_view source) {
  auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!source.empty() && space(source.front())) source.remove_prefix(1);
  while (!source.empty() && (space(source.back()) || source.back() == ';')) source.remove_suffix(1);
  if (source.empty()) return std::nullopt;
  if (source.front() == '[' && source.back() == ']' && source.find(']') == source.size() - 1)
    return std::string(source.substr(1, source.size() - 2));
  std::size_t word = 0;
  while (word < source.size() && std::isalpha(static_cast<unsigned char>(source[word]))) ++word;
  for (const char* kw : {"SELECT", "PARAMETERS", "TRANSFORM", "INSERT", "UPDATE", "DELETE"})
    if (jet::names_equal(source.substr(0, word), kw)) return std::nullopt;
  if (source.front() == '(') return std::nullopt;
  return std::string(source);
}

// Takes `incoming` into `slot` after releasing what the slot held. The slot
// holds `incoming` even when closing the old database fails, and the failure
// is thrown on.
void reassign(std::shared_ptr<DatabaseFile>& slot, std::shared_ptr<DatabaseFile> incoming) {
  if (slot == incoming) return;
  std::shared_ptr<DatabaseFile> held = std::move(slot);
  slot = std::move(incoming);
  if (held && held.use_count() == 1) held->close();
}

}  // namespace

Database& Database::operator=(const Database& other) {
  reassign(file_, other.file_);
  return *this;
}

Database& Database::operator=(Database&& other) {
  if (this != &other) reassign(file_, std::move(other.file_));
  return *this;
}

DatabaseFile& Database::file() const {
  if (!file_) throw Error(jet_errors::kObjectClosed, "Object variable not set: the database handle holds nothing");
  file_->check_open();
  return *file_;
}

const std::string& Database::Name() const { return file().path(); }

TableDef Database::CreateTableDef(const std::string& name) const {
  engine_call("CreateTableDef", name);
  file();
  return TableDef(name);
}

TableDefsCollection Database::TableDefs() const {
  file();
  return TableDefsCollection(file_);
}

QueryDef Database::CreateQueryDef(const std::string& name, const std::string& sql) const {
  engine_call("CreateQueryDef", name);
  file().create_query(name, sql);
  return QueryDef(file_, name, sql);
}

QueryDefsCollection Database::QueryDefs() const {
  file();
  return QueryDefsCollection(file_);
}

Recordset Database::OpenRecordset(const std::string& source, int type) const {
  engine_call("OpenRecordset", source);
  DatabaseFile& f = file();
  // A name is taken as it stands first, so that names with blanks need no brackets.
  if (f.find_table(source)) return Recordset(RecordsetImpl::over_table(file_, TableView{source, {}}, type));
  if (f.find_query(source)) return QueryDefs()(source).OpenRecordset();
  if (auto name = bare_name(source)) {
    if (f.find_query(*name)) return QueryDefs()(*name).OpenRecordset();
    return Recordset(RecordsetImpl::over_table(file_, TableView{*name, {}}, type));
  }
  const jet::ParsedSelect select = jet::parse_select_query("(SQL text)", source);
  if (auto view = as_table_view(select)) {
    if (view->order_by.empty() && !f.find_table(view->table) && f.find_query(view->table))
      return QueryDefs()(view->table).OpenRecordset();
    return Recordset(RecordsetImpl::over_table(file_, *view, type));
  }
  if (type != dbOpenDynaset && type != dbOpenSnapshot && type != 1) {
    throw Error(jet_errors::kInvalidArgument, "Invalid recordset type " + std::to_string(type));
  }
  QueryResult r = run_query(f, select, {});
  return Recordset(RecordsetImpl::over_rows(file_, source, std::move(r.columns), std::move(r.rows)));
}

StoredCounts Database::TableCounts(const std::string& table, bool walk_primary_index) const {
  return file().stored_counts(table, walk_primary_index);
}

void Database::Close() {
  engine_call("Close", file_ ? file_->path() : std::string());
  file().close();
}

// ---- collections ----

void TableDefsCollection::Append(const TableDef& def) {
  engine_call("TableDefs.Append", def.Name);
  db_->append_table(def);
}

int TableDefsCollection::Count() const {
  db_->check_open();
  return static_cast<int>(db_->tables().size());
}

const TableDef& TableDefsCollection::operator[](int i) const {
  db_->check_open();
  if (i < 0 || i >= Count()) throw Error(jet_errors::kUnknownField, "Item not found in this collection: table number " + std::to_string(i));
  return db_->tables()[static_cast<std::size_t>(i)];
}

const TableDef& TableDefsCollection::operator()(const std::string& name) const { return db_->table(name); }

int QueryDefsCollection::Count() const {
  db_->check_open();
  return static_cast<int>(db_->queries().size());
}

QueryDef QueryDefsCollection::operator[](int i) const {
  db_->check_open();
  if (i < 0 || i >= Count()) throw Error(jet_errors::kUnknownQuery, "Item not found in this collection: query number " + std::to_string(i));
  const auto& q = db_->queries()[static_cast<std::size_t>(i)];
  return QueryDef(db_, q.name, q.sql.value_or(""));
}

QueryDef QueryDefsCollection::operator()(const std::string& name) const {
  db_->check_open();
  const StoredQueryText* q = db_->find_query(name);
  if (!q) throw Error(jet_errors::kUnknownQuery, "Item not found in this collection: query '" + name + "' in " + db_->path());
  return QueryDef(db_, q->name, q->sql.value_or(""));
}

// ---- QueryDef ----

void QueryDef::SetParameter(const std::string& name, const jet::Value& v) {
  for (auto& p : values_) {
    if (jet::names_equal(p.first, name)) {
      p.second = v;
      return;
    }
  }
  values_.emplace_back(name, v);
}

std::vector<std::pair<std::string, std::string>> QueryDef::Parameters() const {
  std::vector<std::pair<std::string, std::string>> out;
  for (const auto& p : jet::parse_select_query(Name, SQL).parameters) {
    std::string word = p.type_word;
    for (char& c : word) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c);
    out.emplace_back(p.name, word);
  }
  return out;
}

Recordset QueryDef::OpenRecordset() const {
  if (!db_) throw Error(jet_errors::kObjectClosed, "Object variable not set: the query is not in a database");
  engine_call("OpenRecordset", Name);
  db_->check_open();
  if (SQL.empty()) throw Error(jet_errors::kSyntaxError, "Query '" + Name + "' has no SQL text that can be run");
  QueryResult r = run_query_text(*db_, Name, SQL, values_);
  return Recordset(RecordsetImpl::over_rows(db_, Name, std::move(r.columns), std::move(r.rows)));
}

}  // namespace mirutone::db
