// The page census: who holds each page of a file and what the global map says
// of it. Access's own files must come out clean, and the faults it is there
// to find must be found.
#include <gtest/gtest.h>

#include "db/jet/file/data_page_builder.h"
#include "db/jet/format/format.h"
#include "db/jet/catalog/page_census.h"
#include "db/jet/file/page_store.h"
#include "db/jet/file/usage_map_builder.h"
#include "db/jet/api/writer.h"
#include "support/test_support.h"

namespace mirutone::jet {
namespace {

using test::TempDir;

std::string joined(const std::vector<std::string>& v) {
  std::string out;
  for (const auto& s : v) out += s + "\n";
  return out;
}

TEST(PageCensus, AccessMadeFilesHoldEveryPageOnceAndListNoHeldPageFree) {
  MIRUTONE_REQUIRE_TESTDATA();
  int jet3 = 0;
  for (const auto& f : test::all_sample_files()) {
    SCOPED_TRACE(f.filename().string());
    PageCensus c = take_page_census(f.string());
    EXPECT_EQ(joined(c.problems), "");
    EXPECT_GE(c.global_map_end, c.page_count);
    if (f.filename().string().rfind("j3_", 0) == 0) ++jet3;
  }
  EXPECT_GE(jet3, 10);
}

TEST(PageCensus, FindsAHeldPageListedFreeAndAMapThatStopsShort) {
  TempDir dir;
  const std::string file = (dir / "c.mdb").string();
  {
    auto w = Writer::create(file);
    w->create_table({"T", {{"Id", ColumnType::Long}, {"Memo", ColumnType::Memo}}, {}});
    w->append_row("T", {std::int32_t{1}, std::string(3000, 'x')});
    w->close();
  }
  PageCensus clean = take_page_census(file);
  EXPECT_EQ(joined(clean.problems), "");
  EXPECT_EQ(clean.unaccounted(), 0u);
  EXPECT_EQ(clean.holder[18], "MSysObjects: data pages");
  EXPECT_EQ(clean.free_past_end, 1024 - clean.page_count);

  {
    auto store = PageStore::open(file);
    mark_page_free(*store, 18);
    store->flush();
  }
  std::string problems = joined(take_page_census(file).problems);
  EXPECT_EQ(problems, "page 18 is free in the global map but held by MSysObjects: data pages\n");

  {
    // A global map of one bitmap byte: pages 0..7.
    auto store = PageStore::open(file);
    std::uint8_t* p1 = store->write(1);
    start_data_page(p1, 1);
    DataPageBuilder(p1).add_row(std::vector<std::uint8_t>{0, 0, 0, 0, 0, 0});
    DataPageBuilder(p1).add_row(inline_map_row(0, {}));
    store->flush();
  }
  PageCensus short_map = take_page_census(file);
  EXPECT_EQ(short_map.global_map_end, 8u);
  problems = joined(short_map.problems);
  EXPECT_NE(problems.find("covers only the first 8 pages of "), std::string::npos) << problems;
}

}  // namespace
}  // namespace mirutone::jet
