// Database: one open .mdb file in the object model. A handle shares the open
// file with its copies; Close() or releasing the last handle (its end, or
// assigning it something else) writes everything out and closes the file.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "db/dao_constants.h"
#include "db/query_def.h"
#include "db/recordset.h"
#include "db/table_def.h"

namespace mirutone::db {

class DatabaseFile;

// The tables of a database; Append creates a table in the file.
class TableDefsCollection {
 public:
  // Error 3010 when a table or query of the name exists, 3264 without fields,
  // 3265 for an index field that is not a field of the table.
  void Append(const TableDef& def);
  int Count() const;
  const TableDef& operator[](int i) const;
  // Error 3078 naming the table when there is none.
  const TableDef& operator()(const std::string& name) const;

 private:
  friend class Database;
  explicit TableDefsCollection(std::shared_ptr<DatabaseFile> db) : db_(std::move(db)) {}
  std::shared_ptr<DatabaseFile> db_;
};

class QueryDefsCollection {
 public:
  int Count() const;
  QueryDef operator[](int i) const;
  // Error 3265 naming the query when there is none.
  QueryDef operator()(const std::string& name) const;

 private:
  friend class Database;
  explicit QueryDefsCollection(std::shared_ptr<DatabaseFile> db) : db_(std::move(db)) {}
  std::shared_ptr<DatabaseFile> db_;
};

class Database {
 public:
  Database() = default;  // holds nothing
  explicit Database(std::shared_ptr<DatabaseFile> file) : file_(std::move(file)) {}
  Database(const Database&) = default;
  Database(Database&&) noexcept = default;
  // Releases what the handle held (closing the file if this was its last
  // handle; a failure to write it out is thrown from here), then takes `other`.
  Database& operator=(const Database& other);
  Database& operator=(Database&& other);
  ~Database() = default;

  bool IsNothing() const { return file_ == nullptr; }
  // The file's path.
  const std::string& Name() const;

  TableDef CreateTableDef(const std::string& name) const;
  TableDefsCollection TableDefs() const;
  // Stores the query in the file at once.
  QueryDef CreateQueryDef(const std::string& name, const std::string& sql) const;
  QueryDefsCollection QueryDefs() const;
  // `source`: a table name, "SELECT * FROM t [ORDER BY ...]", or a stored
  // query's name; type dbOpenDynaset (rows can be added) or dbOpenSnapshot.
  Recordset OpenRecordset(const std::string& source, int type = dbOpenDynaset) const;
  // Writes everything out and closes the file for every handle.
  void Close();

  // Not DAO: the row count a table's definition holds and, with
  // `walk_primary_index` (which reads the whole tree), the entries of its
  // primary index, to hold against the rows a recordset read.
  StoredCounts TableCounts(const std::string& table, bool walk_primary_index = false) const;

 private:
  DatabaseFile& file() const;
  std::shared_ptr<DatabaseFile> file_;
};

}  // namespace mirutone::db
