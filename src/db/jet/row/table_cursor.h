// Streams the rows of one table: the pages its usage map lists, in page
// order, and on each page the row slots in order. Deleted rows are skipped;
// overflow pointers are followed to the row they point at.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "db/jet/format/format.h"
#include "db/jet/row/long_value.h"
#include "db/jet/api/reader.h"
#include "db/jet/row/row.h"

namespace mirutone::jet {

class PageSource;
class CodePage;
struct TableDef;
struct ColumnDef;

class TableCursor : public RowCursor {
 public:
  // `src` and `text` must outlive the cursor unless `keep_alive` owns them;
  // `td` is shared so a cursor can outlive the Reader's cache entry.
  TableCursor(const PageSource& src, const fmt::Layout& lay, std::shared_ptr<const TableDef> td,
              const CodePage& text, std::string table,
              std::shared_ptr<const void> keep_alive = nullptr);

  bool next(std::vector<Value>& row) override;

  // Lower level: steps to the next live row and splits it into fields (one
  // per TableDef column) without converting them. The fields point into the
  // cursor's page buffer and stay valid until the next step.
  bool next_fields();
  const std::vector<FieldRef>& fields() const { return fields_; }
  // Converts field `i` of the current row into `v`.
  void convert_field(std::size_t i, Value& v);

  // Page and slot of the row last returned by next().
  std::uint32_t page() const { return cur_page_; }
  int slot() const { return cur_slot_; }

 private:
  bool load_next_page();
  void convert(const ColumnDef& c, const FieldRef& f, Value& v, const RowContext& ctx);
  // Follows an overflow pointer; returns the row bytes (in overflow_).
  std::pair<const std::uint8_t*, std::size_t> follow(const std::uint8_t* ptr, std::size_t len,
                                                     const RowContext& ctx);

  std::shared_ptr<const void> keep_alive_;
  const PageSource& src_;
  const fmt::Layout& lay_;
  std::shared_ptr<const TableDef> td_;
  const CodePage& text_;
  std::string table_;
  std::string what_;  // "table 'T'", for errors
  std::uint32_t tdef_page_;

  std::vector<std::uint32_t> pages_;
  std::size_t next_page_ = 0;
  std::vector<std::uint8_t> buf_;
  std::vector<std::uint8_t> overflow_;
  bool have_page_ = false;
  int slot_count_ = 0;
  int next_slot_ = 0;
  std::uint32_t cur_page_ = 0;
  int cur_slot_ = -1;

  std::vector<FieldRef> fields_;
  RowContext ctx_;
  LongValueReader lv_;
  std::vector<std::uint8_t> scratch_;
};

}  // namespace mirutone::jet
