// Index pages and trees: every index of the Access-made sample files is walked
// from its root and compared with the table's rows (each live row exactly
// once, keys in strictly increasing order, and - where the key encoding is
// known - the stored key equal to the one computed from the row's values).
// Pages built by encode_index_page must decode to the same entries, and
// damaged pages and trees must end in CorruptError.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <map>
#include <set>

#include "db/jet/catalog/catalog.h"
#include "db/jet/text/codepage.h"
#include "db/jet/file/header.h"
#include "db/jet/index/index_key.h"
#include "db/jet/index/index_page.h"
#include "db/jet/file/page_file.h"
#include "db/jet/row/table_cursor.h"
#include "db/jet/tdef/tdef.h"
#include "jet/index_samples.h"
#include "support/test_support.h"

namespace mirutone::jet {
namespace {

std::string hex(const Bytes& b) { return to_hex(b); }

std::string describe(const std::vector<Value>& values) {
  std::string out;
  for (const Value& v : values) {
    if (auto s = std::get_if<std::string>(&v))
      out += "text:" + to_hex(Bytes(s->begin(), s->end())) + " ";
    else
      out += is_null(v) ? "null " : "value ";
  }
  return out;
}

struct WalkTotals {
  int indexes = 0;
  int entries = 0;
  int keys_compared = 0;
  int multi_level = 0;
  int text_indexes_compared = 0;
};

// Walks every real index of every table in `name`; `encoder` (null: do not
// compare text keys) computes the expected text keys.
void check_every_index(const std::string& name, std::shared_ptr<const TextKeyEncoder> encoder,
                       WalkTotals& totals) {
  SampleDb db(name);
  for (const CatalogEntry& e : db.catalog) {
    if (e.kind() != fmt::kObjectTypeTable) continue;
    auto td = std::make_shared<const TableDef>(
        read_tdef(*db.file, db.lay(), *db.text, e.tdef_page(), e.name));
    const std::vector<LiveRow> rows = live_rows(db, td, e.name);
    for (std::size_t ri = 0; ri < td->real_indexes.size(); ++ri) {
      const RealIndexDef& idx = td->real_indexes[ri];
      SCOPED_TRACE(name + " table " + e.name + " real index " + std::to_string(ri) + " root " +
                   std::to_string(idx.first_page));
      const IndexTree tree = read_index_tree(*db.file, db.header.format, idx.first_page,
                                             e.tdef_page());
      ++totals.indexes;
      totals.entries += static_cast<int>(tree.entries.size());
      if (tree.depth > 1) ++totals.multi_level;

      // Each level is chained left to right by prev/next, ends open.
      for (const auto& level : tree.levels) {
        for (std::size_t i = 0; i < level.size(); ++i) {
          const IndexPage p = decode_index_page(db.header.format, db.file->page(level[i]), level[i]);
          EXPECT_EQ(p.prev_page, i ? level[i - 1] : 0u) << "page " << level[i];
          EXPECT_EQ(p.next_page, i + 1 < level.size() ? level[i + 1] : 0u) << "page " << level[i];
        }
      }

      // (c) strictly increasing over the whole entry, row pointer included.
      for (std::size_t i = 1; i < tree.entries.size(); ++i) {
        const auto& a = tree.entries[i - 1];
        const auto& b = tree.entries[i];
        ASSERT_LT(compare_entries({a.key, a.page, a.row, 0}, {b.key, b.page, b.row, 0}), 0)
            << "entry " << i;
      }

      // Column positions and types of the key.
      std::vector<IndexKeyColumn> cols;
      std::vector<std::size_t> pos;
      bool has_text = false;
      for (const auto& c : idx.columns) {
        const ColumnDef* cd = td->column_by_number(c.number);
        ASSERT_NE(cd, nullptr);
        pos.push_back(static_cast<std::size_t>(cd - td->columns.data()));
        cols.push_back({cd->type, c.ascending});
        has_text |= cd->type == ColumnType::Text || cd->type == ColumnType::Memo;
      }
      const bool compare_keys = !has_text || encoder != nullptr;
      std::optional<IndexKeyEncoder> keys;
      if (compare_keys) keys.emplace(cols, encoder);

      // (a) every live row exactly once (rows whose key is all Null are left
      // out of "ignore nulls" indexes).
      std::map<std::pair<std::uint32_t, int>, const Bytes*> by_row;
      for (const auto& t : tree.entries) {
        auto [it, fresh] = by_row.emplace(std::make_pair(t.page, int{t.row}), &t.key);
        ASSERT_TRUE(fresh) << "row " << t.page << "/" << int{t.row} << " indexed twice";
      }
      std::size_t expected = 0;
      for (const LiveRow& r : rows) {
        std::vector<Value> key_values;
        bool all_null = true;
        for (std::size_t p : pos) {
          key_values.push_back(r.values[p]);
          all_null &= is_null(r.values[p]);
        }
        auto it = by_row.find({r.page, int{r.row}});
        if (all_null && (idx.flags & fmt::kIdxIgnoreNulls)) {
          EXPECT_EQ(it, by_row.end()) << "all-Null row indexed although nulls are ignored";
          continue;
        }
        ++expected;
        ASSERT_NE(it, by_row.end()) << "row " << r.page << "/" << int{r.row} << " not in index";
        // (b) the stored key is the key computed from the row.
        if (compare_keys) {
          EXPECT_EQ(hex(*it->second), hex(keys->encode(key_values)))
              << "row " << r.page << "/" << int{r.row} << " values " << describe(key_values);
          ++totals.keys_compared;
        }
      }
      EXPECT_EQ(tree.entries.size(), expected) << "index entries without a live row";
      if (has_text && compare_keys && !rows.empty()) ++totals.text_indexes_compared;
    }
  }
}

TEST(IndexSamples, Jet3GeneralSortIndexesMatchRowsAndComputedKeys) {
  MIRUTONE_REQUIRE_TESTDATA();
  auto general = make_text_key_encoder(Format::Jet3, fmt::kSortGeneral);
  struct Expect {
    const char* file;
    int min_entries;
    int min_multi_level;
  };
  for (const Expect& x : {Expect{"j3_jackcess_indexcodes.mdb", 3400, 8},
                          Expect{"j3_jackcess_compindex.mdb", 600, 1},
                          Expect{"j3_jackcess_index.mdb", 200, 0},
                          Expect{"j3_jackcess_test.mdb", 100, 0},
                          Expect{"j3_jackcess_delcol.mdb", 1, 0},
                          Expect{"j3_jackcess_overflow.mdb", 1, 0},
                          Expect{"j3_jackcess_test2.mdb", 1, 0},
                          Expect{"j3_nwind_full.mdb", 21000, 20}}) {
    SCOPED_TRACE(x.file);
    WalkTotals t;
    check_every_index(x.file, general, t);
    EXPECT_GE(t.entries, x.min_entries);
    EXPECT_GE(t.multi_level, x.min_multi_level);
    EXPECT_EQ(t.keys_compared, t.entries);
    EXPECT_GT(t.text_indexes_compared, 0);  // at least MSysObjects' (ParentId, Name)
  }
}

TEST(IndexSamples, Jet4IndexesCoverRowsInOrderAndNumericKeysMatch) {
  MIRUTONE_REQUIRE_TESTDATA();
  // Jet 4 text keys have another shape (not encoded here): coverage and order
  // for every index, exact keys for the indexes without text columns.
  for (const char* f : {"j4_ja_northwind.mdb", "j4_jackcess_compindex.mdb",
                        "j4_jackcess_index.mdb", "j4_jackcess_del.mdb",
                        "j4_jackcess_unicodecomp.mdb"}) {
    SCOPED_TRACE(f);
    WalkTotals t;
    check_every_index(f, nullptr, t);
    EXPECT_GT(t.indexes, 5);
    EXPECT_GT(t.keys_compared, 0);
    if (std::string(f) == "j4_ja_northwind.mdb") {
      EXPECT_GE(t.entries, 10000);
      EXPECT_GE(t.multi_level, 8);
    }
  }
}

// Every index page of the Jet 3 samples re-encodes to the bytes Jet wrote:
// header, prefix byte, node flag, bitmask and entries.
TEST(IndexSamples, Jet3PagesReencodeToJetsBytes) {
  MIRUTONE_REQUIRE_TESTDATA();
  int pages = 0, nodes = 0, prefixed = 0;
  for (const char* f : {"j3_jackcess_indexcodes.mdb", "j3_jackcess_compindex.mdb",
                        "j3_nwind_full.mdb"}) {
    SampleDb db(f);
    const IndexPageLayout& l = index_page_layout(Format::Jet3);
    for (const CatalogEntry& e : db.catalog) {
      if (e.kind() != fmt::kObjectTypeTable) continue;
      const TableDef td = read_tdef(*db.file, db.lay(), *db.text, e.tdef_page(), e.name);
      for (const RealIndexDef& idx : td.real_indexes) {
        const IndexTree tree = read_index_tree(*db.file, Format::Jet3, idx.first_page);
        for (std::uint32_t n : tree.pages) {
          SCOPED_TRACE(std::string(f) + " page " + std::to_string(n));
          const Bytes raw = db.file->page(n);
          const IndexPage page = decode_index_page(Format::Jet3, raw, n);
          const Bytes again = encode_index_page_with_prefix(Format::Jet3, page, page.prefix_length);
          const std::size_t used = static_cast<std::size_t>(l.page_size - (raw[2] | raw[3] << 8));
          EXPECT_EQ(page.prefix_length, again[l.off_prefix]);
          EXPECT_EQ(hex(Bytes(raw.begin(), raw.begin() + used)),
                    hex(Bytes(again.begin(), again.begin() + used)));
          ++pages;
          nodes += !page.leaf;
          prefixed += page.prefix_length > 0;
        }
      }
    }
  }
  EXPECT_GT(pages, 100);
  EXPECT_GE(nodes, 20);
  EXPECT_GE(prefixed, 50);
}

// ---- Pages built here --------------------------------------------------------

IndexEntry leaf_entry(std::uint32_t key, std::uint32_t page, std::uint8_t row) {
  Bytes k{0x7F};
  for (int s = 24; s >= 0; s -= 8) k.push_back(static_cast<std::uint8_t>(key >> s));
  return {k, page, row, 0};
}

TEST(IndexPageCodec, EmptyLeafMatchesJet) {
  const Bytes p = encode_index_page(Format::Jet3, IndexPage::empty_leaf(0x32));
  ASSERT_EQ(p.size(), 2048u);
  EXPECT_EQ(hex(Bytes(p.begin(), p.begin() + 8)), "0401080732000000");
  EXPECT_TRUE(std::all_of(p.begin() + 8, p.end(), [](std::uint8_t b) { return b == 0; }));
  const Bytes p4 = encode_index_page(Format::Jet4, IndexPage::empty_leaf(7));
  EXPECT_EQ(hex(Bytes(p4.begin(), p4.begin() + 4)), "0401200e");  // 4096 - 480 free
}

TEST(IndexPageCodec, LeafBitmaskAndEntriesAsJetWritesThem) {
  IndexPage page;
  page.tdef_page = 0x1D;
  for (std::uint32_t i = 0; i < 30; ++i) page.entries.push_back(leaf_entry(0x80000001 + i, 0x1D, i));
  const Bytes p = encode_index_page(Format::Jet3, page);
  // Thirty 9-byte entries: bits 9, 18, 27, ... 270 of the mask.
  EXPECT_EQ(hex(Bytes(p.begin() + 22, p.begin() + 32)), "00020408102040800001");
  EXPECT_EQ(hex(Bytes(p.begin() + 0xF8, p.begin() + 0xF8 + 9)), "7f8000000100001d00");
  EXPECT_EQ(p[2] | p[3] << 8, 1800 - 270);
  EXPECT_EQ(decode_index_page(Format::Jet3, p, 5).entries, page.entries);
}

TEST(IndexPageCodec, NodePagesKeepChildrenTailAndOneBytePrefix) {
  for (Format f : {Format::Jet3, Format::Jet4}) {
    IndexPage node;
    node.leaf = false;
    node.tdef_page = 9;
    node.prev_page = 3;
    node.next_page = 4;
    node.tail_page = 40;
    for (std::uint32_t i = 0; i < 5; ++i) {
      IndexEntry e = leaf_entry(0x80000100 + i, 0x20, static_cast<std::uint8_t>(i));
      e.child = 30 + i;
      node.entries.push_back(e);
    }
    const Bytes p = encode_index_page(f, node, /*use_prefix=*/true);
    const IndexPageLayout& l = index_page_layout(f);
    EXPECT_EQ(p[0], fmt::kPageIndexNode);
    EXPECT_EQ(p[l.off_level], 0x01);  // no level given: a node is at least 1
    node.level = 3;
    EXPECT_EQ(decode_index_page(f, encode_index_page(f, node), 12).level, 3);
    // All five keys share 7f 80 00 01: the prefix field says 4 and, on Jet 3,
    // the node flag right after it stays 0x01 (not part of a 16-bit length).
    EXPECT_EQ(p[l.off_prefix], 4);
    const IndexPage back = decode_index_page(f, p, 12);
    EXPECT_FALSE(back.leaf);
    EXPECT_EQ(back.prefix_length, 4u);
    EXPECT_EQ(back.tail_page, 40u);
    EXPECT_EQ(back.prev_page, 3u);
    EXPECT_EQ(back.next_page, 4u);
    EXPECT_EQ(back.entries, node.entries);
    EXPECT_TRUE(index_page_fits(f, false, node.entries));
  }
}

TEST(IndexPageCodec, RefusesWhatDoesNotFitOrIsOutOfOrder) {
  IndexPage page;
  for (std::uint32_t i = 0; i < 201; ++i) page.entries.push_back(leaf_entry(i, 1, 0));
  EXPECT_FALSE(index_page_fits(Format::Jet3, true, page.entries));  // 201 x 9 > 1800
  EXPECT_THROW(encode_index_page(Format::Jet3, page), Error);
  page.entries.resize(200);
  EXPECT_TRUE(index_page_fits(Format::Jet3, true, page.entries));
  EXPECT_NO_THROW(encode_index_page(Format::Jet3, page));
  std::swap(page.entries[3], page.entries[4]);
  EXPECT_THROW(encode_index_page(Format::Jet3, page), Error);
  page.entries.assign({leaf_entry(1, 0x1000000, 0)});
  EXPECT_THROW(encode_index_page(Format::Jet3, page), Error);  // page beyond 24 bits
}

TEST(IndexPageCodec, EqualKeysOrderByRowPointer) {
  const IndexEntry a = leaf_entry(5, 0x10, 3), b = leaf_entry(5, 0x10, 4), c = leaf_entry(5, 0x11, 0);
  EXPECT_LT(compare_entries(a, b), 0);
  EXPECT_LT(compare_entries(b, c), 0);
  EXPECT_EQ(compare_entries(a, a), 0);
  // A key that is a prefix of another sorts first.
  IndexEntry shorter{{0x7F, 0x61}, 0xFF, 0xFF, 0};
  IndexEntry longer{{0x7F, 0x61, 0x00}, 0, 0, 0};
  EXPECT_GT(compare_entries(shorter, longer), 0);  // 7f 61 ff.. > 7f 61 00..
}

TEST(IndexPageCodec, DamagedPagesAreCorrupt) {
  IndexPage page;
  for (std::uint32_t i = 0; i < 3; ++i) page.entries.push_back(leaf_entry(i, 1, 0));
  const Bytes good = encode_index_page(Format::Jet3, page);
  auto damaged = [&](auto change) {
    Bytes b = good;
    change(b);
    return b;
  };
  EXPECT_THROW(decode_index_page(Format::Jet3, damaged([](Bytes& b) { b[0] = 0x01; }), 1),
               CorruptError);
  // Mask bit beyond the entry area (bit 1805 of 1808).
  EXPECT_THROW(decode_index_page(Format::Jet3, damaged([](Bytes& b) { b[22 + 225] |= 0x20; }), 1),
               CorruptError);
  // Prefix longer than the first entry.
  EXPECT_THROW(decode_index_page(Format::Jet3, damaged([](Bytes& b) { b[20] = 200; }), 1),
               CorruptError);
  // Entry shorter than a row pointer (an extra mask bit 2 bytes in).
  EXPECT_THROW(decode_index_page(Format::Jet3, damaged([](Bytes& b) { b[22] |= 0x04; }), 1),
               CorruptError);
  // Free-space field that disagrees with the mask.
  EXPECT_THROW(decode_index_page(Format::Jet3, damaged([](Bytes& b) { b[2] ^= 1; }), 1),
               CorruptError);
  EXPECT_THROW(decode_index_page(Format::Jet3, Bytes(100, 4), 1), CorruptError);
}

// ---- Trees built in memory ---------------------------------------------------

class MemoryPages : public PageSource {
 public:
  explicit MemoryPages(std::uint32_t count) : pages_(count, Bytes(2048, 0)) {}
  const std::string& path() const override { return path_; }
  int page_size() const override { return 2048; }
  std::uint32_t page_count() const override { return static_cast<std::uint32_t>(pages_.size()); }
  void read_page(std::uint32_t n, std::uint8_t* buf) const override {
    check_page(n, "test");
    std::copy(pages_[n].begin(), pages_[n].end(), buf);
  }
  void put(std::uint32_t n, const IndexPage& p) { pages_[n] = encode_index_page(Format::Jet3, p); }
  void set(std::uint32_t n, Bytes bytes) { pages_[n] = std::move(bytes); }

