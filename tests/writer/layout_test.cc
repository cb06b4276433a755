// Structures of a new file against what Access-made files hold, and the
// usage-map changes as objects grow.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "db/jet/catalog/catalog.h"
#include "db/jet/catalog/catalog_builder.h"
#include "db/jet/text/codepage.h"
#include "db/jet/file/data_page_builder.h"
#include "db/jet/format/format.h"
#include "db/jet/file/header.h"
#include "db/jet/file/header_builder.h"
#include "db/jet/file/page_file.h"
#include "db/jet/file/page_store.h"
#include "db/jet/tdef/tdef.h"
#include "db/jet/file/usage_map.h"
#include "db/jet/file/usage_map_builder.h"
#include "db/jet/api/writer.h"
#include "support/test_support.h"

namespace mirutone::jet {
namespace {

using test::TempDir;

std::vector<std::uint8_t> sample_page(const std::string& name, std::uint32_t page) {
  std::ifstream in(test::testdata_dir() / name, std::ios::binary);
  std::vector<std::uint8_t> buf(2048);
  in.seekg(static_cast<std::streamoff>(page) * 2048);
  in.read(reinterpret_cast<char*>(buf.data()), 2048);
  return buf;
}

// Offset where the logical-index part of a joined definition starts.
std::size_t logical_start(const std::vector<std::uint8_t>& t) {
  int ncols = fmt::get_u16(&t[25]);
  int nreal = static_cast<int>(fmt::get_u32(&t[31]));
  std::size_t at = 43 + 8 * nreal + 18 * ncols;
  for (int i = 0; i < ncols; ++i) at += 1 + t[at];
  return at + 39 * nreal;
}

TEST(SystemLayout, DefinitionsMatchAnAccessMadeFile) {
  MIRUTONE_REQUIRE_TESTDATA();
  for (std::uint32_t page = 2; page <= 5; ++page) {
    auto ours = build_tdef(system_table_plan(page, 0x0409, 1252), CodePage(1252));
    auto real = sample_page("j3_ucanaccess_size97.mdb", page);
    ASSERT_EQ(ours.size(), fmt::get_u32(&real[8])) << "page " << page;
    // Header fields (row count and statistics excepted).
    EXPECT_TRUE(std::equal(ours.begin(), ours.begin() + 12, real.begin())) << page;
    EXPECT_TRUE(std::equal(ours.begin() + 20, ours.begin() + 43, real.begin() + 20)) << page;
    // Logical indexes, their names and the long-value map list.
    std::size_t from = logical_start(ours);
    EXPECT_TRUE(std::equal(ours.begin() + static_cast<std::ptrdiff_t>(from), ours.end(),
                           real.begin() + static_cast<std::ptrdiff_t>(from))) << page;
    // Column descriptors: everything but the fixed offset that variable
    // columns leave as garbage.
    int nreal = static_cast<int>(fmt::get_u32(&ours[31]));
    for (int c = 0; c < fmt::get_u16(&ours[25]); ++c) {
      std::size_t d = 43 + 8 * nreal + 18 * c;
      bool fixed = ours[d + 13] & fmt::kColFixed;
      for (std::size_t b = 0; b < 18; ++b) {
        if (!fixed && (b == 14 || b == 15)) continue;
        EXPECT_EQ(ours[d + b], real[d + b]) << "page " << page << " column " << c << " byte " << b;
      }
    }
  }
}

TEST(SystemLayout, HeaderMatchesAnAccessMadeFile) {
  MIRUTONE_REQUIRE_TESTDATA();
  auto ours = build_header_page(0x0409, 1252);
  auto real = sample_page("j3_ucanaccess_size97.mdb", 0);
  for (std::size_t i = 0; i < ours.size(); ++i) {
    if (i == 0x602) continue;  // entry 1 of the trailing table varies between files
    ASSERT_EQ(ours[i], real[i]) << "header byte " << i;
  }
  auto ja = build_header_page(0x0411, 932);
  EXPECT_NE(ja, ours);
}

TEST(SystemLayout, MapAndRootPagesFollowThePlan) {
  MIRUTONE_REQUIRE_TESTDATA();
  TempDir dir;
  auto store = PageStore::create((dir / "plan.mdb").string());
  lay_out_new_database(*store, 0x0409, 1252);
  for (std::uint32_t page : {1u, 6u, 7u, 8u, 10u, 12u, 13u, 14u}) {
    auto real = sample_page("j3_ucanaccess_size97.mdb", page);
    const std::uint8_t* ours = store->read(page);
    // Page header and row offsets are the same; page 13's free space differs
    // only by the entries Access's extra objects added.
    int header = 10 + 2 * fmt::get_u16(&real[8]);
    if (real[0] == fmt::kPageIndexLeaf) header = 8;
    for (int b = 0; b < header; ++b) {
      if (page == 13 && (b == 2 || b == 3)) continue;
      EXPECT_EQ(ours[b], real[b]) << "page " << page << " byte " << b;
    }
  }
}

// Rows of a data page, row 0 first.
std::vector<std::vector<std::uint8_t>> page_rows(const std::uint8_t* page) {
  std::vector<std::vector<std::uint8_t>> rows;
  int end = 2048;
  for (int i = 0; i < fmt::get_u16(page + 8); ++i) {
    int start = fmt::get_u16(page + 10 + 2 * i) & fmt::kSlotOffsetMask;
    rows.emplace_back(page + start, page + end);
    end = start;
  }
  return rows;
}

TEST(SystemLayout, EngineRowsMatchAnAccessMadeFile) {
  MIRUTONE_REQUIRE_TESTDATA();
  TempDir dir;
  std::string file = (dir / "rows.mdb").string();
  Writer::create(file, Locale::general())->close();
  auto store = PageStore::open(file);
  auto real_objects = sample_page("j3_ucanaccess_size97.mdb", 18);
  auto ours = page_rows(store->read(18));
  auto theirs = page_rows(real_objects.data());
  ASSERT_EQ(ours.size(), 8u);
  for (std::size_t i = 0; i < ours.size(); ++i) {
    if (i == 3) continue;  // MSysDb: Access has added its LvProp
    auto a = ours[i], b = theirs[i];
    // DateCreate and DateUpdate (row offsets 11..26) hold the creation time.
    a.erase(a.begin() + 11, a.begin() + 27);
    b.erase(b.begin() + 11, b.begin() + 27);
    EXPECT_EQ(a, b) << "MSysObjects row " << i;
  }
  auto real_aces = sample_page("j3_ucanaccess_size97.mdb", 19);
  auto our_aces = page_rows(store->read(19));
  auto their_aces = page_rows(real_aces.data());
  ASSERT_EQ(our_aces.size(), 23u);
  for (std::size_t i = 0; i < our_aces.size(); ++i) EXPECT_EQ(our_aces[i], their_aces[i]) << "MSysACEs row " << i;
}

class UsageMapGrowth : public ::testing::Test {
 protected:
  void SetUp() override {
    store_ = PageStore::create((dir_ / "maps.mdb").string());
    store_->append_raw();
    store_->append_raw();
    store_->append_raw();
    start_data_page(store_->write(1), 1);
    DataPageBuilder(store_->write(1)).add_row(global_map_row(3));
    start_data_page(store_->write(2), 0);
    DataPageBuilder(store_->write(2)).add_row(inline_map_row(0, {}));
  }
  void grow_to(std::uint32_t pages) {
    while (store_->page_count() < pages) store_->allocate();
  }
  TempDir dir_;
  std::unique_ptr<PageStore> store_;
};

// Row `row` of page 1 as stored.
std::vector<std::uint8_t> page1_row(PageStore& store, int row) {
  const std::uint8_t* p = store.read(1);
  RowSpan s = row_span(p, fmt::kJet3, row, store.path(), 1, "page 1");
  return {p + s.begin, p + s.end};
}

std::vector<std::uint32_t> range(std::uint32_t from, std::uint32_t to) {
  std::vector<std::uint32_t> out;
  for (std::uint32_t p = from; p < to; ++p) out.push_back(p);
  return out;
}

TEST_F(UsageMapGrowth, GlobalMapCoversTheWholeFileInlineThenThroughBitmapPages) {
  DataPageBuilder(store_->write(1)).add_row(inline_map_row(0, {}));  // Jet's second, empty row
  UsageMap global(*store_, {1, 0});
  EXPECT_EQ(global.pages(), range(3, 1024));
  mark_page_free(*store_, 2);  // a freed page stays free through every growth
  grow_to(1030);
  // Four bytes (32 pages) at a time, the pages past the end free.
  EXPECT_EQ(page1_row(*store_, 0).size(), 5u + 33 * 4);
  std::vector<std::uint32_t> free = {2};
  for (std::uint32_t p : range(1030, 1056)) free.push_back(p);
  EXPECT_EQ(global.pages(), free);
  EXPECT_EQ(page1_row(*store_, 1), inline_map_row(0, {}));
  EXPECT_EQ(data_page_free_space(store_->read(1)), 2048 - 10 - 4 - 137 - 133);

  // The largest inline row page 1 holds beside the second row.
  grow_to(15168);
  EXPECT_EQ(page1_row(*store_, 0).size(), 1901u);
  EXPECT_EQ(data_page_free_space(store_->read(1)), 0);
  EXPECT_EQ(global.pages(), (std::vector<std::uint32_t>{2}));
  // One page more: a reference map, its bitmap page the next page of the file.
  grow_to(15169);
  auto row = page1_row(*store_, 0);
  ASSERT_EQ(row.size(), 133u);
  EXPECT_EQ(row[0], fmt::kMapReference);
  EXPECT_EQ(fmt::get_u32(&row[1]), 15169u);
  EXPECT_EQ(store_->read(15169)[0], fmt::kPageUsageBitmap);
  free = {2};
  for (std::uint32_t p : range(15170, 16352)) free.push_back(p);
  EXPECT_EQ(global.pages(), free);
  EXPECT_EQ(page1_row(*store_, 1), inline_map_row(0, {}));
  // Past the first bitmap page's pages a second one is added.
  grow_to(16353);
  row = page1_row(*store_, 0);
  EXPECT_EQ(fmt::get_u32(&row[5]), 16353u);
  free = {2};
  for (std::uint32_t p : range(16354, 2 * 16352)) free.push_back(p);
  EXPECT_EQ(global.pages(), free);
}

TEST(GlobalMap, RowsAreTheLengthJetGivesThemAndOpeningCoversAShortMap) {
  MIRUTONE_REQUIRE_TESTDATA();
  // Access's own file of 1,466 pages: a 189-byte row, pages 1466..1471 free.
  auto real = sample_page("j3_nwind_full.mdb", 1);
  RowSpan s = row_span(real.data(), fmt::kJet3, 0, "j3_nwind_full.mdb", 1, "page 1");
  auto ours = global_map_row(1466);
  ASSERT_EQ(ours.size(), s.end - s.begin);
  // The last byte covers pages 1464..1471: the two in use, the six past the end free.
  EXPECT_EQ(ours.back(), 0xFC);
  EXPECT_EQ(real[s.end - 1], 0xFC);
  EXPECT_EQ(global_map_row(1024).size(), 133u);
  EXPECT_EQ(global_map_row(1258).size(), 165u);  // j3_psc_suhan_33045_sozluk.mdb, 1,258 pages

  // A file whose map stops at page 1023 (as ours did): the pages past it are
  // in use once the file is opened for writing.
  TempDir dir;
  const std::string file = (dir / "short.mdb").string();
  Writer::create(file)->close();
  {
    auto store = PageStore::open(file);
    while (store->page_count() < 1100) store->append_raw();
    store->flush();
  }
  auto store = PageStore::open(file);
  UsageMap global(*store, {1, 0});
  EXPECT_FALSE(global.contains(1024));
  EXPECT_FALSE(global.contains(1099));
  EXPECT_TRUE(global.contains(1100));
  EXPECT_TRUE(global.contains(1119));
  EXPECT_EQ(page1_row(*store, 0).size(), 5u + 35 * 4);
}

TEST_F(UsageMapGrowth, InlineMapSlidesThenBecomesAReferenceMap) {
  grow_to(3000);
  UsageMap map(*store_, {2, 0});
  map.set(5, true);
  map.set(900, true);
  EXPECT_EQ(map.pages(), (std::vector<std::uint32_t>{5, 900}));
  map.set(5, false);
  map.set(1500, true);  // 900..1500 fits one window: the start moves
  EXPECT_EQ(store_->read(2)[2048 - 133], fmt::kMapInline);
  EXPECT_EQ(fmt::get_u32(store_->read(2) + 2048 - 133 + 1), 896u);
  EXPECT_EQ(map.pages(), (std::vector<std::uint32_t>{900, 1500}));
  EXPECT_FALSE(map.contains(5));
  map.set(20, true);  // 20..1500 does not: reference map
  EXPECT_EQ(store_->read(2)[2048 - 133], fmt::kMapReference);
  EXPECT_EQ(map.pages(), (std::vector<std::uint32_t>{20, 900, 1500}));
  std::uint32_t bitmap = fmt::get_u32(store_->read(2) + 2048 - 133 + 1);
  EXPECT_EQ(store_->read(bitmap)[0], fmt::kPageUsageBitmap);
  map.set(2999, true);
  map.set(900, false);
  EXPECT_EQ(map.pages(), (std::vector<std::uint32_t>{20, 1500, 2999}));
  EXPECT_TRUE(map.contains(2999));
  EXPECT_FALSE(map.contains(900));
}

// One model, one codec: every definition of a written file, parsed and built
// again, gives the bytes on its pages (the next-page link aside, which
// split_tdef sets).
TEST(TdefCodec, ParsingThenBuildingGivesTheStoredDefinition) {
  TempDir dir;
  const std::string file = (dir / "t.mdb").string();
  {
    auto w = Writer::create(file);
    w->create_table({"Reports",
                     {{"Id", ColumnType::Long, 0, true, false, false},
                      {"Done", ColumnType::Boolean, 0, false, false, false},
                      {"Taken", ColumnType::DateTime, 0, false, false, false},
                      {"Title", ColumnType::Text, 100, false, true, false},
                      {"Notes", ColumnType::Memo, 0, false, false, false},
                      {"Blob", ColumnType::OLE, 0, false, false, false}},
                     {{"PrimaryKey", {"Id"}, true, false, false, {}},
                      {"ByTitle", {"Title", "Taken"}, false, true, false, {false, true}}}});
    std::vector<ColumnDesign> wide;  // a definition longer than one page
    for (int i = 0; i < 120; ++i) wide.push_back({"列" + std::to_string(i), ColumnType::Text, 20, false, false, false});
    w->create_table({"受注", wide, {{"主キー", {"列0", "列1"}, true, false, false, {}}, {"索引", {"列7"}, false, false, false, {}}}});
    w->close();
  }
  auto pages = PageFile::open(file);
  std::vector<std::uint8_t> first(2048);
  const Header header = parse_header(file, first.data(), pages->read_at(0, first.data(), first.size()));
  pages->configure(fmt::kJet3.page_size, header.db_key);
  const CodePage text(932);
  int checked = 0, chained = 0;
  for (const CatalogEntry& e : read_catalog(*pages, fmt::kJet3, text)) {
    if (e.kind() != fmt::kObjectTypeTable) continue;
    SCOPED_TRACE(e.name);
    std::vector<std::uint32_t> chain;
    std::vector<std::uint8_t> stored = read_tdef_bytes(*pages, fmt::kJet3, e.tdef_page(), e.name, chain);
    const TableDef td = parse_tdef(stored, fmt::kJet3, text, file, e.name);
    stored.resize(td.length);
    jet3::put_u32(&stored[fmt::kJet3.td_off_next], 0);
    EXPECT_EQ(build_tdef(td, text), stored);
    ++checked;
    if (chain.size() > 1) ++chained;
  }
  EXPECT_EQ(checked, 6);  // the four system tables and the two above
  EXPECT_EQ(chained, 1);
}

TEST(TdefSplit, LongDefinitionsChainAcrossPages) {
  std::vector<std::uint8_t> joined(5000);
  for (std::size_t i = 0; i < joined.size(); ++i) joined[i] = static_cast<std::uint8_t>(i * 7);
  ASSERT_EQ(tdef_page_count(joined.size()), 3);
  auto pages = split_tdef(joined, {40, 41, 97});
  EXPECT_EQ(fmt::get_u32(&pages[0][4]), 41u);
  EXPECT_EQ(fmt::get_u32(&pages[1][4]), 97u);
  EXPECT_EQ(fmt::get_u32(&pages[2][4]), 0u);
  // Joining the pages back (page 1 whole, then bytes 8.. of the others) gives the bytes.
  std::vector<std::uint8_t> back(pages[0].begin() + 8, pages[0].end());
  for (int p = 1; p < 3; ++p) back.insert(back.end(), pages[p].begin() + 8, pages[p].end());
  EXPECT_TRUE(std::equal(joined.begin() + 8, joined.end(), back.begin()));
  for (const auto& p : pages) {
    EXPECT_EQ(p[0], fmt::kPageTdef);
    EXPECT_EQ(p[2], 'V');
  }
  EXPECT_EQ(tdef_position(2048).page_index, 1);
  EXPECT_EQ(tdef_position(2048).offset, 8);
}

}  // namespace
}  // namespace mirutone::jet
