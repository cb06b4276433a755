// Running a parsed query over the tables (and stored queries) of a database:
// inner joins and cross products, conditions with AND, OR, NOT, comparisons,
// BETWEEN, IN lists, LIKE and IS NULL, arithmetic and &, parameters with
// their declared types, DISTINCTROW, ORDER BY in the database's sort order,
// and the select list with T.* expanded. Anything else is refused as "not supported: ..."
// (error 3251), never as a syntax error.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "db/database_file.h"
#include "db/jet/api/sql.h"
#include "db/recordset_impl.h"

namespace mirutone::db {

struct QueryResult {
  std::vector<ResultColumn> columns;
  std::vector<std::vector<jet::Value>> rows;
};

// `values`: parameter values by name (Jet's name rule); each is converted to
// its declared type. Error 3061 when a parameter, or a name that is neither a
// column nor a declared parameter, has no value; 3078 for an unknown table,
// 3265 for an unknown column, 3079 for a column that more than one table has;
// 3251 naming the construct the query uses that cannot be run here.
QueryResult run_query(DatabaseFile& db, const jet::ParsedSelect& query,
                      const std::vector<std::pair<std::string, jet::Value>>& values);

// Parses `sql` (the text of query `name`) with the one SQL parser and runs it.
QueryResult run_query_text(DatabaseFile& db, const std::string& name, const std::string& sql,
                           const std::vector<std::pair<std::string, jet::Value>>& values);

}  // namespace mirutone::db
