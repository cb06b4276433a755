#include "db/jet/catalog/page_census.h"

#include <algorithm>
#include <memory>

#include "db/jet/catalog/catalog.h"
#include "db/jet/text/codepage.h"
#include "db/jet/format/format.h"
#include "db/jet/file/header.h"
#include "db/jet/index/index_page.h"
#include "db/jet/file/page_file.h"
#include "db/jet/tdef/tdef.h"
#include "db/jet/file/usage_map.h"

namespace mirutone::jet {

namespace {

class Census {
 public:
  Census(const PageSource& src, Format format, PageCensus& out)
      : src_(src), format_(format), lay_(fmt::layout(format)), out_(out) {
    out_.page_count = src.page_count();
    out_.holder.assign(out_.page_count, "");
    out_.free.assign(out_.page_count, false);
  }

  void hold(std::uint32_t page, const std::string& who, bool shared = false) {
    if (page >= out_.page_count) {
      problem(who + " refers to page " + std::to_string(page) + " past the end of the file");
      return;
    }
    std::string& h = out_.holder[page];
    if (h.empty()) {
      h = who;
    } else if (!(shared && h == who)) {
      problem("page " + std::to_string(page) + " is held by " + h + " and by " + who);
    }
  }

  // Holds the map row's page and, for a reference map, its bitmap pages;
  // returns the pages the map lists.
  std::vector<std::uint32_t> map(fmt::RowPointer ptr, const std::string& who) {
    if (ptr.page == 0) return {};  // no map (long-value columns of some Access files)
    hold(ptr.page, "usage map rows", true);
    std::vector<std::uint8_t> page;
    RowSpan s = locate_row(src_, lay_, ptr, page, who);
    const std::uint8_t* row = page.data() + s.begin;
    const std::size_t len = s.end - s.begin;
    if (len > 0 && row[0] == fmt::kMapReference) {
      for (std::size_t j = 0; 1 + 4 * j + 4 <= len; ++j) {
        std::uint32_t bp = fmt::get_u32(row + 1 + 4 * j);
        if (bp != 0) hold(bp, who + " (bitmap)");
      }
    }
    return decode_usage_map(src_, lay_, row, len, who);
  }

  void list(const std::vector<std::uint32_t>& pages, const std::string& who) {
    for (std::uint32_t p : pages) hold(p, who);
  }

  // The listed pages must be among `owned` (a free-space map lists a subset).
  void subset(const std::vector<std::uint32_t>& pages, const std::vector<std::uint32_t>& owned,
              const std::string& who) {
    for (std::uint32_t p : pages) {
      if (!std::binary_search(owned.begin(), owned.end(), p)) {
        problem(who + " lists page " + std::to_string(p) + ", which the table does not own");
      }
    }
  }

  void table(const TableDef& def, const std::string& name) {
    for (std::uint32_t p : def.pages) hold(p, name + ": definition");
    auto owned = map(def.owned_map, name + ": data pages");
    list(owned, name + ": data pages");
    subset(map(def.free_map, name + ": free-space map"), owned, name + ": free-space map");
    for (const auto& lv : def.long_value_maps) {
      const std::string who = name + ": long values of column " + std::to_string(lv.column_number);
      auto lv_owned = map(lv.owned_map, who);
      list(lv_owned, who);
      subset(map(lv.free_map, who + " (free)"), lv_owned, who + " free-space map");
    }
    for (std::size_t i = 0; i < def.real_indexes.size(); ++i) {
      const std::string who = name + ": index " + std::to_string(i);
      auto listed = map(def.real_indexes[i].usage_map, who);
      list(listed, who);
      tree(def.real_indexes[i].first_page, def.pages.at(0), listed, who);
    }
  }

  // The index map must list every page of the tree, and each page must give
  // its height above the leaves.
  void tree(std::uint32_t root, std::uint32_t tdef_page, const std::vector<std::uint32_t>& listed,
            const std::string& who) {
    IndexTree t;
    try {
      t = read_index_tree(src_, format_, root, tdef_page);
    } catch (const CorruptError& e) {
      problem(who + ": " + e.what());
      return;
    }
    for (std::uint32_t p : t.pages) {
      if (!std::binary_search(listed.begin(), listed.end(), p)) {
        problem(who + ": tree page " + std::to_string(p) + " is missing from the index map");
      }
    }
    const int off_level = index_page_layout(format_).off_level;
    for (std::size_t k = 0; k < t.levels.size(); ++k) {
      const std::size_t height = t.levels.size() - 1 - k;
      for (std::uint32_t p : t.levels[k]) {
        const int stored = src_.page(p)[static_cast<std::size_t>(off_level)];
        if (static_cast<std::size_t>(stored) != height) {
          problem(who + ": page " + std::to_string(p) + " is " + std::to_string(height) +
                  " levels above the leaves but says " + std::to_string(stored));
        }
      }
    }
  }

