// What the built tables accept and refuse, row by row through the layer, and
// what the files hold afterwards.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "db/engine.h"
#include "db/errors.h"
#include "db/jet/api/reader.h"
#include "schema/module1.h"
#include "support/recording_ui.h"
#include "support/test_support.h"

namespace mirutone::schema {
namespace {

using Row = std::map<std::string, jet::Value>;

class BuiltDatabases : public ::testing::Test {
 protected:
  void SetUp() override {
    state.strDbFolder = dir.path().string();
    Module1 m(state, ui);
    m.CreateKanriDb();  // no seed rows: the auto-increment tables start empty
    state.dbKanri = db::Database();
    m.CreateDataDb();
    state.dbKanri = db::Database();
    ASSERT_TRUE(ui.boxes.empty());
    kanri = db::DBEngine::Workspaces(0).OpenDatabase((dir / "Ruzevuz.mdb").string());
    data = db::DBEngine::Workspaces(0).OpenDatabase((dir / "NVData.mdb").string());
  }

  // Adds one row; returns 0 when stored, else Jet's error number. The
  // message must name the table.
  static int add(const db::Database& db, const std::string& table, const Row& row) {
    db::Recordset rs = db.OpenRecordset("SELECT * FROM " + table, db::dbOpenDynaset);
    rs.AddNew();
    for (const auto& [field, value] : row) rs.Fields(field).SetValue(value);
    try {
      rs.Update();
    } catch (const db::Error& e) {
      EXPECT_NE(std::string(e.what()).find(table), std::string::npos) << e.what();
      last_message = e.what();
      return e.jet_code();
    }
    rs.Close();
    return 0;
  }

  static std::vector<std::vector<jet::Value>> rows(const std::string& path, const std::string& table) {
    auto r = jet::Reader::open(path);
    auto cur = r->rows(table);
    std::vector<std::vector<jet::Value>> out;
    std::vector<jet::Value> row;
    while (cur->next(row)) out.push_back(row);
    return out;
  }

  test::TempDir dir;
  ModuleState state;
  test::RecordingUi ui;
  db::Database kanri, data;
  static inline std::string last_message;
};

jet::Value text(std::size_t n, char c = 'x') { return std::string(n, c); }
jet::Value num(int n) { return std::int32_t{n}; }

TEST_F(BuiltDatabases, TextSizesAtTheLimitAndOnePast) {
  struct Case {
    std::string table, field;
    std::size_t size;
    Row others;
  };
  int id = 1;
  std::vector<Case> cases = {
      {"M_TAG", "TAG", 30, {}},          {"M_TAG", "TAG名称", 60, {}}, {"M_TAG", "CALC", 40, {}},
      {"M_TAG", "有効桁", 10, {}},        {"M_TAG", "最大値", 12, {}},  {"日報ページタイトル", "TITLE", 40, {}},
      {"パルステーブル", "DATA", 12, {}}, {"大項目情報", "名称", 40, {}}, {"中項目情報", "名称", 12, {}},
      {"小項目情報", "名称", 12, {}},     {"M_UNIT", "名称", 12, {}},
  };
  for (const auto& c : cases) {
    Row fits = c.others, over = c.others;
    if (c.table == "M_TAG" || c.table == "パルステーブル") {
      fits["TAG_ID"] = num(id++);
      over["TAG_ID"] = num(id++);
    }
    if (c.table == "日報ページタイトル") {
      fits["PAGE"] = num(id++);
      over["PAGE"] = num(id++);
    }
    fits[c.field] = text(c.size);
    over[c.field] = text(c.size + 1);
    EXPECT_EQ(add(kanri, c.table, fits), 0) << c.table << "." << c.field;
    EXPECT_EQ(add(kanri, c.table, over), db::jet_errors::kFieldTooSmall) << c.table << "." << c.field;
    EXPECT_NE(last_message.find(c.field), std::string::npos) << last_message;
    EXPECT_NE(last_message.find(std::string(c.size + 1, 'x')), std::string::npos) << last_message;
  }
  for (auto [table, width] : {std::pair{"D_DDAT", 10}, {"D_MDAT", 7}, {"D_YDAT", 4}, {"D_DDATWORK", 10}}) {
    EXPECT_EQ(add(data, table, {{"TAG_ID", num(1)}, {"DATE", text(width, '1')}}), 0) << table;
    EXPECT_EQ(add(data, table, {{"TAG_ID", num(2)}, {"DATE", text(width + 1, '1')}}), db::jet_errors::kFieldTooSmall)
        << table;
  }
  // The refused rows left nothing behind; the stored ones are all there.
  kanri.Close();
  data.Close();
  EXPECT_EQ(rows((dir / "Ruzevuz.mdb").string(), "M_TAG").size(), 5u);
  EXPECT_EQ(rows((dir / "Ruzevuz.mdb").string(), "中項目情報").size(), 1u);
  EXPECT_EQ(rows((dir / "NVData.mdb").string(), "D_DDAT").size(), 1u);
}

// Japanese text counts in characters against the field size. A Jet 3 table
// definition declares bytes, so twelve full-width characters (24 bytes in code
// page 932) are stored whole in a field of twelve.
TEST_F(BuiltDatabases, JapaneseTextIsCountedInCharacters) {
  const std::string twelve = "立方メートル毎時単位名称";      // 12 characters, 24 bytes
  const std::string thirteen = "立方メートル毎時単位名称長";  // 13 characters
  EXPECT_EQ(add(kanri, "M_UNIT", {{"名称", jet::Value(twelve)}}), 0);
  EXPECT_EQ(add(kanri, "M_UNIT", {{"名称", jet::Value(thirteen)}}), db::jet_errors::kFieldTooSmall);
  EXPECT_NE(last_message.find("13 characters"), std::string::npos) << last_message;
  kanri.Close();
  auto r = rows((dir / "Ruzevuz.mdb").string(), "M_UNIT");
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0][1], jet::Value(twelve));
  std::string out;
  ASSERT_EQ(test::run_command("MDB_JET3_CHARSET=CP932 mdb-export '" + (dir / "Ruzevuz.mdb").string() + "' M_UNIT", &out), 0);
  EXPECT_NE(out.find(twelve), std::string::npos) << out;
}

