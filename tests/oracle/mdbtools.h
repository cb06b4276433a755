// Runs the mdbtools command-line programs on a file and parses what they print.
// mdbtools is the reference reader the oracle tests hold our Reader against.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace mirutone::oracle {

// True when mdb-export and its siblings are on PATH.
bool mdbtools_available();

// A table as mdb-export prints it: header names and the rows, each cell either
// the printed text or nullopt for NULL. Binary and OLE cells are hex.
struct ExportedTable {
  std::vector<std::string> columns;
  std::vector<std::vector<std::optional<std::string>>> rows;
};

// charset: the iconv name mdbtools decodes Jet 3 text with (MDB_JET3_CHARSET).
// Throws std::runtime_error when mdb-export fails or prints something unparsable.
ExportedTable mdb_export(const std::string& file, const std::string& table,
                         const std::string& charset);

// User table names in catalog order (mdb-tables -1).
std::vector<std::string> mdb_tables(const std::string& file, const std::string& charset);

// Query names (mdb-queries -L -1), in the order mdbtools lists them.
std::vector<std::string> mdb_queries(const std::string& file, const std::string& charset);

// Row count from the table definition (mdb-count).
long mdb_count(const std::string& file, const std::string& table, const std::string& charset);

// One column of a CREATE TABLE that mdb-schema prints with the "access" back end.
struct SchemaColumn {
  std::string name;
  std::string type;  // e.g. "Text", "Long Integer", "Memo/Hyperlink", "Numeric"
  std::vector<int> args;  // the numbers in parentheses: length, or precision and scale
  bool not_null = false;
};

// Columns of one table as mdb-schema describes them.
std::vector<SchemaColumn> mdb_schema(const std::string& file, const std::string& table,
                                     const std::string& charset);

// An index as mdb-schema's postgres back end prints it. Names are lower case;
// `name` is the index name without the "<table>_" prefix and "_idx" suffix
// mdbtools adds (empty for the primary key). Columns carry " DESC" where descending.
struct SchemaIndex {
  std::string name;
  bool primary = false;
  bool unique = false;
  std::vector<std::string> columns;
};

// Primary key and ordinary indexes of one table (mdbtools leaves out the
// indexes that belong to relationships).
std::vector<SchemaIndex> mdb_schema_indexes(const std::string& file, const std::string& table,
                                            const std::string& charset);

// Single-quotes a word for /bin/sh.
std::string shell_quote(const std::string& s);

}  // namespace mirutone::oracle
