// Writing a whole index B-tree from its sorted entries.
//
// Leaves are filled in order and chained by prev/next; each node level above
// holds, for every child but the last, the child's last entry followed by
// the child page, and the last child in its tail field (a node of one child
// stores it as a normal entry). The root keeps the page the table definition
// names, so the definition never changes when the tree grows.
#pragma once

#include <cstdint>
#include <vector>

#include "db/jet/index_page.h"

namespace mirutone::jet {

class PageStore;

struct IndexTreePages {
  std::vector<std::uint32_t> used;    // every page of the new tree, root first
  std::vector<std::uint32_t> unused;  // pages of `spare` the tree did not need
};

// `entries` must be sorted by compare_entries. Pages come from `spare` first,
// then from the store's allocator.
IndexTreePages write_index_tree(PageStore& store, std::uint32_t tdef_page, std::uint32_t root,
                                const std::vector<std::uint32_t>& spare,
                                const std::vector<IndexEntry>& entries);

}  // namespace mirutone::jet
