#include "db/database.h"

#include "db/database_file.h"
#include "db/engine_hook.h"
#include "db/errors.h"
#include "db/query_eval.h"
#include "db/recordset_impl.h"
#include "db/select_sql.h"

namespace mirutone::db {

// ---- handle ----

namespace {

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
  if (f.find_table(source)) return Recordset(RecordsetImpl::over_table(file_, SelectStatement{source, {}}, type));
  if (f.find_query(source)) return QueryDefs()(source).OpenRecordset();
  SelectStatement select = parse_select(source);
  if (select.order_by.empty() && !f.find_table(select.table)) {
    if (f.find_query(select.table)) return QueryDefs()(select.table).OpenRecordset();
  }
  return Recordset(RecordsetImpl::over_table(file_, select, type));
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
    if (names_match(p.first, name)) {
      p.second = v;
      return;
    }
  }
  values_.emplace_back(name, v);
}

std::vector<std::pair<std::string, std::string>> QueryDef::Parameters() const {
  std::vector<std::pair<std::string, std::string>> out;
  for (const auto& p : parse_stored_query(SQL).parameters) out.emplace_back(p.name, p.type);
  return out;
}

Recordset QueryDef::OpenRecordset() const {
  if (!db_) throw Error(jet_errors::kObjectClosed, "Object variable not set: the query is not in a database");
  engine_call("OpenRecordset", Name);
  db_->check_open();
  if (SQL.empty()) throw Error(jet_errors::kSyntaxError, "Query '" + Name + "' has no SQL text that can be run");
  QueryResult r = run_query(*db_, parse_stored_query(SQL), values_);
  return Recordset(RecordsetImpl::over_rows(db_, Name, std::move(r.columns), std::move(r.rows)));
}

}  // namespace mirutone::db
