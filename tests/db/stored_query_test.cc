// Running the stored queries of a built management database.
#include <gtest/gtest.h>

#include "db/engine.h"
#include "db/errors.h"
#include "schema/module1.h"
#include "support/recording_ui.h"
#include "support/test_support.h"

namespace mirutone::db {
namespace {

jet::Value num(int n) { return std::int32_t{n}; }

class StoredQueries : public ::testing::Test {
 protected:
  void SetUp() override {
    state.strDbFolder = dir.path().string();
    schema::Module1 m(state, ui);
    m.CreateKanriDb();
    m.SeedKanriDb();
    state.dbKanri = Database();
    ASSERT_TRUE(ui.boxes.empty());
    db = DBEngine::Workspaces(0).OpenDatabase((dir / "Ruzevuz.mdb").string());
  }
  void add(const std::string& table, const std::vector<std::pair<std::string, jet::Value>>& values) {
    Recordset rs = db.OpenRecordset(table);
    rs.AddNew();
    for (const auto& [f, v] : values) rs.Fields(f).SetValue(v);
    rs.Update();
    rs.Close();
  }
  static std::vector<std::vector<jet::Value>> all(Recordset rs) {
    std::vector<std::vector<jet::Value>> out;
    for (; !rs.Eof(); rs.MoveNext()) {
      std::vector<jet::Value> row;
      for (int i = 0; i < rs.FieldCount(); ++i) row.push_back(rs.Fields(i).Value());
      out.push_back(row);
    }
    return out;
  }

  test::TempDir dir;
  schema::ModuleState state;
  test::RecordingUi ui;
  Database db;
};

TEST_F(StoredQueries, PerPageQueryJoinsFiltersAndOrders) {
  for (int tag : {10, 20, 30}) {
    add("M_TAG", {{"TAG_ID", num(tag)}, {"大項目NO", num(tag / 10)}, {"有効桁", jet::Value(std::string("3"))},
                  {"MAX_FLG", jet::Value(true)}});
  }
  // Page 3: items 5, 1, 3 (item 3's tag 99 is not in M_TAG); page 2 and 4 around it.
  add("日報情報", {{"TAG_ID", num(20)}, {"ページNO", num(3)}, {"項目NO", num(5)}});
  add("日報情報", {{"TAG_ID", num(10)}, {"ページNO", num(2)}, {"項目NO", num(1)}});
  add("日報情報", {{"TAG_ID", num(30)}, {"ページNO", num(3)}, {"項目NO", num(1)}});
  add("日報情報", {{"TAG_ID", num(99)}, {"ページNO", num(3)}, {"項目NO", num(3)}});
  add("日報情報", {{"TAG_ID", num(10)}, {"ページNO", num(4)}, {"項目NO", num(2)}});
  add("月報情報", {{"TAG_ID", num(10)}, {"ページNO", num(3)}, {"項目NO", num(9)}});

  QueryDef q = db.QueryDefs()("日報情報ページ単位抽出");
  EXPECT_EQ(q.Parameters(), (std::vector<std::pair<std::string, std::string>>{{"Set_Date", "SHORT"}}));
  q.SetParameter("set_date", jet::Value(std::string("3")));  // converted to SHORT
  Recordset rs = q.OpenRecordset();
  std::vector<std::string> names;
  for (int i = 0; i < rs.FieldCount(); ++i) names.push_back(rs.Fields(i).Name());
  EXPECT_EQ(names, (std::vector<std::string>{"TAG_ID", "ページNO", "項目NO", "大項目NO", "中項目NO", "小項目NO", "単位NO",
                                             "TOTAL_FLG", "AVE_FLG", "有効桁", "最大値", "最小値", "MAX_FLG", "MIN_FLG",
                                             "種別", "P種別"}));
  auto rows = all(rs);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][0], num(30));
  EXPECT_EQ(rows[0][2], num(1));
  EXPECT_EQ(rows[0][3], num(3));
  EXPECT_EQ(rows[0][9], jet::Value(std::string("3")));
  EXPECT_EQ(rows[0][12], jet::Value(true));
  EXPECT_EQ(rows[1][0], num(20));
  EXPECT_EQ(rows[1][2], num(5));

  // Without its parameter the query does not run.
  try {
    db.QueryDefs()("月報情報ページ単位抽出").OpenRecordset();
    ADD_FAILURE();
  } catch (const Error& e) {
    EXPECT_EQ(e.jet_code(), jet_errors::kParameterMissing);
    EXPECT_NE(std::string(e.what()).find("Set_Date"), std::string::npos);
  }
  QueryDef sorted = db.QueryDefs()("日報情報ソート");
  auto items = all(sorted.OpenRecordset());
  ASSERT_EQ(items.size(), 5u);
  std::vector<std::pair<jet::Value, jet::Value>> order;
  for (const auto& r : items) order.push_back({r[1], r[2]});
  EXPECT_EQ(order, (std::vector<std::pair<jet::Value, jet::Value>>{
                       {num(2), num(1)}, {num(3), num(1)}, {num(3), num(3)}, {num(3), num(5)}, {num(4), num(2)}}));
}

TEST_F(StoredQueries, ItemQueriesStartWithTheSeedRowAndEmptyUnitsGiveNoRows) {
  add("大項目情報", {{"大項目NO", num(5)}, {"名称", jet::Value(std::string("ボイラ"))}});
  add("大項目情報", {{"大項目NO", num(3)}, {"名称", jet::Value(std::string("タービン"))}});
  auto rows = all(db.OpenRecordset("大項目情報抽出", dbOpenSnapshot));
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], (std::vector<jet::Value>{num(1), jet::Value(std::string())}));
  EXPECT_EQ(rows[1][0], num(3));
  EXPECT_EQ(rows[2][0], num(5));

  db.Close();
  // M_UNITGET over an M_UNIT without rows.
  test::TempDir other;
  schema::ModuleState s;
  s.strDbFolder = other.path().string();
  schema::Module1 m(s, ui);
  m.CreateKanriDb();
  EXPECT_TRUE(all(s.dbKanri.QueryDefs()("M_UNITGET").OpenRecordset()).empty());
}

}  // namespace
}  // namespace mirutone::db