 private:
  std::string path_ = "memory.mdb";
  std::vector<Bytes> pages_;
};

// Root 1 over leaves 2, 3 and tail 4; four entries per leaf.
MemoryPages two_level_tree() {
  MemoryPages mem(8);
  IndexPage root;
  root.leaf = false;
  root.tdef_page = 7;
  std::uint32_t key = 0;
  for (std::uint32_t leaf = 2; leaf <= 4; ++leaf) {
    IndexPage l;
    l.tdef_page = 7;
    l.prev_page = leaf == 2 ? 0 : leaf - 1;
    l.next_page = leaf == 4 ? 0 : leaf + 1;
    for (int i = 0; i < 4; ++i, ++key)
      l.entries.push_back(leaf_entry(key, 6, static_cast<std::uint8_t>(key)));
    mem.put(leaf, l);
    if (leaf < 4) {
      IndexEntry up = l.entries.back();
      up.child = leaf;
      root.entries.push_back(up);
    } else {
      root.tail_page = leaf;
    }
  }
  mem.put(1, root);
  return mem;
}

TEST(IndexTreeWalk, ListsLeavesInOrderThroughEntriesAndTail) {
  MemoryPages mem = two_level_tree();
  const IndexTree t = read_index_tree(mem, Format::Jet3, 1, 7);
  ASSERT_EQ(t.entries.size(), 12u);
  EXPECT_EQ(t.depth, 2);
  EXPECT_EQ(t.pages, (std::vector<std::uint32_t>{1, 2, 3, 4}));
  ASSERT_EQ(t.levels.size(), 2u);
  EXPECT_EQ(t.levels[1], (std::vector<std::uint32_t>{2, 3, 4}));
  for (std::size_t i = 0; i < 12; ++i) EXPECT_EQ(t.entries[i].key, leaf_entry(i, 0, 0).key);
  EXPECT_EQ(t.entries[11].leaf_page, 4u);
  EXPECT_THROW(read_index_tree(mem, Format::Jet3, 1, 8), CorruptError);  // other table's pages
}

TEST(IndexTreeWalk, LoopsBadChildrenAndDisorderAreCorrupt) {
  {  // the tail points back at the root
    MemoryPages mem = two_level_tree();
    IndexPage root = decode_index_page(Format::Jet3, mem.page(1), 1);
    root.tail_page = 1;
    mem.put(1, root);
    EXPECT_THROW(read_index_tree(mem, Format::Jet3, 1), CorruptError);
  }
  {  // a chain of single-child nodes deeper than any real tree: 1 -> 2 -> ... -> 30
    MemoryPages mem(32);
    for (std::uint32_t n = 1; n < 30; ++n) {
      IndexPage node;
      node.leaf = false;
      node.tail_page = n + 1;
      mem.put(n, node);
    }
    mem.put(30, IndexPage::empty_leaf(0));
    EXPECT_THROW(read_index_tree(mem, Format::Jet3, 1), CorruptError);
    EXPECT_NO_THROW(read_index_tree(mem, Format::Jet3, 20));  // 11 levels are fine
  }
  {  // child outside the file
    MemoryPages mem = two_level_tree();
    IndexPage root = decode_index_page(Format::Jet3, mem.page(1), 1);
    root.tail_page = 99;
    mem.put(1, root);
    EXPECT_THROW(read_index_tree(mem, Format::Jet3, 1), CorruptError);
  }
  {  // leaves swapped: keys no longer increase across pages
    MemoryPages mem = two_level_tree();
    IndexPage root = decode_index_page(Format::Jet3, mem.page(1), 1);
    std::swap(root.entries[0].child, root.entries[1].child);
    mem.put(1, root);
    EXPECT_THROW(read_index_tree(mem, Format::Jet3, 1), CorruptError);
  }
  {  // a data page where an index page should be
    MemoryPages mem = two_level_tree();
    EXPECT_THROW(read_index_tree(mem, Format::Jet3, 5), CorruptError);
  }
}

// Random damage to the index pages of a real file: every walk ends normally
// or in CorruptError, never in a crash, a hang or another exception.
TEST(IndexTreeWalk, RandomlyDamagedSamplePagesEndInCorruptError) {
  MIRUTONE_REQUIRE_TESTDATA();
  SampleDb db("j3_jackcess_indexcodes.mdb");
  std::vector<std::uint32_t> roots;
  std::vector<std::uint32_t> index_pages;
  for (const CatalogEntry& e : db.catalog) {
    if (e.kind() != fmt::kObjectTypeTable) continue;
    const TableDef td = read_tdef(*db.file, db.lay(), *db.text, e.tdef_page(), e.name);
    for (const RealIndexDef& idx : td.real_indexes) {
      roots.push_back(idx.first_page);
      const IndexTree t = read_index_tree(*db.file, Format::Jet3, idx.first_page);
      index_pages.insert(index_pages.end(), t.pages.begin(), t.pages.end());
    }
  }
  MemoryPages mem(db.file->page_count());
  for (std::uint32_t n = 0; n < db.file->page_count(); ++n) mem.set(n, db.file->page(n));
  std::mt19937 rng(1234);
  int corrupt = 0, walks = 0;
  for (int round = 0; round < 300; ++round) {
    MemoryPages damaged = mem;
    const std::uint32_t n = index_pages[rng() % index_pages.size()];
    Bytes page = damaged.page(n);
    for (int k = 0; k < 1 + static_cast<int>(rng() % 4); ++k) {
      // Bias towards the header, the mask and the first entries.
      const std::size_t at = rng() % 2 ? rng() % 320 : rng() % page.size();
      page[at] = static_cast<std::uint8_t>(rng());
    }
    damaged.set(n, page);
    for (std::uint32_t root : roots) {
      ++walks;
      try {
        read_index_tree(damaged, Format::Jet3, root);
      } catch (const CorruptError&) {
        ++corrupt;
      }
    }
  }
  EXPECT_GT(corrupt, 100);
  EXPECT_GT(walks, corrupt);
}

}  // namespace
}  // namespace mirutone::jet
