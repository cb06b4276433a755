// Tables whose index entries outgrow their memory: entries spilled to sorted
// runs and merged, duplicate keys found in memory and in runs, and failed
// writes (a full disk, a file size limit) reported as Errors naming the file.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>

#include "db/jet/index/index_entry_sorter.h"
#include "db/jet/index/index_page.h"
#include "db/jet/file/page_file.h"
#include "db/jet/api/reader.h"
#include "db/jet/api/writer.h"
#include "support/test_support.h"
#include "writer/index_check.h"
#include "writer/oracle_util.h"

namespace mirutone::jet {
namespace {

using test::TempDir;

// Keys that are prefixes of one another, empty keys and repeated keys: the
// cases where comparing "key then row pointer" would differ from Jet's order
// of the joined bytes.
std::vector<IndexEntry> awkward_entries(int n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<IndexEntry> out;
  for (int i = 0; i < n; ++i) {
    IndexEntry e;
    const int len = static_cast<int>(rng() % 6);
    for (int j = 0; j < len; ++j) e.key.push_back(static_cast<std::uint8_t>(rng() % 3));
    e.page = rng() % 0x1000000;
    e.row = static_cast<std::uint8_t>(rng());
    out.push_back(std::move(e));
  }
  return out;
}

std::vector<IndexEntry> drained(IndexEntrySorter& s) {
  std::vector<IndexEntry> out;
  s.drain([&](const IndexEntry& e) { out.push_back(e); });
  return out;
}

TEST(IndexEntrySorter, RunsMergeIntoJetsOrderAndKeysAreFoundWhereverTheyAre) {
  TempDir dir;
  const std::string db = (dir / "x.mdb").string();
  for (std::size_t memory : {std::size_t{1} << 20, std::size_t{512}}) {
    SCOPED_TRACE(memory);
    IndexEntrySorter s(db, "test index", memory, true);
    auto entries = awkward_entries(3000, 7);
    for (const auto& e : entries) {
      s.make_room(e.key.size());
      s.add(e.key, e.page, e.row);
    }
    EXPECT_EQ(s.size(), entries.size());
    if (memory < 1000) {
      EXPECT_GT(s.runs(), 20u);
    } else {
      EXPECT_EQ(s.runs(), 0u);
    }

    // Keys are 0..5 bytes from {0, 1, 2}: none holds a 3 or has 6 bytes.
    std::vector<Bytes> added;
    for (const auto& e : entries) added.push_back(e.key);
    std::sort(added.begin(), added.end());
    for (const auto& e : entries) EXPECT_TRUE(s.contains(e.key));
    for (Bytes k : {Bytes{3}, Bytes{0, 3}, Bytes{0, 0, 0, 0, 0, 0}, Bytes{2, 2, 2, 2, 2, 2}, Bytes{1, 1, 1, 1, 1, 1}}) {
      EXPECT_FALSE(s.contains(k)) << k.size();
    }
    // Length-5 keys over 3 values: 243 possible, 500 drawn; some are missing.
    int missing = 0;
    for (int v = 0; v < 243; ++v) {
      Bytes k;
      for (int d = 0, x = v; d < 5; ++d, x /= 3) k.push_back(static_cast<std::uint8_t>(x % 3));
      const bool expected = std::binary_search(added.begin(), added.end(), k);
      missing += expected ? 0 : 1;
      EXPECT_EQ(s.contains(k), expected);
    }
    EXPECT_GT(missing, 0);

    auto sorted = entries;
    std::sort(sorted.begin(), sorted.end(), [](const IndexEntry& a, const IndexEntry& b) {
      return compare_entries(a, b) < 0;
    });
    EXPECT_EQ(drained(s), sorted);
    EXPECT_EQ(s.size(), 0u);
    EXPECT_FALSE(s.contains(entries[0].key));
    EXPECT_TRUE(drained(s).empty());
  }
}

// The rows of a table keyed (Text, Long) with a second, non-unique index that
// skips Nulls; `order` shuffles them so the keys arrive unsorted.
TableDesign keyed_table() {
  return TableDesign{"T",
                     {{"Day", ColumnType::Text, 10}, {"Tag", ColumnType::Long}, {"Kind", ColumnType::Text, 8},
                      {"Value", ColumnType::Double}},
                     {{"PrimaryKey", {"Day", "Tag"}, true, false, false, {}}, {"ByKind", {"Kind"}, false, false, true, {true}}}};
}

std::vector<Value> keyed_row(int i) {
  char day[16];
  std::snprintf(day, sizeof day, "2009/%02d/%02d", 1 + i / 28 % 12, 1 + i % 28);
  return {Value{std::string(day)}, Value{std::int32_t(i / 336)},
          i % 7 == 0 ? Value{} : Value{std::string("k") + std::to_string(i % 13)}, Value{i * 0.5}};
}

std::vector<int> shuffled(int n) {
  std::vector<int> order(n);
  for (int i = 0; i < n; ++i) order[i] = i;
  std::shuffle(order.begin(), order.end(), std::mt19937(11));
  return order;
}

struct TreeShape {
  std::vector<IndexTreeEntry> entries;
  std::vector<std::size_t> level_sizes;
};

TreeShape tree_of(const std::string& file, int real_index) {
  auto w = Writer::open(file);
  const RealIndexDef& ri = w->definition("T").real_indexes.at(static_cast<std::size_t>(real_index));
  auto pages = PageFile::open(file);
  pages->configure(2048, 0);
  IndexTree tree = read_index_tree(*pages, Format::Jet3, ri.first_page);
  TreeShape out;
  out.entries = std::move(tree.entries);
  for (const auto& l : tree.levels) out.level_sizes.push_back(l.size());
  return out;
}

TEST(LargeTable, SpilledIndexesGiveTheTreesAndStatisticsOfIndexesKeptInMemory) {
  TempDir dir;
  const int n = 6000;
  auto order = shuffled(n);
  auto write = [&](const std::string& file, std::size_t memory) {
    auto w = Writer::create(file);
    w->set_sort_memory(memory);
    w->create_table(keyed_table());
    for (int i : order) w->append_row("T", keyed_row(i));
    w->close();
  };
  const std::string small = (dir / "small.mdb").string(), roomy = (dir / "roomy.mdb").string();
  write(small, 4096);
  write(roomy, std::size_t{64} << 20);

  for (int ix = 0; ix < 2; ++ix) {
    SCOPED_TRACE(ix);
    auto check = test::check_index(small, "T", ix);
    EXPECT_EQ(check.problem, "");
    EXPECT_EQ(check.entries, ix == 0 ? std::size_t(n) : std::size_t(n - (n + 6) / 7));
    EXPECT_GE(check.depth, 2);
    TreeShape a = tree_of(small, ix), b = tree_of(roomy, ix);
    EXPECT_EQ(a.level_sizes, b.level_sizes);
    ASSERT_EQ(a.entries.size(), b.entries.size());
    for (std::size_t i = 0; i < a.entries.size(); ++i) {
      ASSERT_EQ(a.entries[i].key, b.entries[i].key) << i;
      ASSERT_EQ(a.entries[i].page, b.entries[i].page) << i;
      ASSERT_EQ(a.entries[i].row, b.entries[i].row) << i;
    }
  }
  auto w = Writer::open(small);
  const auto& def = w->definition("T");
  EXPECT_EQ(def.real_indexes[0].entry_count, std::uint32_t(n));
  EXPECT_EQ(def.real_indexes[0].distinct_count, std::uint32_t(n));
  EXPECT_EQ(def.real_indexes[1].distinct_count, 13u);  // k0..k12; Nulls skipped
  EXPECT_EQ(test::mdbtool("mdb-count", small, "", "T"), std::to_string(n) + "\n");
}

TEST(LargeTable, DuplicatesAreRefusedInMemoryInRunsAndAfterReopening) {
  TempDir dir;
  const std::string file = (dir / "dup.mdb").string();
  const int n = 3000;
  auto order = shuffled(n);
  auto refused = [&](Writer& w, int i) {
    try {
      w.append_row("T", keyed_row(i));
    } catch (const Error& e) {
      EXPECT_EQ(e.file(), file);
      return e.jet_code() == 3022;
    }
    return false;
  };
  {
    auto w = Writer::create(file);
    w->set_sort_memory(4096);
    w->create_table(keyed_table());
    for (int k = 0; k < n; ++k) w->append_row("T", keyed_row(order[k]));
    EXPECT_TRUE(refused(*w, order[0]));      // spilled long ago
    EXPECT_TRUE(refused(*w, order[n / 2]));
    EXPECT_TRUE(refused(*w, order[n - 1]));  // still in memory
    EXPECT_EQ(w->row_count("T"), std::uint32_t(n));
    w->close();
  }
  EXPECT_EQ(test::check_index(file, "T", 0).problem, "");
  {
    // Reopened: the tree's entries are loaded (and spilled) again.
    auto w = Writer::open(file);
    w->set_sort_memory(4096);
    for (int i : {0, 1234, n - 1}) EXPECT_TRUE(refused(*w, i)) << i;
    w->append_row("T", keyed_row(n));
    EXPECT_TRUE(refused(*w, n));
    w->close();
  }
  auto check = test::check_index(file, "T", 0);
  EXPECT_EQ(check.problem, "");
  EXPECT_EQ(check.entries, std::size_t(n + 1));
  EXPECT_EQ(test::mdbtool("mdb-count", file, "", "T"), std::to_string(n + 1) + "\n");
}

TEST(LargeTable, ADamagedTreeIsAnErrorWhenRowsAreAdded) {
  TempDir dir;
  const std::string good = (dir / "good.mdb").string();
  {
    auto w = Writer::create(good);
    w->create_table(keyed_table());
    for (int i = 0; i < 2000; ++i) w->append_row("T", keyed_row(i));
    w->close();
  }
  std::uint32_t root = 0;
  {
    auto w = Writer::open(good);
    root = w->definition("T").real_indexes[0].first_page;
  }
  ASSERT_GE(tree_of(good, 0).level_sizes.size(), 2u);
  // The root node claims another table; the root node's last child is itself.
  const std::pair<int, std::uint32_t> damage[] = {{4, 3}, {16, root}};
  for (const auto& [offset, value] : damage) {
    SCOPED_TRACE(offset);
    const std::string file = (dir / ("bad" + std::to_string(offset) + ".mdb")).string();
    std::filesystem::copy_file(good, file);
    {
      std::FILE* f = std::fopen(file.c_str(), "r+b");
      ASSERT_NE(f, nullptr);
      std::fseek(f, static_cast<long>(root) * 2048 + offset, SEEK_SET);
      const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                                     static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
      std::fwrite(bytes, 1, 4, f);
      std::fclose(f);
    }
    auto w = Writer::open(file);
    try {
      w->append_row("T", keyed_row(5000));
      ADD_FAILURE() << "a row was added to a table with a damaged index";
    } catch (const CorruptError& e) {
      EXPECT_EQ(e.file(), file);
      EXPECT_NE(std::string(e.what()).find("index page " + std::to_string(root)), std::string::npos) << e.what();
    }
    EXPECT_EQ(w->row_count("T"), 2000u);
  }
}

#ifndef _WIN32  // a file size limit (RLIMIT_FSIZE) stands in for a full disk
// In a child process whose files may not grow past `limit` bytes (a write
// past it fails with EFBIG instead of killing the process): exits 0 when
// `body` throws an Error that names `file` and tells the cause, 1 when
// nothing failed, 2 for another error.
[[noreturn]] void run_limited(const std::string& file, rlim_t limit, const std::function<void()>& body) {
  ::signal(SIGXFSZ, SIG_IGN);
  rlimit r{limit, limit};
  ::setrlimit(RLIMIT_FSIZE, &r);
  try {
    body();
  } catch (const Error& e) {
    std::fprintf(stderr, "%s\n", e.what());
    const std::string what = e.what();
    const bool named = e.file() == file && what.find(file) != std::string::npos;
    std::_Exit(named && what.find(std::strerror(EFBIG)) != std::string::npos ? 0 : 2);
  }
  std::_Exit(1);
}

void expect_write_failure(const std::string& file, rlim_t limit, const std::function<void()>& body) {
  EXPECT_EXIT(run_limited(file, limit, body), ::testing::ExitedWithCode(0), "") << file;
}

TEST(WriteFailure, AFileThatCannotGrowIsAnErrorNamingIt) {
  TempDir dir;
  // While rows are added (the page cache is written back as it fills).
  const std::string rows = (dir / "rows.mdb").string();
  expect_write_failure(rows, 1 << 20, [&] {
    auto w = Writer::create(rows);
    w->create_table(keyed_table());
    for (int i = 0; i < 200000; ++i) w->append_row("T", keyed_row(i));
    w->close();
  });
  // At close, when everything is still in the cache.
  const std::string closing = (dir / "close.mdb").string();
  expect_write_failure(closing, 16 * 1024, [&] {
    auto w = Writer::create(closing);
    w->create_table(keyed_table());
    for (int i = 0; i < 50; ++i) w->append_row("T", keyed_row(i));
    w->close();
  });
  // The temporary file of spilled index entries.
  const std::string spill = (dir / "spill.mdb").string();
  expect_write_failure(spill, 8 * 1024, [&] {
    IndexEntrySorter s(spill, "test index", 4096, false);
    for (int i = 0; i < 10000; ++i) {
      const Bytes key(20, static_cast<std::uint8_t>(i));
      s.make_room(key.size());
      s.add(key, static_cast<std::uint32_t>(i), 0);
    }
  });
}

#endif

TEST(WriteFailure, ARefusedRowLeavesAFileTheReadersOpen) {
  TempDir dir;
  const std::string file = (dir / "refused.mdb").string();
  auto w = Writer::create(file);
  w->set_sort_memory(4096);
  w->create_table(keyed_table());
  for (int i = 0; i < 500; ++i) w->append_row("T", keyed_row(i));
  EXPECT_THROW(w->append_row("T", keyed_row(17)), Error);
  w->close();
  auto r = Reader::open(file);
  auto cursor = r->rows("T");
  std::vector<Value> row;
  int count = 0;
  while (cursor->next(row)) {
    EXPECT_EQ(row, keyed_row(count));
    ++count;
  }
  EXPECT_EQ(count, 500);
  EXPECT_EQ(test::check_index(file, "T", 0).problem, "");
  EXPECT_EQ(test::mdbtool("mdb-count", file, "", "T"), "500\n");
}

}  // namespace
}  // namespace mirutone::jet
