// In-memory Jet 3 pages for the row, data-page and long-value tests: a page
// source the reader's decoders can read, a table description laid out the
// way Jet lays out a new table, and a way to store rows and read them back
// through the reader's table cursor.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "db/jet/text/codepage.h"
#include "db/jet/file/data_page_builder.h"
#include "db/jet/api/error.h"
#include "db/jet/format/format.h"
#include "db/jet/format/jet3_format.h"
#include "db/jet/row/long_value_builder.h"
#include "db/jet/file/page_file.h"
#include "db/jet/row/row_builder.h"
#include "db/jet/row/table_cursor.h"
#include "db/jet/tdef/tdef.h"

namespace mirutone::jet::rowtest {

class MemoryPages : public PageSource {
 public:
  MemoryPages() { add(); }  // page 0 stands for the header
  const std::string& path() const override { return path_; }
  int page_size() const override { return jet3::kPageSize; }
  std::uint32_t page_count() const override { return static_cast<std::uint32_t>(pages_.size()); }
  void read_page(std::uint32_t n, std::uint8_t* buf) const override {
    if (n >= pages_.size())
      throw CorruptError(path_, "page " + std::to_string(n) + " is past the end");
    std::copy(pages_[n].begin(), pages_[n].end(), buf);
  }
  std::uint32_t add() {
    pages_.emplace_back(jet3::kPageSize, 0);
    return page_count() - 1;
  }
  std::uint8_t* buffer(std::uint32_t n) { return pages_.at(n).data(); }

  // An LVAL page pool drawing its pages from here.
  LvalPagePool lval_pool() {
    return LvalPagePool({[this] { return add(); }, [this](std::uint32_t n) { return buffer(n); }});
  }

 private:
  std::string path_ = "memory";
  std::vector<std::vector<std::uint8_t>> pages_;
};

struct Col {
  ColumnType type;
  std::string name;
  int length = 0;  // Text/Binary: declared bytes; others: ignored
};

// Columns numbered in order, fixed ones packed in column order, variable ones
// indexed in column order, as a new Jet 3 table has them.
inline TableDef make_table(const std::vector<Col>& cols) {
  TableDef td;
  int fixed_at = 0;
  int var_index = 0;
  for (const Col& c : cols) {
    ColumnDef d;
    d.name = c.name;
    d.type = c.type;
    d.raw_type = static_cast<std::uint8_t>(c.type);
    d.number = static_cast<std::uint16_t>(td.columns.size());
    d.flags = jet3::kColAlways;
    int size = 0;
    switch (c.type) {
      case ColumnType::Boolean:
        size = 1;
        break;
      case ColumnType::Byte:
        size = 1;
        break;
      case ColumnType::Integer:
        size = 2;
        break;
      case ColumnType::Long:
      case ColumnType::Single:
        size = 4;
        break;
      case ColumnType::Currency:
      case ColumnType::Double:
      case ColumnType::DateTime:
        size = 8;
        break;
      case ColumnType::GUID:
        size = 16;
        break;
      default:
        size = 0;
    }
    if (size > 0) {
      d.flags |= fmt::kColFixed;
      d.length = static_cast<std::uint16_t>(size);
      if (c.type != ColumnType::Boolean) {
        d.fixed_offset = static_cast<std::uint16_t>(fixed_at);
        fixed_at += size;
      }
      d.var_index = static_cast<std::uint16_t>(var_index);
    } else {
      d.length = static_cast<std::uint16_t>(c.length);
      d.var_index = static_cast<std::uint16_t>(var_index++);
      ++td.var_columns;
    }
    d.storage_index = static_cast<int>(td.columns.size());
    td.columns.push_back(d);
  }
  td.num_columns = td.max_columns = static_cast<std::uint16_t>(td.columns.size());
  return td;
}

// Stores rows on data pages of table "T" (TDEF page 2, usage map on page 1)
// and reads them back with the reader's cursor.
class RowStore {
 public:
  explicit RowStore(TableDef td, int codepage = 1252)
      : cp_(std::make_unique<CodePage>(codepage)),
        td_(std::make_shared<TableDef>(std::move(td))),
        lval_(pages_.lval_pool()) {
    map_page_ = pages_.add();
    tdef_page_ = pages_.add();
    td_->pages = {tdef_page_};
    td_->owned_map = fmt::RowPointer{map_page_, 0};
    builder_ = std::make_unique<RowBuilder>(*td_, *cp_, "T");
  }

  const RowBuilder& builder() const { return *builder_; }
  MemoryPages& pages() { return pages_; }
  const LvalPagePool& lval() const { return lval_; }

  // Encodes and stores one row; returns its bytes.
  std::vector<std::uint8_t> add(const std::vector<Value>& values) {
    auto bytes =
        builder_->build(values, [this](const ColumnDef&) -> LvalPageSink& { return lval_; });
    if (data_pages_.empty() ||
        !DataPageBuilder(pages_.buffer(data_pages_.back())).has_room(bytes.size())) {
      data_pages_.push_back(pages_.add());
      start_data_page(pages_.buffer(data_pages_.back()), tdef_page_);
    }
    if (!DataPageBuilder(pages_.buffer(data_pages_.back())).add_row(bytes))
      throw Error(0, "", "row does not fit on an empty page");
    return bytes;
  }

  std::vector<std::vector<Value>> read_back() {
    std::uint8_t* m = pages_.buffer(map_page_);
    start_data_page(m, 0);
    std::vector<std::uint8_t> map(jet3::kMapRowSize, 0);
    for (std::uint32_t p : data_pages_) map[5 + p / 8] |= static_cast<std::uint8_t>(1u << (p % 8));
    DataPageBuilder(m).add_row(map);
    TableCursor cursor(pages_, fmt::kJet3, td_, *cp_, "T");
    std::vector<std::vector<Value>> rows;
    std::vector<Value> row;
    while (cursor.next(row)) rows.push_back(row);
    return rows;
  }

  const std::vector<std::uint32_t>& data_pages() const { return data_pages_; }

 private:
  MemoryPages pages_;
  std::unique_ptr<CodePage> cp_;
  std::shared_ptr<TableDef> td_;
  LvalPagePool lval_;
  std::unique_ptr<RowBuilder> builder_;
  std::uint32_t map_page_ = 0, tdef_page_ = 0;
  std::vector<std::uint32_t> data_pages_;
};

}  // namespace mirutone::jet::rowtest
