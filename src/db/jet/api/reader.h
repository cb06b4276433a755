// Read-only access to a Jet 3 or Jet 4 database file.
//
// The file is opened with O_RDONLY and never written. Everything read from it
// is checked against the file's size and the structure it claims to be, so a
// damaged file ends in a CorruptError naming the file and what is wrong.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "db/jet/api/error.h"
#include "db/jet/api/value.h"

namespace mirutone::jet {

enum class Format { Jet3, Jet4 };

struct ReadOptions {
  // Code page to decode Jet 3 text with, overriding the header (0 = use the header,
  // or the sort order where the header says 0).
  int codepage_override = 0;
};

struct ColumnInfo {
  std::string name;
  ColumnType type = ColumnType::Text;
  int size = 0;               // declared length in bytes as the table definition stores it
  int column_number = 0;      // number in the table definition (gaps after deletes)
  bool fixed = false;         // stored in the fixed area of a row
  bool nullable = true;       // false when the Required property is set
  bool autonumber = false;    // auto-increment Long (or GUID)
  bool allow_zero_length = false;
  int precision = 0, scale = 0;  // Decimal only
};

struct IndexInfo {
  std::string name;
  std::vector<std::string> columns;
  std::vector<bool> ascending;  // one per column
  bool primary = false;
  bool unique = false;
  bool ignore_nulls = false;
  bool required = false;
  bool foreign_key = false;  // a relationship's index, not one a user made
};

struct TableInfo {
  std::string name;
  bool system = false;
  std::uint32_t tdef_page = 0;
  std::uint32_t stored_row_count = 0;  // as the table definition says (may be stale)
  std::vector<ColumnInfo> columns;     // in column order
  std::vector<IndexInfo> indexes;
};

struct QueryInfo {
  std::string name;
  std::optional<std::string> sql;  // exact text where stored, else rebuilt; nullopt if neither
};

class RowCursor;

class Reader {
 public:
  // Throws Error (3024 file not found, 3049 not a database / damaged) with the path.
  static std::unique_ptr<Reader> open(const std::string& path, const ReadOptions& opts = {});
  virtual ~Reader() = default;

  virtual const std::string& path() const = 0;
  virtual Format format() const = 0;
  virtual int codepage() const = 0;       // the one text is decoded with
  virtual int header_codepage() const = 0;  // as stored in the header
  virtual int sort_order() const = 0;     // LCID, e.g. 0x0409, 0x0411
  virtual bool encoded() const = 0;       // RC4-encoded pages (Jet 3 "encrypted")

  // Names in catalog order. System tables (MSys*) only when include_system.
  virtual std::vector<std::string> table_names(bool include_system = false) const = 0;
  // Exact name match. Throws Error 3078 when there is no such table.
  virtual const TableInfo& table(const std::string& name) const = 0;
  // Rows of a table, in storage order (usage map page order, then row slot).
  virtual std::unique_ptr<RowCursor> rows(const std::string& name) const = 0;

  virtual std::vector<QueryInfo> queries() const = 0;

  // The entries the table's primary index holds, counted by walking its
  // tree; nullopt for a table without one. A sound table has one per row;
  // after damage the index can point at rows that can no longer be read.
  // Throws CorruptError when the tree itself is damaged.
  virtual std::optional<std::uint64_t> primary_index_entries(const std::string& name) const = 0;
};

class RowCursor {
 public:
  virtual ~RowCursor() = default;
  // Fills `row` with one value per column of TableInfo::columns; false at the end.
  virtual bool next(std::vector<Value>& row) = 0;
};

}  // namespace mirutone::jet