TEST_F(BuiltDatabases, ZeroLengthTextFieldByField) {
  int id = 1;
  for (const char* f : {"TAG", "TAG名称", "CALC"}) {
    EXPECT_EQ(add(kanri, "M_TAG", {{"TAG_ID", num(id++)}, {f, text(0)}}), 0) << f;
  }
  for (const char* f : {"有効桁", "最大値", "最小値"}) {
    EXPECT_EQ(add(kanri, "M_TAG", {{"TAG_ID", num(id++)}, {f, text(0)}}), db::jet_errors::kZeroLengthNotAllowed) << f;
    EXPECT_NE(last_message.find(f), std::string::npos);
  }
  for (const char* t : {"大項目情報", "中項目情報", "小項目情報", "M_UNIT"}) EXPECT_EQ(add(kanri, t, {{"名称", text(0)}}), 0) << t;
  EXPECT_EQ(add(kanri, "パルステーブル", {{"TAG_ID", num(1)}, {"DATA", text(0)}}), db::jet_errors::kZeroLengthNotAllowed);
  EXPECT_EQ(add(kanri, "月報ページタイトル", {{"PAGE", num(1)}, {"TITLE", text(0)}}), db::jet_errors::kZeroLengthNotAllowed);
  EXPECT_EQ(add(data, "D_MDAT", {{"TAG_ID", num(1)}, {"DATE", text(7, '2')}, {"DATA_5", text(0)}, {"TOTAL", text(0)}}), 0);
  EXPECT_EQ(add(data, "D_YDAT", {{"TAG_ID", num(1)}, {"DATE", text(0)}}), db::jet_errors::kZeroLengthNotAllowed);
  EXPECT_EQ(add(data, "パルステーブル", {{"TAG_ID", num(1)}, {"DATA", text(0)}}), db::jet_errors::kZeroLengthNotAllowed);
  data.Close();
  auto r = rows((dir / "NVData.mdb").string(), "D_MDAT");
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0][6], jet::Value(std::string()));   // DATA_5: zero-length, not Null
  EXPECT_EQ(r[0][7], jet::Value());                // DATA_6: never set, Null
}

TEST_F(BuiltDatabases, KeysRefuseDuplicatesAndNull) {
  EXPECT_EQ(add(kanri, "M_TAG", {{"TAG_ID", num(5)}}), 0);
  EXPECT_EQ(add(kanri, "M_TAG", {{"TAG_ID", num(5)}, {"TAG", text(3)}}), db::jet_errors::kDuplicateKey);
  EXPECT_NE(last_message.find("TAG_ID = 5"), std::string::npos) << last_message;
  for (const char* t : {"日報ページタイトル", "年報ページタイトル", "日報出力ページ", "月報出力ページ", "年報出力ページ"}) {
    EXPECT_EQ(add(kanri, t, {{"PAGE", num(2)}}), 0) << t;
    EXPECT_EQ(add(kanri, t, {{"PAGE", num(2)}}), db::jet_errors::kDuplicateKey) << t;
    EXPECT_EQ(add(kanri, t, {}), db::jet_errors::kNullInPrimaryKey) << t;
  }
  EXPECT_EQ(add(kanri, "パルステーブル", {{"TAG_ID", num(9)}, {"DATA", text(2)}}), 0);
  EXPECT_EQ(add(kanri, "パルステーブル", {{"TAG_ID", num(9)}, {"DATA", text(3)}}), db::jet_errors::kDuplicateKey);
  // The item tables have no index: identical rows are accepted.
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(add(kanri, "日報情報", {{"TAG_ID", num(1)}, {"ページNO", num(1)}, {"項目NO", num(1)}}), 0);
  }
  for (const char* t : {"D_DDAT", "D_DDATWORK", "D_MDAT", "D_MDATWORK", "D_YDAT", "D_YDATWORK"}) {
    EXPECT_EQ(add(data, t, {{"TAG_ID", num(1)}, {"DATE", text(4, '1')}}), 0) << t;
    EXPECT_EQ(add(data, t, {{"TAG_ID", num(2)}, {"DATE", text(4, '1')}}), 0) << t;  // same date, other tag
    EXPECT_EQ(add(data, t, {{"TAG_ID", num(1)}, {"DATE", text(4, '2')}}), 0) << t;  // same tag, other date
    EXPECT_EQ(add(data, t, {{"TAG_ID", num(1)}, {"DATE", text(4, '1')}}), db::jet_errors::kDuplicateKey) << t;
    EXPECT_EQ(add(data, t, {{"DATE", text(4, '3')}}), db::jet_errors::kNullInPrimaryKey) << t;
  }
  kanri.Close();
  data.Close();
  const std::string k = (dir / "Ruzevuz.mdb").string();
  EXPECT_EQ(rows(k, "M_TAG").size(), 1u);
  EXPECT_EQ(rows(k, "日報情報").size(), 2u);
  EXPECT_EQ(rows((dir / "NVData.mdb").string(), "D_YDATWORK").size(), 3u);
}

