// Index page codec and the tree walk.
#include "db/jet/index/index_page.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "db/jet/file/page_file.h"

namespace mirutone::jet {
namespace {

constexpr std::size_t kRowPointerSize = 4;  // 3-byte page + row
constexpr std::size_t kChildSize = 4;
constexpr std::uint32_t kMaxDataPage = 0xFFFFFF;
// Far more levels than 2 GB of pages can need; a deeper tree is a loop.
constexpr int kMaxDepth = 16;

std::uint32_t le32(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
void put_le16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void put_le32(std::uint8_t* p, std::uint32_t v) {
  put_le16(p, v);
  put_le16(p + 2, v >> 16);
}

// The entry as stored before prefix removal.
Bytes entry_bytes(bool leaf, const IndexEntry& e) {
  Bytes b = e.key;
  b.push_back(static_cast<std::uint8_t>(e.page >> 16));
  b.push_back(static_cast<std::uint8_t>(e.page >> 8));
  b.push_back(static_cast<std::uint8_t>(e.page));
  b.push_back(e.row);
  if (!leaf)
    for (int s = 24; s >= 0; s -= 8) b.push_back(static_cast<std::uint8_t>(e.child >> s));
  return b;
}

// Longest prefix shared by every entry with the first (row pointers included,
// as Jet does), capped by the width of the prefix field and leaving every
// entry at least one stored byte.
std::size_t shared_prefix(const IndexPageLayout& l, bool leaf, std::span<const IndexEntry> entries) {
  if (entries.size() < 2) return 0;
  const Bytes first = entry_bytes(leaf, entries[0]);
  std::size_t p = l.prefix_size == 1 ? 0xFF : 0xFFFF;
  for (const auto& e : entries) {
    const Bytes b = entry_bytes(leaf, e);
    p = std::min(p, b.size() - 1);
    std::size_t k = 0;
    while (k < p && b[k] == first[k]) ++k;
    p = k;
  }
  return p;
}

std::size_t stored_size(bool leaf, std::span<const IndexEntry> entries, std::size_t prefix) {
  std::size_t total = 0;
  for (std::size_t i = 0; i < entries.size(); ++i)
    total += index_entry_size(leaf, entries[i]) - (i ? prefix : 0);
  return total;
}

}  // namespace

int compare_entries(const IndexEntry& a, const IndexEntry& b) {
  // Byte i of key + 3-byte page + row, without building the strings.
  auto at = [](const IndexEntry& e, std::size_t i) -> std::uint8_t {
    if (i < e.key.size()) return e.key[i];
    i -= e.key.size();
    return i == 3 ? e.row : static_cast<std::uint8_t>(e.page >> (8 * (2 - i)));
  };
  const std::size_t na = a.key.size() + kRowPointerSize, nb = b.key.size() + kRowPointerSize;
  for (std::size_t i = 0, n = std::min(na, nb); i < n; ++i) {
    const std::uint8_t x = at(a, i), y = at(b, i);
    if (x != y) return x < y ? -1 : 1;
  }
  return na < nb ? -1 : na > nb ? 1 : 0;
}

std::size_t index_entry_size(bool leaf, const IndexEntry& entry) {
  return entry.key.size() + kRowPointerSize + (leaf ? 0 : kChildSize);
}

IndexPage decode_index_page(Format format, std::span<const std::uint8_t> bytes,
                            std::uint32_t page_number, const std::string& file) {
  const IndexPageLayout& l = index_page_layout(format);
  auto corrupt = [&](const std::string& what) -> CorruptError {
    return CorruptError(file, "index page " + std::to_string(page_number) + ": " + what);
  };
  if (bytes.size() != static_cast<std::size_t>(l.page_size)) throw corrupt("wrong page size");
  const std::uint8_t* p = bytes.data();
  if ((p[0] != fmt::kPageIndexLeaf && p[0] != fmt::kPageIndexNode) || p[1] != 0x01)
    throw corrupt("not an index page (type byte " + std::to_string(p[0]) + ")");

  IndexPage page;
  page.leaf = p[0] == fmt::kPageIndexLeaf;
  page.tdef_page = le32(p + l.off_tdef);
  page.prev_page = le32(p + l.off_prev);
  page.next_page = le32(p + l.off_next);
  page.tail_page = le32(p + l.off_tail);
  page.prefix_length = l.prefix_size == 1 ? p[l.off_prefix] : p[l.off_prefix] | (p[l.off_prefix + 1] << 8);
  page.level = p[l.off_level];
  if (page.leaf && page.tail_page != 0) throw corrupt("leaf page with a tail page");

  const std::size_t entry_size_min = kRowPointerSize + (page.leaf ? 0 : kChildSize);
  const std::size_t capacity = static_cast<std::size_t>(l.capacity());
  const std::size_t mask_bytes = static_cast<std::size_t>(l.off_entries - l.off_mask);
  Bytes first;
  std::size_t start = 0;  // offset of the current entry within the entry area
  for (std::size_t bit = 0; bit < mask_bytes * 8; ++bit) {
    if (!(p[l.off_mask + bit / 8] & (1u << (bit % 8)))) continue;
    const std::size_t end = bit;
    if (end > capacity) throw corrupt("entry bitmask points past the end of the page");
    if (end <= start) throw corrupt("empty entry in the bitmask");
    const std::uint8_t* data = p + l.off_entries + start;
    Bytes whole;
    if (page.entries.empty()) {
      whole.assign(data, data + (end - start));
      if (page.prefix_length > whole.size()) throw corrupt("prefix longer than the first entry");
      first = whole;
    } else {
      whole.assign(first.begin(), first.begin() + page.prefix_length);
      whole.insert(whole.end(), data, data + (end - start));
    }
    if (whole.size() < entry_size_min) throw corrupt("entry shorter than its row pointer");
    IndexEntry e;
    const std::size_t key_len = whole.size() - entry_size_min;
    e.key.assign(whole.begin(), whole.begin() + key_len);
    const std::uint8_t* rp = whole.data() + key_len;
    e.page = (rp[0] << 16) | (rp[1] << 8) | rp[2];
    e.row = rp[3];
    if (!page.leaf)
      e.child = (static_cast<std::uint32_t>(rp[4]) << 24) | (rp[5] << 16) | (rp[6] << 8) | rp[7];
    page.entries.push_back(std::move(e));
    start = end;
  }
  const std::uint32_t free = p[l.off_free] | (p[l.off_free + 1] << 8);
  if (free != capacity - start) {
    // Jet keeps this exact; a mismatch means the mask and the header disagree.
    throw corrupt("free-space field " + std::to_string(free) + " does not match the entries (" +
                  std::to_string(capacity - start) + ")");
  }
  return page;
}

bool index_page_fits(Format format, bool leaf, std::span<const IndexEntry> entries,
                     bool use_prefix) {
  const IndexPageLayout& l = index_page_layout(format);
  const std::size_t prefix = use_prefix ? shared_prefix(l, leaf, entries) : 0;
  return stored_size(leaf, entries, prefix) <= static_cast<std::size_t>(l.capacity());
}

Bytes encode_index_page(Format format, const IndexPage& page, bool use_prefix) {
  const std::size_t prefix =
      use_prefix ? shared_prefix(index_page_layout(format), page.leaf, page.entries) : 0;
  return encode_index_page_with_prefix(format, page, prefix);
}

Bytes encode_index_page_with_prefix(Format format, const IndexPage& page, std::size_t prefix) {
  const IndexPageLayout& l = index_page_layout(format);
  auto fail = [](const std::string& what) -> Error { return Error(0, "", "index page: " + what); };
  const std::span<const IndexEntry> entries(page.entries);
  if (prefix && prefix > shared_prefix(l, page.leaf, entries))
    throw fail("prefix of " + std::to_string(prefix) + " bytes is not shared by every entry");
  if (stored_size(page.leaf, entries, prefix) > static_cast<std::size_t>(l.capacity()))
    throw fail("entries do not fit on one page");
  if (page.leaf && page.tail_page) throw fail("a leaf has no tail page");
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].page > kMaxDataPage) throw fail("row page number beyond 24 bits");
    if (page.leaf && entries[i].child) throw fail("leaf entry with a child page");
    if (!page.leaf && !entries[i].child) throw fail("node entry without a child page");
    if (i && compare_entries(entries[i - 1], entries[i]) >= 0)
      throw fail("entries are not in strictly increasing order");
  }

  Bytes out(static_cast<std::size_t>(l.page_size), 0);
  std::uint8_t* p = out.data();
  p[0] = page.leaf ? fmt::kPageIndexLeaf : fmt::kPageIndexNode;
  p[1] = 0x01;
  put_le32(p + l.off_tdef, page.tdef_page);
  put_le32(p + l.off_prev, page.prev_page);
  put_le32(p + l.off_next, page.next_page);
  put_le32(p + l.off_tail, page.tail_page);
  if (l.prefix_size == 1)
    p[l.off_prefix] = static_cast<std::uint8_t>(prefix);
  else
    put_le16(p + l.off_prefix, static_cast<std::uint32_t>(prefix));
  p[l.off_level] = page.leaf ? 0 : std::max<std::uint8_t>(page.level, 1);

  std::size_t pos = 0;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const Bytes b = entry_bytes(page.leaf, entries[i]);
    const std::size_t skip = i ? prefix : 0;
    std::memcpy(p + l.off_entries + pos, b.data() + skip, b.size() - skip);
    pos += b.size() - skip;
    p[l.off_mask + pos / 8] |= static_cast<std::uint8_t>(1u << (pos % 8));
  }
  put_le16(p + l.off_free, static_cast<std::uint32_t>(l.capacity() - pos));
  return out;
}

