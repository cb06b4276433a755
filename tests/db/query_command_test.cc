// mirutone query over a built management database.
#include <gtest/gtest.h>

#include "db/engine.h"
#include "schema/module1.h"
#include "support/recording_ui.h"
#include "support/test_support.h"

namespace mirutone::db {
namespace {

jet::Value num(int n) { return std::int32_t{n}; }

class QueryCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    schema::ModuleState state;
    state.strDbFolder = dir.path().string();
    test::RecordingUi ui;
    schema::Module1 m(state, ui);
    m.CreateKanriDb();
    m.SeedKanriDb();
    ASSERT_TRUE(ui.boxes.empty());
    auto add = [&](const std::string& table, const std::vector<std::pair<std::string, jet::Value>>& values) {
      Recordset rs = state.dbKanri.OpenRecordset(table);
      rs.AddNew();
      for (const auto& [f, v] : values) rs.Fields(f).SetValue(v);
      rs.Update();
    };
    add("M_TAG", {{"TAG_ID", num(7)}, {"TAG", jet::Value(std::string("FT-101"))}, {"最大値", jet::Value(std::string("100"))}});
    add("M_TAG", {{"TAG_ID", num(8)}});
    add("日報情報", {{"TAG_ID", num(8)}, {"ページNO", num(3)}, {"項目NO", num(2)}});
    add("日報情報", {{"TAG_ID", num(7)}, {"ページNO", num(3)}, {"項目NO", num(1)}});
    add("日報情報", {{"TAG_ID", num(5)}, {"ページNO", num(3)}, {"項目NO", num(0)}});  // tag not in M_TAG
    add("日報情報", {{"TAG_ID", num(7)}, {"ページNO", num(4)}, {"項目NO", num(1)}});
    state.dbKanri = Database();
    file = (dir / "Ruzevuz.mdb").string();
  }
  int run(const std::string& args, std::string* out) {
    out->clear();
    return test::run_command(test::mirutone_binary() + " query '" + file + "' " + args + " 2>&1", out);
  }
  test::TempDir dir;
  std::string file;
};

TEST_F(QueryCommand, PerPageQueryAsJsonAndText) {
  std::string out;
  ASSERT_EQ(run("日報情報ページ単位抽出 --param Set_Date=3 --json", &out), 0) << out;
  EXPECT_EQ(out.rfind("{\"columns\":[\"TAG_ID\",\"ページNO\",\"項目NO\",\"大項目NO\"", 0), 0u) << out;
  auto rows_at = out.find("\"rows\":");
  ASSERT_NE(rows_at, std::string::npos);
  std::string rows = out.substr(rows_at);
  EXPECT_EQ(rows.rfind("\"rows\":[[7,3,1,null,null,null,null,false,false,null,\"100\",null,false,false,null,null],"
                       "[8,3,2,",
                       0),
            0u)
      << rows;
  EXPECT_EQ(rows.find("[5,"), std::string::npos) << "an item whose tag is not in M_TAG is left out";

  ASSERT_EQ(run("日報情報ページ単位抽出 --param Set_Date=4", &out), 0) << out;
  EXPECT_NE(out.find("(1 row)"), std::string::npos) << out;
  EXPECT_EQ(out.rfind("TAG_ID  ページNO  項目NO", 0), 0u) << out;

  ASSERT_EQ(run("大項目情報抽出", &out), 0) << out;
  EXPECT_NE(out.find("(1 row)"), std::string::npos) << out;
}

TEST_F(QueryCommand, FailuresNameJetsErrorAndExitNonZero) {
  std::string out;
  EXPECT_EQ(run("日報情報ページ単位抽出", &out) != 0, true);
  EXPECT_NE(out.find("error 3061"), std::string::npos) << out;
  EXPECT_NE(run("日報情報ページ単位抽出 --param Set_Date=x", &out), 0);
  EXPECT_NE(out.find("error 3421"), std::string::npos) << out;
  EXPECT_NE(run("no_such_query", &out), 0);
  EXPECT_NE(out.find("error 3078"), std::string::npos) << out;
}

}  // namespace
}  // namespace mirutone::db
