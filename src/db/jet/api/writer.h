// Writing Jet 3 (Access 97) databases.
//
//   auto db = Writer::create("out.mdb", Locale::japanese());
//   db->create_table({"Reports", {{"Id", ColumnType::Long, 0, true},
//                                 {"Title", ColumnType::Text, 100}},
//                     {{"PrimaryKey", {"Id"}, true}}});
//   db->append_row("Reports", {Value{}, Value{std::string("日報")}});
//   db->close();
//
// Rows are written as they come; index trees and the counters of each table
// definition are brought up to date by close() (the destructor closes too,
// but can only swallow a failure, so call close()). Every refusal is an Error
// with Jet's number where one fits, raised before the file is touched. A
// failed read or write of the file (a full disk, say) is an Error naming it.
//
// Index entries wait for close() in a bounded amount of memory per table
// (set_sort_memory); beyond it they go, sorted, to an unnamed temporary file
// in the database's folder, which needs about as much free space as the keys.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "db/jet/api/error.h"
#include "db/jet/tdef/tdef.h"
#include "db/jet/api/value.h"

namespace mirutone::jet {

class CodePage;
class PageStore;
class TableWriter;
struct ColumnRules;

// Sort order (LCID) and code page of a new database.
struct Locale {
  std::uint16_t sort_order = 0x0411;
  std::uint16_t codepage = 932;
  static Locale japanese() { return {0x0411, 932}; }
  static Locale general() { return {0x0409, 1252}; }
};

struct ColumnDesign {
  std::string name;
  ColumnType type = ColumnType::Text;
  int size = 0;                    // Text/Binary: bytes (1..255; 0 = 50); ignored otherwise
  bool autonumber = false;         // Long only
  bool allow_zero_length = false;  // Text/Memo
  bool required = false;
};

struct IndexDesign {
  std::string name;
  std::vector<std::string> columns;
  bool primary = false;            // implies unique and no Nulls
  bool unique = false;
  bool ignore_nulls = false;
  std::vector<bool> descending;    // per column; empty = all ascending
};

struct TableDesign {
  std::string name;
  std::vector<ColumnDesign> columns;
  std::vector<IndexDesign> indexes;
};

class Writer {
 public:
  // A new database at `path`; Error 3204 when a file is already there.
  static std::unique_ptr<Writer> create(const std::string& path, Locale locale = Locale::japanese());
  // An existing Jet 3 database (made by Access or by us) to add to.
  static std::unique_ptr<Writer> open(const std::string& path);

  ~Writer();
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  const std::string& path() const { return path_; }
  Locale locale() const { return locale_; }

  // Error 3010 when a table or query of that name exists; other Errors for a
  // definition Jet 3 cannot hold.
  void create_table(const TableDesign& design);

  // Stores a query given as SQL: its MSysQueries rows and catalog row, with
  // the text itself kept in the query's kQueryTextProperty property.
  void create_query(const std::string& name, const std::string& sql);

  // `values`: one per column, in column order; Null (std::monostate) in an
  // autonumber column takes the next number. Error 3078 for an unknown table.
  void append_row(const std::string& table, std::vector<Value> values);
  // The same on `values` in place, without copying them: a refused row
  // leaves them as they were; a stored one may have its autonumber filled in.
  void append_row_in_place(const std::string& table, std::vector<Value>& values);

  std::vector<std::string> table_names() const;  // user tables, in creation order
  // The stored definition (columns in column order) of a table.
  const TableDef& definition(const std::string& table);
  std::uint32_t row_count(const std::string& table);
  std::uint32_t last_autonumber(const std::string& table);

  // Memory each table may use for its index entries before it spills them
  // (default TableWriter::kDefaultSortMemory); applies to every table.
  void set_sort_memory(std::size_t bytes);

  // Writes everything out; the writer cannot be used afterwards, even when
  // close() fails (the file is then incomplete: the Error says why).
  void close();

 private:
  Writer(std::string path, std::unique_ptr<PageStore> store, Locale locale);
  struct TableEntry;
  TableWriter& table(const std::string& name);
  TableWriter& system_table(std::uint32_t tdef_page);
  void add_object(std::int32_t id, const std::string& name, std::int16_t type, std::int32_t flags,
                  Bytes lvprop);
  void check_catalog_row(std::int32_t id, const std::string& name, std::int16_t type);
  void check_new_name(const std::string& name, const char* what) const;
  void check_open() const;

  std::string path_;
  std::unique_ptr<PageStore> store_;
  Locale locale_;
  std::unique_ptr<CodePage> text_;
  std::map<std::uint32_t, std::unique_ptr<TableWriter>> system_;  // by TDEF page
  std::vector<std::unique_ptr<TableEntry>> tables_;
  std::vector<std::string> query_names_;
  std::int32_t next_synthetic_id_;
  std::size_t sort_memory_;
  bool closed_ = false;
};

}  // namespace mirutone::jet
