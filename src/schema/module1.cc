#include "schema/module1.h"

#include "db/engine.h"
#include "db/jet/api/error.h"
#include "schema/layouts.h"
#include "schema/query_texts.h"

namespace mirutone::schema {
namespace {

constexpr const char* kBuildFailed = "ＤＢ作成エラー";

// Defines one table and appends it, which creates it in the file: fields
// created in order (each with its properties set at once), appended in order;
// the primary index, named after the table, on its key fields.
void build_table(const db::Database& db, const TableLayout& layout) {
  db::TableDef tdf = db.CreateTableDef(layout.name);
  std::vector<db::Field> fields;
  for (const auto& f : layout.fields) {
    db::Field fld = tdf.CreateField(f.name, f.type, f.type == db::dbText ? f.size : 0);
    if (f.auto_increment) fld.Attributes = db::dbAutoIncrField;
    if (f.allow_zero_length) fld.AllowZeroLength = true;
    fields.push_back(fld);
  }
  for (const auto& fld : fields) tdf.Fields.Append(fld);
  if (!layout.primary_key.empty()) {
    db::Index idx = tdf.CreateIndex(layout.name);
    std::vector<db::Field> key;
    for (const auto& name : layout.primary_key) key.push_back(idx.CreateField(name));
    idx.Primary = true;
    for (const auto& k : key) idx.Fields.Append(k);
    tdf.Indexes.Append(idx);
  }
  db.TableDefs().Append(tdf);
}

}  // namespace

void Module1::build_failed(const char* file_name) {
  std::string why;
  try {
    throw;
  } catch (const jet::Error& e) {
    why = e.what();
    if (e.jet_code() != 0) why += " (Jet error " + std::to_string(e.jet_code()) + ")";
  } catch (const std::exception& e) {
    why = e.what();
  } catch (...) {
    why = "unknown failure";
  }
  build_failure_ = std::string("creating ") + file_name + ": " + why;
  failed_ = true;
  ui_.MsgBox(kBuildFailed, vbOKOnly, kTitle);
}

void Module1::CreateKanriDb() {
  try {
    state_.dbKanri = db::DBEngine::Workspaces(0).CreateDatabase(output_path(state_, kKanriFileName), db::dbLangJapanese);
    for (const auto& t : kanri_tables()) build_table(state_.dbKanri, t);
    std::string strSql;
    for (const auto& q : kanri_queries()) {
      strSql = q.sql;
      state_.dbKanri.CreateQueryDef(q.name, strSql);
    }
  } catch (...) {
    // The trap: whatever failed, the build ends here and the run goes on.
    build_failed(kKanriFileName);
  }
}

void Module1::SeedKanriDb() {
  db::Recordset rs;
  for (const char* table : {"大項目情報", "中項目情報", "小項目情報", "M_UNIT"}) {
    rs = state_.dbKanri.OpenRecordset(table, db::dbOpenDynaset);
    rs.AddNew();
    rs.Fields("名称").SetValue("");
    rs.Update();
    rs.Close();
  }
}

void Module1::CreateDataDb() {
  try {
    state_.dbKanri = db::DBEngine::Workspaces(0).CreateDatabase(output_path(state_, kDataFileName), db::dbLangJapanese);
    for (const auto& t : data_tables()) build_table(state_.dbKanri, t);
  } catch (...) {
    build_failed(kDataFileName);
  }
}

}  // namespace mirutone::schema
