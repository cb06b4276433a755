// Putting rows in the order of an ORDER BY list, as Jet orders them: each row
// gets a key built the way an index key is (so text follows the database's
// sort order), and rows are sorted by key. Only the keys and row numbers are
// held for the whole table; rows are kept a window at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "db/jet/api/reader.h"
#include "db/jet/api/sort_keys.h"
#include "db/jet/api/value.h"

namespace mirutone::db {

struct SortColumn {
  int position = 0;  // in the row
  jet::ColumnType type = jet::ColumnType::Long;
  bool descending = false;
};

// Builds the sort keys of rows. Text follows the sort order of the file where
// the engine has its keys (General and Japanese in Jet 3 files); elsewhere, or
// for a character those keys cannot place, text is compared by its letters
// without regard to case.
class SortKeys {
 public:
  SortKeys(std::vector<SortColumn> columns, jet::Format format, int sort_order);
  ~SortKeys();
  jet::Bytes key(const std::vector<jet::Value>& row) const;
  // Switches to the plain text comparison (used after key() threw).
  void use_plain_text();
  bool plain_text() const { return plain_; }

 private:
  std::vector<SortColumn> columns_;
  std::shared_ptr<const jet::TextKeyEncoder> text_;
  bool plain_ = false;
};

// A source of rows that can be read again from its start.
using RowScanner = std::function<bool(std::vector<jet::Value>& row)>;
using RowScannerFactory = std::function<RowScanner()>;

// Rows of `scan` in key order (ties keep the storage order). Reads the source
// once for the keys and, for a table larger than `window` rows, once more per
// window of rows handed out.
class SortedRows {
 public:
  SortedRows(RowScannerFactory scan, SortKeys keys, std::size_t window = 20000);
  bool next(std::vector<jet::Value>& row);

 private:
  void prepare();
  void fill_window();

  RowScannerFactory scan_;
  SortKeys keys_;
  std::size_t window_;
  bool prepared_ = false;
  std::vector<std::uint32_t> order_;   // row numbers in key order
  std::vector<std::uint32_t> rank_;    // row number -> place in order_ (windowed mode)
  std::vector<std::vector<jet::Value>> rows_;  // the rows of the current window, by place
  std::size_t window_start_ = 0;
  std::size_t next_ = 0;
  bool all_kept_ = false;
};

}  // namespace mirutone::db
