// QueryDef: a stored query of a database, with its parameters; opening it
// runs the query (see query_eval.h for the SQL it runs).
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "db/jet/api/value.h"
#include "db/recordset.h"

namespace mirutone::db {

class DatabaseFile;

class QueryDef {
 public:
  QueryDef() = default;
  QueryDef(std::shared_ptr<DatabaseFile> db, std::string name, std::string sql)
      : Name(std::move(name)), SQL(std::move(sql)), db_(std::move(db)) {}

  std::string Name;
  std::string SQL;

  // Parameters(name).Value = v; the value is converted to the declared type when the query runs.
  void SetParameter(const std::string& name, const jet::Value& v);
  // The declared parameters in order, as (name, type word).
  std::vector<std::pair<std::string, std::string>> Parameters() const;
  // The query's rows (a snapshot). Error 3061 when a declared parameter has no value.
  Recordset OpenRecordset() const;

 private:
  std::shared_ptr<DatabaseFile> db_;
  std::vector<std::pair<std::string, jet::Value>> values_;
};

}  // namespace mirutone::db
