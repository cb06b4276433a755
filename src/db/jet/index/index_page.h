// Index pages: the leaves (type 0x04) and nodes (type 0x03) of Jet's index
// B-trees, in both directions (decode for reading, encode for writing).
//
// Page layout (offsets Jet 3 / Jet 4):
//   0        type 0x04 leaf, 0x03 node; byte 1 is 0x01
//   2        u16 free bytes = page size - end of the last entry
//   4        u32 TDEF page of the table
//   8 / 12   u32 previous page on the same level (0 = none)
//   12 / 16  u32 next page on the same level
//   16 / 20  u32 tail: on nodes the last child, which has no entry; 0 on leaves
//   20 / 24  shared-prefix length: ONE byte on Jet 3 (byte 21 is the level,
//            0 on leaves, 1 on the nodes just above them), a u16 on Jet 4
//            (byte 26 is the level)
//   22 / 27  entry bitmask: bit k set when an entry ends at entries_start + k
//   248 / 480 entries, back to back
// Entries (big-endian): leaf = key, 3-byte data page, 1-byte row;
// node = the last entry of the child page (key, page, row), then a 4-byte
// child page. With a prefix length p > 0 every entry after the first is
// stored without its first p bytes, which equal those of the first entry.
//
// Writer API: fill an IndexPage (entries sorted by compare_entries, each node
// entry's key/page/row copied from the last entry of its child, last child in
// `tail_page`) and call encode_index_page. index_page_fits tells whether a
// list of entries fits one page, for cutting a sorted list into pages;
// IndexPage::empty_leaf is the root of an empty index.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "db/jet/api/error.h"
#include "db/jet/format/format.h"
#include "db/jet/api/reader.h"
#include "db/jet/api/value.h"

namespace mirutone::jet {

class PageSource;

using fmt::IndexPageLayout;
using fmt::index_page_layout;

struct IndexEntry {
  Bytes key;               // the encoded key (index_key.h)
  std::uint32_t page = 0;  // data page of the row (24 bits)
  std::uint8_t row = 0;    // row number on that page
  std::uint32_t child = 0; // node entries: the child page; 0 on leaves
  bool operator==(const IndexEntry&) const = default;
};

// Jet's order of entries: the key bytes followed by the 3-byte page and the
// row, compared as one byte string. Negative, zero or positive.
int compare_entries(const IndexEntry& a, const IndexEntry& b);

struct IndexPage {
  bool leaf = true;
  std::uint32_t tdef_page = 0;
  std::uint32_t prev_page = 0;
  std::uint32_t next_page = 0;
  std::uint32_t tail_page = 0;  // nodes only
  std::uint32_t prefix_length = 0;  // as stored (decode); ignored by encode
  // Height above the leaves as stored (decode); encode writes 0 on a leaf and
  // at least 1 on a node.
  std::uint8_t level = 0;
  std::vector<IndexEntry> entries;

  static IndexPage empty_leaf(std::uint32_t tdef_page) {
    IndexPage p;
    p.tdef_page = tdef_page;
    return p;
  }
};

// Decodes one page. Throws CorruptError naming `file` and the page when the
// page is not an index page or its header, bitmask or entries are damaged.
IndexPage decode_index_page(Format format, std::span<const std::uint8_t> bytes,
                            std::uint32_t page_number, const std::string& file = {});

// Bytes an entry takes on a page (before prefix removal).
std::size_t index_entry_size(bool leaf, const IndexEntry& entry);

// Whether `entries` fit on one page (with the longest shared prefix removed
// when `use_prefix`).
bool index_page_fits(Format format, bool leaf, std::span<const IndexEntry> entries,
                     bool use_prefix = false);

// Encodes one page of the format's page size. With `use_prefix` the longest
// prefix shared by all entries is stored once (Jet itself does so only
// sometimes; 0 is always valid). Throws Error when the entries do not fit, a
// page number does not fit its field, or entries are out of order.
Bytes encode_index_page(Format format, const IndexPage& page, bool use_prefix = false);

// As above with an exact prefix length, which every entry must share with the
// first (re-encoding a page Jet wrote, whose prefix is not always the longest).
Bytes encode_index_page_with_prefix(Format format, const IndexPage& page, std::size_t prefix);

// One entry of a whole index, in index order.
struct IndexTreeEntry {
  Bytes key;
  std::uint32_t page = 0;
  std::uint8_t row = 0;
  std::uint32_t leaf_page = 0;  // the leaf that holds it
};

struct IndexTree {
  std::vector<IndexTreeEntry> entries;
  std::vector<std::uint32_t> pages;  // every page of the tree, in the order visited
  // Pages of each level, root level first, left to right: what the
  // prev/next links of each level should chain.
  std::vector<std::vector<std::uint32_t>> levels;
  int depth = 0;                     // 1 = the root is a leaf
};

// Walks the tree from `root` and lists every leaf entry in order. Checks that
// every page is an index page of `tdef_page` (0 = any table), that no page is
// reached twice, that the depth stays reasonable, and that each node entry
// matches the last entry of its child. Throws CorruptError otherwise.
IndexTree read_index_tree(const PageSource& pages, Format format, std::uint32_t root,
                          std::uint32_t tdef_page = 0);

}  // namespace mirutone::jet
