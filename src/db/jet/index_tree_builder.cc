#include "db/jet/index_tree_builder.h"

#include <algorithm>

#include "db/jet/jet3_layout.h"
#include "db/jet/page_store.h"

namespace mirutone::jet {

namespace {

// Cuts `items` into runs that each fit one page.
std::vector<std::vector<IndexEntry>> cut_pages(bool leaf, const std::vector<IndexEntry>& items) {
  std::vector<std::vector<IndexEntry>> out;
  const std::size_t capacity = static_cast<std::size_t>(jet3::kIndexPageCapacity);
  std::vector<IndexEntry> run;
  std::size_t used = 0;
  for (const auto& e : items) {
    std::size_t size = index_entry_size(leaf, e);
    if (size > capacity) throw Error(0, "", "an index key is too long for an index page");
    if (!run.empty() && used + size > capacity) {
      out.push_back(std::move(run));
      run.clear();
      used = 0;
    }
    run.push_back(e);
    used += size;
  }
  if (!run.empty() || out.empty()) out.push_back(std::move(run));
  // The entry mask is the other limit; shed entries while a page still does not fit.
  for (std::size_t i = 0; i < out.size(); ++i) {
    while (out[i].size() > 1 && !index_page_fits(Format::Jet3, leaf, out[i])) {
      if (i + 1 == out.size()) out.emplace_back();
      out[i + 1].insert(out[i + 1].begin(), out[i].back());
      out[i].pop_back();
    }
  }
  return out;
}

}  // namespace

IndexTreePages write_index_tree(PageStore& store, std::uint32_t tdef_page, std::uint32_t root,
                                const std::vector<std::uint32_t>& spare,
                                const std::vector<IndexEntry>& entries) {
  std::size_t next_spare = 0;
  IndexTreePages result;
  result.used.push_back(root);
  auto take_page = [&]() {
    std::uint32_t p = next_spare < spare.size() ? spare[next_spare++] : store.allocate();
    result.used.push_back(p);
    return p;
  };

  bool leaf = true;
  std::vector<IndexEntry> level_items = entries;  // leaf entries, then node entries
  for (;;) {
    auto runs = cut_pages(leaf, level_items);
    // A node run stores all its children but the last as entries; the last
    // goes to the tail. Re-check that a run of one stays valid.
    std::vector<std::uint32_t> numbers(runs.size());
    if (runs.size() == 1) {
      numbers[0] = root;
    } else {
      for (auto& n : numbers) n = take_page();
    }
    std::vector<IndexEntry> parents;
    for (std::size_t i = 0; i < runs.size(); ++i) {
      IndexPage page;
      page.leaf = leaf;
      page.tdef_page = tdef_page;
      page.prev_page = i > 0 ? numbers[i - 1] : 0;
      page.next_page = i + 1 < runs.size() ? numbers[i + 1] : 0;
      page.entries = runs[i];
      if (!leaf && page.entries.size() > 1) {
        page.tail_page = page.entries.back().child;
        page.entries.pop_back();
      }
      auto bytes = encode_index_page(Format::Jet3, page);
      std::copy(bytes.begin(), bytes.end(), store.write(numbers[i]));
      if (runs.size() > 1 && !runs[i].empty()) {
        IndexEntry up = runs[i].back();  // the last entry under this page
        up.child = numbers[i];
        parents.push_back(std::move(up));
      }
    }
    if (runs.size() == 1) break;
    level_items = std::move(parents);
    leaf = false;
  }
  result.unused.assign(spare.begin() + static_cast<std::ptrdiff_t>(next_spare), spare.end());
  return result;
}

}  // namespace mirutone::jet
