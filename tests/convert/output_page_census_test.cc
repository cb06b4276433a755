// The outputs of a conversion of realistic size, page by page: the global map
// covers every page of NVData.mdb (past 10,000 pages) and of Ruzevuz.mdb, no
// page is both free there and held by a table, an index or a map, and every
// index page gives its height in the tree.
#include <gtest/gtest.h>

#include "convert/run_fixture.h"
#include "apps/sample_source.h"
#include "db/jet/catalog/page_census.h"

namespace mirutone::test {
namespace {

TEST(OutputPageCensus, TheGlobalMapsCoverEveryPageAndListNoHeldPageFree) {
  TempDir dir;
  const std::string source = (dir / "管理報.mdb").string();
  convert::SampleOptions options;
  options.tags = 100;
  options.days = 1000;  // 100,000 daily rows
  convert::make_sample_source(source, options);
  RecordingUi ui;
  schema::ModuleState state;
  convert::RunResult result = convert::ConversionRun(state, ui).Command1_Click(source);
  ASSERT_EQ(result.outcome, convert::RunOutcome::Completed) << (result.cause ? result.cause->describe() : "");

  for (const char* name : {"NVData.mdb", "Ruzevuz.mdb"}) {
    SCOPED_TRACE(name);
    jet::PageCensus c = jet::take_page_census((dir / name).string());
    std::string problems;
    for (const auto& p : c.problems) problems += p + "\n";
    EXPECT_EQ(problems, "");
    EXPECT_GE(c.global_map_end, c.page_count);
    EXPECT_EQ(c.unaccounted(), 0u);
    if (std::string(name) == "NVData.mdb") {
      EXPECT_GT(c.page_count, 10000u);
      EXPECT_TRUE(c.global_map_inline);
      EXPECT_LT(c.free_past_end, 32u);  // the row ends at the next multiple of 32 pages
    }
  }
}

}  // namespace
}  // namespace mirutone::test
