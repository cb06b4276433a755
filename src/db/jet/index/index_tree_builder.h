// Writing a whole index B-tree from its sorted entries.
//
// Leaves are filled in order and chained by prev/next; each node level above
// holds, for every child but the last, the child's last entry followed by
// the child page, and the last child in its tail field (a node of one child
// stores it as a normal entry). The root keeps the page the table definition
// names, so the definition never changes when the tree grows.
//
// IndexTreeWriter takes the leaf entries one at a time, so a tree of millions
// of entries never needs them all in memory: a leaf is written as soon as the
// next one is started, and only the node levels (one entry per page below)
// are kept until finish().
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "db/jet/index/index_page.h"

namespace mirutone::jet {

class PageSource;
class PageStore;

struct IndexTreePages {
  std::vector<std::uint32_t> used;    // every page of the new tree, root first
  std::vector<std::uint32_t> unused;  // pages of `spare` the tree did not need
};

class IndexTreeWriter {
 public:
  // Pages come from `spare` first, then from the store's allocator; `root`
  // is the page the definition names.
  IndexTreeWriter(PageStore& store, std::uint32_t tdef_page, std::uint32_t root, std::vector<std::uint32_t> spare);
  ~IndexTreeWriter();
  IndexTreeWriter(const IndexTreeWriter&) = delete;
  IndexTreeWriter& operator=(const IndexTreeWriter&) = delete;

  // The next leaf entry; entries must come in compare_entries order (checked
  // when a page is encoded). Throws Error for a key too long for a page.
  void add(const IndexEntry& entry);

  // Writes the rest of the leaves and every node level.
  IndexTreePages finish();

 private:
  class Level;
  std::uint32_t take_page();

  PageStore& store_;
  std::uint32_t tdef_page_, root_;
  std::vector<std::uint32_t> spare_;
  std::size_t next_spare_ = 0;
  IndexTreePages result_;
  std::unique_ptr<Level> leaves_;
};

// Visits the leaf entries of the Jet 3 tree at `root` in order, holding one
// page per level at a time, for a tree about to be rebuilt with more entries.
// Checks what read_index_tree checks (every page an index page of
// `tdef_page`, none reached twice, a bounded depth, entries strictly
// ascending, no entry beyond its parent's) and throws CorruptError otherwise.
// Returns every page of the tree.
std::vector<std::uint32_t> walk_index_tree(const PageSource& pages, std::uint32_t root, std::uint32_t tdef_page,
                                           const std::function<void(const IndexEntry&)>& leaf_entry);

// The same for entries already in memory, sorted by compare_entries.
IndexTreePages write_index_tree(PageStore& store, std::uint32_t tdef_page, std::uint32_t root,
                                const std::vector<std::uint32_t>& spare,
                                const std::vector<IndexEntry>& entries);

}  // namespace mirutone::jet
