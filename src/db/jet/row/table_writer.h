// Appending rows to one table of a Jet 3 file: row encoding through
// RowBuilder, data pages found or added through the table's usage maps,
// long values on the columns' LVAL pages, and the entries of every index
// collected (in bounded memory, spilling sorted runs to a temporary file when
// a table grows large; see index_entry_sorter.h) until finish() writes the
// trees and the counters of the table definition.
//
// All checks (types, sizes, Null in required columns and keys, duplicate
// keys) happen before anything is written, so a refused row leaves the file
// as it was.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "db/jet/index/index_key.h"
#include "db/jet/index/index_page.h"
#include "db/jet/tdef/tdef.h"
#include "db/jet/api/value.h"

namespace mirutone::jet {

class CodePage;
class PageStore;
class RowBuilder;
class TableLvalSink;

// Column properties that limit the values a column takes.
struct ColumnRules {
  bool required = false;
  bool allow_zero_length = true;
};

class TableWriter {
 public:
  // Reads the definition at `tdef_page`. `rules` holds one entry per column
  // of the definition (column-number order) or is empty (no limits).
  TableWriter(PageStore& store, const CodePage& text, std::uint32_t tdef_page, std::string name,
              std::vector<ColumnRules> rules = {});
  ~TableWriter();

  const std::string& name() const { return name_; }
  const TableDef& def() const { return def_; }
  std::uint32_t tdef_page() const { return tdef_page_; }
  std::uint32_t row_count() const { return row_count_; }
  std::uint32_t last_autonumber() const { return autonumber_; }

  // Limits per column (column-number order); an empty list lifts them.
  void set_rules(std::vector<ColumnRules> rules);

  // Memory for the index entries of this table, shared by its indexes,
  // before they are spilled to a temporary file beside the database.
  static constexpr std::size_t kDefaultSortMemory = 16u << 20;
  void set_sort_memory(std::size_t bytes);

  // Appends one row; `values` holds one value per column in column-number
  // order (std::monostate = Null; an autonumber column left Null is numbered).
  // Returns the row's place. Throws Error and writes nothing when the row is
  // refused (3022 duplicate key, 3058 Null key, 3314 required column Null,
  // 3315 zero-length string, 3163 text too long, conversions of RowBuilder).
  fmt::RowPointer append(std::vector<Value> values);
  // The same on `values` in place, without a copy: on success an autonumber
  // left Null holds its number; a refused row leaves them as they were.
  fmt::RowPointer append_in_place(std::vector<Value>& values);
  // Runs every check append() would, and stores nothing.
  void check(std::vector<Value> values);

  // Writes the changed index trees and the row count, autonumber and index
  // statistics into the definition. Idempotent; rows appended afterwards
  // start from the trees just written.
  void finish();

 private:
  struct Index;
  struct Checked;
  // Checks `values` and makes their keys; numbers an autonumber left Null
  // in place, and puts the Null back when the row is refused.
  Checked prepare(std::vector<Value>& values);
  // The key of `values` for `ix`.
  Bytes encode_key(Index& ix, const std::vector<Value>& values);
  void load_indexes();
  std::uint32_t page_for_row(std::size_t size);

  PageStore& store_;
  const CodePage& text_;
  std::uint32_t tdef_page_;
  std::string name_;
  TableDef def_;
  std::vector<ColumnRules> rules_;
  std::unique_ptr<RowBuilder> rows_;
  std::vector<Index> indexes_;
  bool indexes_loaded_ = false;
  std::map<std::uint16_t, std::unique_ptr<TableLvalSink>> lval_;
  std::uint32_t row_count_ = 0;
  std::uint32_t autonumber_ = 0;
  std::uint32_t current_page_ = 0;
  std::size_t sort_memory_ = kDefaultSortMemory;
  bool changed_ = false;
};

}  // namespace mirutone::jet
