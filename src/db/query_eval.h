// Running a parsed stored query over the tables of a database: inner joins,
// ANDed comparisons, ORDER BY in the database's sort order, and the select
// list with T.* expanded.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "db/database_file.h"
#include "db/query_parse.h"
#include "db/recordset_impl.h"

namespace mirutone::db {

struct QueryResult {
  std::vector<ResultColumn> columns;
  std::vector<std::vector<jet::Value>> rows;
};

// The engine column type of a PARAMETERS type word (SHORT -> Integer, ...);
// Error 3075 for a word it does not know.
jet::ColumnType parameter_type(const std::string& word);

// `values`: parameter values by name (Jet's matching); each is converted to
// its declared type. Error 3061 when a parameter, or a name that is neither a
// column nor a declared parameter, has no value; 3078 for an unknown table,
// 3265 for an unknown column, 3079 for a column that more than one table has.
QueryResult run_query(DatabaseFile& db, const ParsedQuery& query,
                      const std::vector<std::pair<std::string, jet::Value>>& values);

}  // namespace mirutone::db