  void global_map() {
    hold(0, "header");
    hold(fmt::kGlobalMapPage, "global usage map");
    std::vector<std::uint8_t> page;
    RowSpan s = locate_row(src_, lay_, {fmt::kGlobalMapPage, 0}, page, "global usage map");
    const std::uint8_t* row = page.data() + s.begin;
    const std::size_t len = s.end - s.begin;
    auto mark = [&](std::uint64_t p) {
      if (p < out_.page_count) {
        out_.free[p] = true;
      } else {
        ++out_.free_past_end;
      }
    };
    if (len >= 5 && row[0] == fmt::kMapInline) {
      const std::uint32_t start = fmt::get_u32(row + 1);
      if (start != 0) problem("the global usage map starts at page " + std::to_string(start));
      out_.global_map_end = start + static_cast<std::uint64_t>(len - 5) * 8;
      for (std::size_t i = 0; i < (len - 5) * 8; ++i) {
        if ((row[5 + i / 8] >> (i % 8)) & 1) mark(start + i);
      }
      return;
    }
    if (len < 5 || row[0] != fmt::kMapReference) {
      problem("the global usage map is neither an inline nor a reference map");
      return;
    }
    out_.global_map_inline = false;
    const std::uint64_t per_page = static_cast<std::uint64_t>(lay_.page_size - fmt::kMapBitmapPageHeader) * 8;
    std::vector<std::uint8_t> bm(static_cast<std::size_t>(lay_.page_size));
    for (std::size_t j = 0; 1 + 4 * j + 4 <= len; ++j) {
      const std::uint32_t bp = fmt::get_u32(row + 1 + 4 * j);
      if (bp == 0) break;  // the map describes the pages up to its first missing bitmap page
      hold(bp, "global usage map (bitmap)");
      src_.check_page(bp, "the global usage map");
      src_.read_page(bp, bm.data());
      for (std::uint64_t i = 0; i < per_page; ++i) {
        if ((bm[fmt::kMapBitmapPageHeader + i / 8] >> (i % 8)) & 1) mark(j * per_page + i);
      }
      out_.global_map_end = (j + 1) * per_page;
    }
  }

  void finish() {
    if (out_.global_map_end < out_.page_count) {
      problem("the global usage map covers only the first " + std::to_string(out_.global_map_end) +
              " pages of " + std::to_string(out_.page_count));
    }
    for (std::uint32_t p = 0; p < out_.page_count; ++p) {
      if (out_.free[p] && !out_.holder[p].empty()) {
        problem("page " + std::to_string(p) + " is free in the global map but held by " + out_.holder[p]);
      }
    }
  }

 private:
  void problem(std::string what) { out_.problems.push_back(std::move(what)); }

  const PageSource& src_;
  Format format_;
  const fmt::Layout& lay_;
  PageCensus& out_;
};

}  // namespace

std::uint32_t PageCensus::unaccounted() const {
  std::uint32_t n = 0;
  for (std::uint32_t p = 0; p < page_count; ++p) n += holder[p].empty() && !free[p];
  return n;
}

PageCensus take_page_census(const std::string& path) {
  std::unique_ptr<PageFile> file = PageFile::open(path);
  std::vector<std::uint8_t> first(4096);
  const std::size_t got = file->read_at(0, first.data(), first.size());
  const Header h = parse_header(path, first.data(), got);
  const fmt::Layout& lay = fmt::layout(h.format);
  file->configure(lay.page_size, h.db_key);
  const int cp = h.codepage != 0 ? h.codepage : codepage_for_sort_order(h.sort_order);
  CodePage names(h.format == Format::Jet4 ? 1252 : cp);

  PageCensus out;
  Census census(*file, h.format, out);
  census.global_map();
  for (const CatalogEntry& e : read_catalog(*file, lay, names)) {
    if (e.kind() != fmt::kObjectTypeTable) continue;
    const std::uint32_t page = e.tdef_page();
    if (page == 0 || page >= file->page_count()) continue;  // linked tables and the like
    if (file->page(page)[0] != fmt::kPageTdef) continue;
    TableDef def;
    try {
      def = read_tdef(*file, lay, names, page, e.name);
    } catch (const CorruptError& err) {
      out.problems.push_back(e.name + ": the definition cannot be read: " + err.what());
      continue;
    }
    census.table(def, e.name);
  }
  census.finish();
  return out;
}

}  // namespace mirutone::jet