TEST_F(BuiltDatabases, AutoIncrementNumbersAndKeepsWrittenNumbers) {
  EXPECT_EQ(add(kanri, "大項目情報", {{"名称", text(1)}}), 0);
  EXPECT_EQ(add(kanri, "大項目情報", {{"大項目NO", num(7)}, {"名称", text(2)}}), 0);
  EXPECT_EQ(add(kanri, "大項目情報", {{"名称", text(3)}}), 0);
  EXPECT_EQ(add(kanri, "大項目情報", {{"大項目NO", num(7)}}), db::jet_errors::kDuplicateKey);
  kanri.Close();
  // A later session goes on past the highest number.
  kanri = db::DBEngine::Workspaces(0).OpenDatabase((dir / "Ruzevuz.mdb").string());
  EXPECT_EQ(add(kanri, "大項目情報", {{"名称", text(4)}}), 0);
  db::Recordset rs = kanri.OpenRecordset("SELECT * FROM 大項目情報 ORDER BY 大項目NO DESC", db::dbOpenSnapshot);
  std::vector<jet::Value> numbers;
  for (; !rs.Eof(); rs.MoveNext()) numbers.push_back(rs.Fields("大項目no").Value());
  EXPECT_EQ(numbers, (std::vector<jet::Value>{num(9), num(8), num(7), num(1)}));
}

// Values are converted to the field's type as they are assigned, by name in any letter case.
TEST_F(BuiltDatabases, AssignmentConvertsAndMatchesNamesWithoutCase) {
  db::Recordset rs = kanri.OpenRecordset("SELECT * FROM M_TAG", db::dbOpenDynaset);
  rs.AddNew();
  rs.Fields("tag_id").SetValue(jet::Value(std::string("12")));
  rs.Fields("大項目no").SetValue(2.5);  // banker's rounding: 2
  rs.Fields("total_flg").SetValue(num(-1));
  rs.Fields("最大値").SetValue(100000.0);
  rs.Fields("パルスmax").SetValue(jet::Value(std::string("1.5")));
  EXPECT_EQ(rs.Fields("TAG_ID").Value(), num(12));
  try {
    rs.Fields("種別").SetValue(jet::Value(std::string("abc")));
    ADD_FAILURE() << "text that is no number must not become an Integer";
  } catch (const db::Error& e) {
    EXPECT_EQ(e.jet_code(), db::jet_errors::kTypeConversion);
    EXPECT_NE(std::string(e.what()).find("M_TAG.種別"), std::string::npos) << e.what();
  }
  try {
    rs.Fields("P種別").SetValue(num(40000));
    ADD_FAILURE() << "40000 does not fit an Integer";
  } catch (const db::Error& e) {
    EXPECT_EQ(e.jet_code(), db::jet_errors::kNumericOverflow);
  }
  try {
    rs.Fields("NO_SUCH_FIELD");
    ADD_FAILURE();
  } catch (const db::Error& e) {
    EXPECT_EQ(e.jet_code(), db::jet_errors::kUnknownField);
    EXPECT_NE(std::string(e.what()).find("NO_SUCH_FIELD"), std::string::npos);
  }
  rs.Update();
  rs.Close();
  kanri.Close();
  auto r = rows((dir / "Ruzevuz.mdb").string(), "M_TAG");
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0][0], num(12));
  EXPECT_EQ(r[0][4], jet::Value(std::string("100000")));
  EXPECT_EQ(r[0][6], num(2));
  EXPECT_EQ(r[0][10], jet::Value(true));
  EXPECT_EQ(r[0][11], jet::Value(false));  // a Boolean left unset is False
  EXPECT_EQ(r[0][17], jet::Value(1.5));
  EXPECT_EQ(r[0][14], jet::Value());  // 種別 stayed Null after the refused assignment
}

}  // namespace
}  // namespace mirutone::schema
