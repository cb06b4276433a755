// Sample files opened the way the reader opens them, with the page and row
// of every live row, for the index tests.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "db/jet/catalog/catalog.h"
#include "db/jet/text/codepage.h"
#include "db/jet/file/header.h"
#include "db/jet/file/page_file.h"
#include "db/jet/row/table_cursor.h"
#include "db/jet/tdef/tdef.h"
#include "support/test_support.h"

namespace mirutone::jet {

struct SampleDb {
  std::unique_ptr<PageFile> file;
  Header header;
  std::unique_ptr<CodePage> text;
  std::vector<CatalogEntry> catalog;

  explicit SampleDb(const std::string& name) {
    const std::string path = (test::testdata_dir() / name).string();
    file = PageFile::open(path);
    std::vector<std::uint8_t> first(4096);
    const std::size_t got = file->read_at(0, first.data(), first.size());
    header = parse_header(path, first.data(), got);
    file->configure(fmt::layout(header.format).page_size, header.db_key);
    const int cp = header.codepage ? header.codepage : codepage_for_sort_order(header.sort_order);
    text = std::make_unique<CodePage>(cp);
    catalog = read_catalog(*file, lay(), *text);
  }
  const fmt::Layout& lay() const { return fmt::layout(header.format); }
};

struct LiveRow {
  std::uint32_t page;
  std::uint8_t row;
  std::vector<Value> values;  // by TableDef::columns
};

inline std::vector<LiveRow> live_rows(const SampleDb& db, std::shared_ptr<const TableDef> td,
                               const std::string& table) {
  TableCursor cursor(*db.file, db.lay(), td, *db.text, table);
  std::vector<LiveRow> out;
  std::vector<Value> values;
  while (cursor.next(values))
    out.push_back({cursor.page(), static_cast<std::uint8_t>(cursor.slot()), values});
  return out;
}

}  // namespace mirutone::jet