namespace {

struct TreeWalk {
  const PageSource& source;
  Format format;
  std::uint32_t tdef_page;
  IndexTree tree;
  std::unordered_set<std::uint32_t> seen;

  CorruptError corrupt(std::uint32_t page, const std::string& what) const {
    return CorruptError(source.path(), "index page " + std::to_string(page) + ": " + what);
  }

  // Visits page `number` and everything below it; `bound` is the parent's
  // entry for it (null for the root and tails), which nothing below may pass.
  void visit(std::uint32_t number, int depth, const IndexEntry* bound) {
    if (depth > kMaxDepth) throw corrupt(number, "index tree deeper than " + std::to_string(kMaxDepth));
    if (number == 0 || number >= source.page_count())
      throw corrupt(number, "index page number outside the file");
    if (!seen.insert(number).second) throw corrupt(number, "index page reached twice (loop in the tree)");
    tree.pages.push_back(number);
    tree.depth = std::max(tree.depth, depth);
    if (tree.levels.size() < static_cast<std::size_t>(depth)) tree.levels.resize(depth);
    tree.levels[depth - 1].push_back(number);

    const Bytes raw = source.page(number);
    const IndexPage page = decode_index_page(format, raw, number, source.path());
    if (tdef_page && page.tdef_page != tdef_page)
      throw corrupt(number, "belongs to table " + std::to_string(page.tdef_page) + ", not " +
                                std::to_string(tdef_page));
    if (page.leaf) {
      for (const IndexEntry& e : page.entries) {
        if (!tree.entries.empty()) {
          const auto& last = tree.entries.back();
          IndexEntry prev{last.key, last.page, last.row, 0};
          if (compare_entries(prev, e) >= 0) throw corrupt(number, "entries out of order");
        }
        tree.entries.push_back({e.key, e.page, e.row, number});
      }
    } else {
      if (page.entries.empty() && page.tail_page == 0) throw corrupt(number, "node page without children");
      for (const IndexEntry& e : page.entries) {
        visit(e.child, depth + 1, &e);
      }
      if (page.tail_page) visit(page.tail_page, depth + 1, bound);
    }
    // A node entry bounds everything below it from above.
    if (bound && !tree.entries.empty()) {
      const auto& last = tree.entries.back();
      IndexEntry got{last.key, last.page, last.row, 0};
      IndexEntry limit{bound->key, bound->page, bound->row, 0};
      if (compare_entries(got, limit) > 0)
        throw corrupt(number, "holds an entry beyond its parent's entry");
    }
  }
};

}  // namespace

IndexTree read_index_tree(const PageSource& pages, Format format, std::uint32_t root,
                          std::uint32_t tdef_page) {
  TreeWalk walk{pages, format, tdef_page, {}, {}};
  walk.visit(root, 1, nullptr);
  return std::move(walk.tree);
}

}  // namespace mirutone::jet
