#include "writer/index_check.h"

#include <algorithm>

#include "db/jet/text/codepage.h"
#include "db/jet/format/format.h"
#include "db/jet/file/header.h"
#include "db/jet/index/index_key.h"
#include "db/jet/index/index_page.h"
#include "db/jet/file/page_file.h"
#include "db/jet/api/reader.h"
#include "db/jet/tdef/tdef.h"

namespace mirutone::test {

using namespace mirutone::jet;

IndexCheck check_index(const std::string& file, const std::string& table, int real_index) {
  IndexCheck out;
  auto reader = Reader::open(file);
  const TableInfo& info = reader->table(table);
  auto pages = PageFile::open(file);
  pages->configure(2048, 0);
  CodePage cp(reader->codepage());
  TableDef def = read_tdef(*pages, fmt::kJet3, cp, info.tdef_page, table);
  const RealIndexDef& ri = def.real_indexes.at(static_cast<std::size_t>(real_index));
  IndexTree tree = read_index_tree(*pages, Format::Jet3, ri.first_page, info.tdef_page);
  out.entries = tree.entries.size();
  out.depth = tree.depth;
  // Byte 0x15 of every page: its height above the leaves.
  for (std::size_t k = 0; k < tree.levels.size(); ++k) {
    const std::size_t height = tree.levels.size() - 1 - k;
    for (std::uint32_t pg : tree.levels[k]) {
      if (decode_index_page(Format::Jet3, pages->page(pg), pg, file).level != height) {
        out.problem = "page " + std::to_string(pg) + " does not say it is " + std::to_string(height) +
                      " levels above the leaves";
        return out;
      }
    }
  }

  for (std::size_t i = 1; i < tree.entries.size(); ++i) {
    IndexEntry a{tree.entries[i - 1].key, tree.entries[i - 1].page, tree.entries[i - 1].row, 0};
    IndexEntry b{tree.entries[i].key, tree.entries[i].page, tree.entries[i].row, 0};
    if (compare_entries(a, b) >= 0) {
      out.problem = "entries " + std::to_string(i - 1) + " and " + std::to_string(i) + " are out of order";
      return out;
    }
  }

  // Keys the rows give, in the table's column order.
  std::vector<IndexKeyColumn> cols;
  std::vector<std::size_t> positions;
  std::shared_ptr<const TextKeyEncoder> text;
  for (const auto& c : ri.columns) {
    auto it = std::find_if(def.columns.begin(), def.columns.end(),
                           [&](const ColumnDef& d) { return d.number == c.number; });
    positions.push_back(static_cast<std::size_t>(it - def.columns.begin()));
    cols.push_back({it->type, c.ascending});
    if (it->type == ColumnType::Text) text = make_text_key_encoder(Format::Jet3, it->sort_order);
  }
  IndexKeyEncoder keys(cols, text);
  std::vector<Bytes> expected;
  auto cursor = reader->rows(table);
  std::vector<Value> row;
  while (cursor->next(row)) {
    std::vector<Value> kv;
    bool all_null = true;
    for (auto p : positions) {
      kv.push_back(row[p]);
      all_null = all_null && is_null(row[p]) && def.columns[p].type != ColumnType::Boolean;
    }
    if (all_null && (ri.flags & fmt::kIdxIgnoreNulls)) continue;
    expected.push_back(keys.encode(kv));
  }
  std::vector<Bytes> found;
  for (const auto& e : tree.entries) found.push_back(e.key);
  std::sort(expected.begin(), expected.end());
  std::sort(found.begin(), found.end());
  if (expected != found) {
    out.problem = "the tree holds " + std::to_string(found.size()) + " keys; the rows give " +
                  std::to_string(expected.size()) + (expected.size() == found.size() ? " different ones" : "");
  }
  return out;
}

}  // namespace mirutone::test
