// The conversion run on small hand-made sources: the order of things, the
// messages, the rules of each copy step, and what a failure leaves behind.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <vector>

#include "platform/path.h"

#include <fstream>
#include <sstream>

#include "convert/run_fixture.h"
#include "convert/run_report.h"
#include "convert/source_builder.h"
#include "db/engine_hook.h"
#include "db/errors.h"

namespace mirutone::test {
namespace {

namespace fs = std::filesystem;
using convert::RunOutcome;

// A tag row with every field filled, as the old product holds a plain analog tag.
Row tag(std::int32_t id, jet::Value p_kind = I(0), jet::Value pulse_max = S("1000"),
        jet::Value factor = S("1")) {
  return {{"TAG_ID", I(id)},     {"Tag", S("FI-" + std::to_string(id))},
          {"TAG名称", S("流量" + std::to_string(id))},
          {"有効桁", I(1)},      {"最大値", D(500)},
          {"最小値", D(0)},      {"大項目NO", I(2)},
          {"中項目NO", I(2)},    {"小項目NO", I(1)},
          {"単位NO", I(2)},      {"TOTAL_FLG", B(true)},
          {"AVE_FLG", B(true)},  {"MAX_FLG", B(false)},
          {"MIN_FLG", B(false)}, {"種別", I(0)},
          {"P種別", p_kind},     {"収集種別", I(0)},
          {"パルスMAX", pulse_max}, {"換算係数", factor},
          {"A", I(0)},           {"B", I(0)},
          {"C", I(0)},           {"D", I(0)},
          {"E", I(0)},           {"F", I(0)},
          {"CALC", S("")}};
}

Row data_row(jet::Value id, const std::string& date, int slots, const std::string& value = "1.0") {
  Row r{{"TAG_ID", id}, {"Date", S(date)}};
  for (int i = 1; i <= slots; ++i) r["DATA_" + std::to_string(i)] = S(value);
  for (const char* n : {"TOTAL", "AVE", "Max", "Min"}) r[n] = S(value);
  return r;
}

std::string file_bytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

class Run : public ::testing::Test {
 protected:
  fs::path source() const { return dir_ / "管理報.mdb"; }
  fs::path kanri() const { return dir_ / "Ruzevuz.mdb"; }
  fs::path data() const { return dir_ / "NVData.mdb"; }

  convert::RunResult run(SourceBuilder& src, int answer = convert::vbYes) {
    src.write(source().string());
    return run_only(answer);
  }
  // A fresh source holding `row` twice in `table` and nothing else.
  convert::RunResult run_with_row_twice(const std::string& table, const Row& row) {
    fs::remove(source());
    SourceBuilder src;
    src.add(table, row);
    src.add(table, row);
    return run(src);
  }
  convert::RunResult run_only(int answer = convert::vbYes) {
    ui_ = RecordingUi(answer);
    state_.strDbFolder = dir_.path().string();
    convert::ConversionRun r(state_, ui_);
    return r.Command1_Click(source().string());
  }

  TempDir dir_;
  schema::ModuleState state_;
  RecordingUi ui_;
};

TEST_F(Run, EmptySourceCompletesWithSeedRowsOnly) {
  SourceBuilder src;
  auto r = run(src);
  ASSERT_EQ(r.outcome, RunOutcome::Completed) << (r.cause ? r.cause->describe() : "");
  EXPECT_FALSE(r.builder_error);
  ASSERT_EQ(ui_.boxes.size(), 2u);
  EXPECT_EQ(ui_.boxes[0].prompt, "コンバートを実行します よろしいですか？");
  EXPECT_EQ(ui_.boxes[0].buttons, 4);
  EXPECT_EQ(ui_.boxes[1].prompt, "データベースコンバート完了");
  EXPECT_EQ(ui_.boxes[1].buttons, 0);
  for (const auto& b : ui_.boxes) EXPECT_EQ(b.title, "確認");
  EXPECT_EQ(ui_.pointers, (std::vector<int>{11, 0}));
  for (const char* t : {"大項目情報", "中項目情報", "小項目情報", "M_UNIT"}) {
    auto rows = read_table(kanri(), t);
    ASSERT_EQ(rows.size(), 1u) << t;
    EXPECT_EQ(rows[0]["名称"], S("")) << t;
  }
  for (const char* t : {"M_TAG", "パルステーブル", "日報情報"}) EXPECT_TRUE(read_table(kanri(), t).empty()) << t;
  for (const char* t : {"D_DDAT", "D_MDAT", "D_YDAT", "D_DDATWORK", "パルステーブル"}) {
    EXPECT_TRUE(read_table(data(), t).empty()) << t;
  }
  // Every step reported its end, in order.
  std::vector<int> done;
  for (const auto& p : ui_.progress) {
    if (p.step_done) done.push_back(p.step);
  }
  ASSERT_EQ(done.size(), 19u);
  for (int i = 0; i < 19; ++i) EXPECT_EQ(done[static_cast<std::size_t>(i)], i + 1);
  EXPECT_EQ(state_.strSql, "SELECT * FROM D_YDAT");
}

TEST_F(Run, AnsweringNoChangesNothing) {
  SourceBuilder src;
  src.write(source().string());
  std::ofstream(kanri()) << "an earlier output";
  auto r = run_only(convert::vbNo);
  EXPECT_EQ(r.outcome, RunOutcome::Declined);
  EXPECT_EQ(ui_.boxes.size(), 1u);
  EXPECT_TRUE(ui_.pointers.empty());
  EXPECT_EQ(file_bytes(kanri()), "an earlier output");
  EXPECT_FALSE(fs::exists(data()));
}

TEST_F(Run, EarlierOutputIsReplacedAndOtherFilesKept) {
  SourceBuilder src;
  src.add("単位情報", {{"単位NO", I(2)}, {"名称", S("℃")}});
  src.write(source().string());
  std::ofstream(kanri()) << "old";
  std::ofstream(data()) << "old";
  std::ofstream(dir_ / "Ruzevuz.mdb.bak") << "keep me";
  ASSERT_EQ(run_only().outcome, RunOutcome::Completed);
  EXPECT_EQ(read_table(kanri(), "M_UNIT").size(), 2u);
  EXPECT_EQ(file_bytes(dir_ / "Ruzevuz.mdb.bak"), "keep me");
  // A second run in the same program starts again and gives the same rows.
  ASSERT_EQ(run_only().outcome, RunOutcome::Completed);
  EXPECT_EQ(read_table(kanri(), "M_UNIT").size(), 2u);
}

TEST_F(Run, TagMasterRules) {
  SourceBuilder src;
  // Stored out of order; pulse kinds on both sides of 2..4; scaling text of every sort.
  src.add("TAG情報マスター", tag(10, I(5), S("abc"), S("0.5")));
  src.add("TAG情報マスター", tag(3, I(3), S(" 1,000 "), S("")));
  src.add("TAG情報マスター", tag(7, I(1), Null, S("2.5E-1")));
  src.add("TAG情報マスター", tag(12, D(4.4), S("0"), S("－")));
  src.add("TAG情報マスター", tag(15, Null, S("1e3"), S("-0.5")));
  src.add("TAG情報マスター", tag(16, D(2), S("x1"), Null));
  auto r = run(src);
  ASSERT_EQ(r.outcome, RunOutcome::Completed) << (r.cause ? r.cause->describe() : "");
  auto rows = read_table(kanri(), "M_TAG");
  ASSERT_EQ(rows.size(), 6u);
  std::vector<std::int32_t> ids;
  for (auto& row : rows) ids.push_back(std::get<std::int32_t>(row["TAG_ID"]));
  EXPECT_EQ(ids, (std::vector<std::int32_t>{3, 7, 10, 12, 15, 16}));  // added in TAG_ID order
  auto by_id = [&](std::int32_t id) -> NamedRow& {
    for (auto& row : rows) {
      if (row["TAG_ID"] == I(id)) return row;
    }
    throw std::runtime_error("no row");
  };
  EXPECT_EQ(by_id(3)["P種別"], I(0));
  EXPECT_EQ(by_id(7)["P種別"], I(1));
  EXPECT_EQ(by_id(10)["P種別"], I(5));
  EXPECT_EQ(by_id(12)["P種別"], I(4));  // 4.4 is not within 2..4: copied, and Integer rounds it
  EXPECT_EQ(by_id(15)["P種別"], Null);
  EXPECT_EQ(by_id(16)["P種別"], I(0));

  EXPECT_EQ(by_id(3)["パルスMAX"], D(1000));
  EXPECT_EQ(by_id(3)["換算係数"], Null);
  EXPECT_EQ(by_id(7)["パルスMAX"], Null);
  EXPECT_EQ(by_id(7)["換算係数"], D(0.25));
  EXPECT_EQ(by_id(10)["パルスMAX"], Null);
  EXPECT_EQ(by_id(10)["換算係数"], D(0.5));
  EXPECT_EQ(by_id(12)["パルスMAX"], D(0));
  EXPECT_EQ(by_id(12)["換算係数"], Null);
  EXPECT_EQ(by_id(15)["パルスMAX"], D(1000));
  EXPECT_EQ(by_id(15)["換算係数"], D(-0.5));
  EXPECT_EQ(by_id(16)["パルスMAX"], Null);

  // The plain fields, through the engine's conversions: Long and Double into Text.
  NamedRow& t = by_id(10);
  EXPECT_EQ(t["TAG"], S("FI-10"));
  EXPECT_EQ(t["TAG名称"], S("流量10"));
  EXPECT_EQ(t["有効桁"], S("1"));
  EXPECT_EQ(t["最大値"], S("500"));
  EXPECT_EQ(t["TOTAL_FLG"], B(true));
  EXPECT_EQ(t["MAX_FLG"], B(false));
  EXPECT_EQ(t["CALC"], S(""));
}

TEST_F(Run, DuplicateTagStopsAtTheSecondAndKeepsTheFirst) {
  SourceBuilder src;
  src.add("TAG情報マスター", tag(2));
  src.add("TAG情報マスター", tag(5));
  src.add("TAG情報マスター", tag(5));
  src.add("パルステーブル", {{"TAG_ID", I(2)}, {"Data", S("x")}});
  auto r = run(src);
  ASSERT_EQ(r.outcome, RunOutcome::Failed);
  ASSERT_TRUE(r.cause);
  EXPECT_EQ(r.cause->step, 1);
  EXPECT_EQ(r.cause->row, 3);
  EXPECT_EQ(r.cause->jet_code, 3022);
  EXPECT_EQ(r.cause->source_table, "TAG情報マスター");
  EXPECT_EQ(ui_.boxes.back().prompt, convert::kFailedPrompt);
  EXPECT_EQ(ui_.boxes.back().buttons, 0);
  EXPECT_EQ(ui_.pointers.back(), 0);
  // The outputs are closed and readable; rows stored before the failure stay,
  // later steps did not run.
  EXPECT_EQ(read_table(kanri(), "M_TAG").size(), 2u);
  EXPECT_TRUE(read_table(kanri(), "パルステーブル").empty());
  EXPECT_TRUE(state_.dbKanri.IsNothing());
  EXPECT_TRUE(state_.rsTarget.IsNothing());
}

TEST_F(Run, ReportLayoutStepsCarryEveryRowAndRefuseWhatDoesNotFit) {
  SourceBuilder src;
  src.add("パルステーブル", {{"TAG_ID", I(1)}, {"Data", Null}});
  src.add("パルステーブル", {{"TAG_ID", I(4)}, {"Data", S("123456789012")}});
  src.add("日報ページタイトル", {{"Page", I(1)}, {"Title", S("取水")}});
  src.add("月報出力ページ", {{"Page", I(2)}});
  // Report items have no key in the target: duplicates arrive as they are.
  for (int i = 0; i < 2; ++i) src.add("年報情報", {{"TAG_ID", I(4)}, {"ページNO", I(1)}, {"項目NO", I(1)}});
  auto r = run(src);
  ASSERT_EQ(r.outcome, RunOutcome::Completed) << (r.cause ? r.cause->describe() : "");
  auto pulse = read_table(kanri(), "パルステーブル");
  ASSERT_EQ(pulse.size(), 2u);
  EXPECT_EQ(pulse[0]["DATA"], Null);
  EXPECT_EQ(pulse[1]["DATA"], S("123456789012"));
  EXPECT_EQ(read_table(data(), "パルステーブル").size(), 2u);  // copied a second time
  auto titles = read_table(kanri(), "日報ページタイトル");
  ASSERT_EQ(titles.size(), 1u);
  EXPECT_EQ(titles[0]["PAGE"], I(1));
  EXPECT_EQ(titles[0]["TITLE"], S("取水"));
  EXPECT_EQ(read_table(kanri(), "月報出力ページ").size(), 1u);
  EXPECT_EQ(read_table(kanri(), "年報情報").size(), 2u);
}

struct Refusal {
  const char* table;
  Row row;
  int step;
  const char* field;
  int jet_code;
};

TEST_F(Run, ValuesTheTargetRefusesEndTheRunNamingRowAndField) {
  const Refusal cases[] = {
      {"日報ページタイトル", {{"Page", I(1)}, {"Title", S(std::string(41, 'x'))}}, 3, "TITLE", 3163},
      {"月報ページタイトル", {{"Page", I(1)}, {"Title", S("")}}, 4, "TITLE", 3315},
      {"年報出力ページ", {{"Page", I(70000)}}, 8, "Page", 3349},
      {"パルステーブル", {{"TAG_ID", I(1)}, {"Data", S("1234567890123")}}, 2, "DATA", 3163},
      {"中項目情報", {{"中項目NO", I(3)}, {"名称", S("１２３４５６７８９０１２３")}}, 13, "名称", 3163},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.table);
    auto r = run_with_row_twice(c.table, c.row);
    ASSERT_EQ(r.outcome, RunOutcome::Failed);
    ASSERT_TRUE(r.cause);
    EXPECT_EQ(r.cause->step, c.step);
    EXPECT_EQ(r.cause->row, 1);
    // The field is named by the refusal (at Update) or by the run (at assignment).
    EXPECT_NE(r.cause->describe().find(c.field), std::string::npos) << r.cause->describe();
    EXPECT_EQ(r.cause->jet_code, c.jet_code) << r.cause->describe();
    EXPECT_NE(r.cause->describe().find(c.table), std::string::npos) << r.cause->describe();
  }
}

struct Duplicate {
  const char* table;
  Row row;
  int step;
};

TEST_F(Run, DuplicateKeyInEachKindOfStepStopsAtTheSecondRow) {
  const Duplicate cases[] = {
      {"パルステーブル", {{"TAG_ID", I(4)}, {"Data", S("a")}}, 2},
      {"月報ページタイトル", {{"Page", I(2)}, {"Title", S("b")}}, 4},
      {"日報出力ページ", {{"Page", I(2)}}, 6},
      {"小項目情報", {{"小項目NO", I(3)}, {"名称", S("c")}}, 14},
      {"単位情報", {{"単位NO", I(3)}, {"名称", S("d")}}, 15},
      {"月報データ情報", data_row(I(5), "2024/05", 31), 18},
      {"年報データ情報", data_row(I(5), "2024", 12), 19},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.table);
    auto r = run_with_row_twice(c.table, c.row);
    ASSERT_EQ(r.outcome, RunOutcome::Failed);
    EXPECT_EQ(r.cause->step, c.step);
    EXPECT_EQ(r.cause->row, 2);
    EXPECT_EQ(r.cause->jet_code, 3022) << r.cause->describe();
    EXPECT_EQ(r.rows_copied, 1);
  }
}

TEST_F(Run, ItemAndUnitListsKeepNumberOneForTheSeedRow) {
  SourceBuilder src;
  src.add("大項目情報", {{"大項目NO", I(1)}, {"名称", S("未分類")}});
  src.add("大項目情報", {{"大項目NO", I(9)}, {"名称", S("配水池")}});
  src.add("大項目情報", {{"大項目NO", Null}, {"名称", S("番号なし")}});
  src.add("大項目情報", {{"大項目NO", I(2)}, {"名称", S("")}});
  src.add("大項目情報", {{"大項目NO", I(5)}, {"名称", S("ろ過")}});
  src.add("単位情報", {{"単位NO", I(1)}, {"名称", S("なし")}});
  src.add("単位情報", {{"単位NO", I(3)}, {"名称", S("℃")}});
  // A Yes/No number field: False is 0 and True -1, neither is the seed row's 1.
  for (auto& c : src.design("中項目情報").columns) {
    if (c.name == "中項目NO") c.type = jet::ColumnType::Boolean;
  }
  src.add("中項目情報", {{"中項目NO", B(false)}, {"名称", S("偽")}});
  src.add("中項目情報", {{"中項目NO", B(true)}, {"名称", S("真")}});
  auto r = run(src);
  ASSERT_EQ(r.outcome, RunOutcome::Completed) << (r.cause ? r.cause->describe() : "");
  auto major = read_table(kanri(), "大項目情報");
  std::map<std::int32_t, jet::Value> names;
  for (auto& row : major) names[std::get<std::int32_t>(row["大項目NO"])] = row["名称"];
  EXPECT_EQ(names, (std::map<std::int32_t, jet::Value>{{1, S("")}, {2, S("")}, {5, S("ろ過")}, {9, S("配水池")}}));
  auto units = read_table(kanri(), "M_UNIT");
  ASSERT_EQ(units.size(), 2u);
  EXPECT_EQ(units[0]["名称"], S(""));
  EXPECT_EQ(units[1]["単位NO"], I(3));
  std::map<std::int32_t, jet::Value> middle;
  for (auto& row : read_table(kanri(), "中項目情報")) middle[std::get<std::int32_t>(row["中項目NO"])] = row["名称"];
  EXPECT_EQ(middle, (std::map<std::int32_t, jet::Value>{{-1, S("真")}, {0, S("偽")}, {1, S("")}}));
  EXPECT_EQ(r.rows_copied, 6);
}

TEST_F(Run, DailyRowsWithoutATagAreSkippedQuietly) {
  SourceBuilder src;
  src.add("日報データ情報", data_row(Null, "2024/04/01", 24));
  src.add("日報データ情報", data_row(S(""), "2024/04/01", 24));
  src.add("日報データ情報", data_row(S("7"), "2024/04/01", 24, "12.5"));
  Row odd = data_row(S("8"), "2024/04/01", 24, "");
  odd["DATA_3"] = Null;
  odd["Max"] = S("123456789012");
  src.add("日報データ情報", odd);
  src.add("月報データ情報", data_row(I(7), "2024/04", 31));
  src.add("年報データ情報", data_row(I(7), "2024", 12));
  auto r = run(src);
  ASSERT_EQ(r.outcome, RunOutcome::Completed) << (r.cause ? r.cause->describe() : "");
  EXPECT_EQ(ui_.boxes.size(), 2u);
  auto daily = read_table(data(), "D_DDAT");
  ASSERT_EQ(daily.size(), 2u);
  EXPECT_EQ(daily[0]["TAG_ID"], I(7));
  EXPECT_EQ(daily[0]["DATE"], S("2024/04/01"));
  EXPECT_EQ(daily[0]["DATA_24"], S("12.5"));
  EXPECT_EQ(daily[0]["MIN"], S("12.5"));
  EXPECT_EQ(daily[1]["DATA_1"], S(""));
  EXPECT_EQ(daily[1]["DATA_3"], Null);
  EXPECT_EQ(daily[1]["MAX"], S("123456789012"));
  EXPECT_EQ(read_table(data(), "D_MDAT")[0]["DATA_31"], S("1.0"));
  EXPECT_EQ(read_table(data(), "D_YDAT")[0]["DATE"], S("2024"));
  EXPECT_TRUE(read_table(data(), "D_DDATWORK").empty());

  // The step's record and progress count the skipped rows, against the
  // rows the source table holds.
  const convert::StepRecord& step17 = r.steps[16];
  EXPECT_EQ(step17.source_rows, 4);
  EXPECT_EQ(step17.read, 4);
  EXPECT_EQ(step17.copied, 2);
  EXPECT_EQ(step17.skipped, 2);
  EXPECT_EQ(step17.skip_rule, "{1} is Null or empty");
  auto last17 = std::find_if(ui_.progress.rbegin(), ui_.progress.rend(),
                             [](const convert::Progress& p) { return p.step == 17 && p.step_done; });
  ASSERT_NE(last17, ui_.progress.rend());
  EXPECT_EQ(last17->source_rows, 4);
  EXPECT_EQ(last17->copied, 2);
  EXPECT_EQ(ui_.progress.back().all_rows, 6);
  EXPECT_EQ(ui_.progress.back().all_read, 6);
}

TEST_F(Run, MonthlyRowWithoutATagFailsAfterTheRowsBeforeIt) {
  SourceBuilder src;
  src.add("月報データ情報", data_row(I(1), "2024/04", 31));
  src.add("月報データ情報", data_row(I(2), "2024/04", 31));
  src.add("月報データ情報", data_row(Null, "2024/04", 31));
  src.add("年報データ情報", data_row(I(1), "2024", 12));
  auto r = run(src);
  ASSERT_EQ(r.outcome, RunOutcome::Failed);
  EXPECT_EQ(r.cause->step, 18);
  EXPECT_EQ(r.cause->row, 3);
  EXPECT_EQ(r.cause->jet_code, 3058);
  EXPECT_EQ(read_table(data(), "D_MDAT").size(), 2u);
  EXPECT_TRUE(read_table(data(), "D_YDAT").empty());
}

TEST_F(Run, DuplicateDailyKeyAndOverlongDateFail) {
  {
    SourceBuilder src;
    src.add("日報データ情報", data_row(S("3"), "2024/04/01", 24));
    src.add("日報データ情報", data_row(S("3"), "2024/04/01", 24));
    auto r = run(src);
    ASSERT_EQ(r.outcome, RunOutcome::Failed);
    EXPECT_EQ(r.cause->step, 17);
    EXPECT_EQ(r.cause->jet_code, 3022);
    EXPECT_EQ(read_table(data(), "D_DDAT").size(), 1u);
  }
  {
    SourceBuilder src;
    src.add("年報データ情報", data_row(I(3), "2024/", 12));
    fs::remove(source());
    auto r = run(src);
    ASSERT_EQ(r.outcome, RunOutcome::Failed);
    EXPECT_EQ(r.cause->step, 19);
    // Update refuses the row; its message names the field and the value.
    EXPECT_EQ(r.cause->jet_code, 3163);
    EXPECT_NE(r.cause->describe().find("DATE"), std::string::npos) << r.cause->describe();
    EXPECT_NE(r.cause->describe().find("2024/"), std::string::npos) << r.cause->describe();
  }
}

TEST_F(Run, MissingSourceTableOrFieldFailsAtItsStep) {
  {
    SourceBuilder src;
    src.add("日報情報", {{"TAG_ID", I(1)}, {"ページNO", I(1)}, {"項目NO", I(1)}});
    src.drop("月報情報");
    fs::remove(source());
    auto r = run(src);
    ASSERT_EQ(r.outcome, RunOutcome::Failed);
    EXPECT_EQ(r.cause->step, 10);
    EXPECT_EQ(r.cause->jet_code, 3078);
    EXPECT_EQ(read_table(kanri(), "日報情報").size(), 1u);
  }
  {
    SourceBuilder src;
    auto& cols = src.design("年報データ情報").columns;
    for (auto it = cols.begin(); it != cols.end(); ++it) {
      if (it->name == "DATA_12") {
        cols.erase(it);
        break;
      }
    }
    Row row = data_row(I(1), "2024", 11);
    src.add("年報データ情報", row);
    fs::remove(source());
    auto r = run(src);
    ASSERT_EQ(r.outcome, RunOutcome::Failed);
    EXPECT_EQ(r.cause->step, 19);
    EXPECT_EQ(r.cause->field, "DATA_12");
    EXPECT_EQ(r.cause->jet_code, 3265);
  }
}

TEST_F(Run, FieldNamesMatchWhateverTheirCase) {
  SourceBuilder src;
  for (auto& c : src.design("パルステーブル").columns) {
    if (c.name == "Data") c.name = "DATA";
  }
  for (auto& c : src.design("年報データ情報").columns) {
    if (c.name == "Max") c.name = "MAX";
    if (c.name == "Date") c.name = "DATE";
  }
  src.add("パルステーブル", {{"TAG_ID", I(1)}, {"DATA", S("p")}});
  Row y = data_row(I(1), "2024", 12);
  y.erase("Max");
  y.erase("Date");
  y["MAX"] = S("9");
  y["DATE"] = S("2025");
  src.add("年報データ情報", y);
  // Columns beyond what a step reads are ignored.
  src.design("年報データ情報").columns.push_back({"DATA_13", jet::ColumnType::Text, 20});
  auto r = run(src);
  ASSERT_EQ(r.outcome, RunOutcome::Completed) << (r.cause ? r.cause->describe() : "");
  EXPECT_EQ(read_table(data(), "パルステーブル")[0]["DATA"], S("p"));
  auto yearly = read_table(data(), "D_YDAT");
  EXPECT_EQ(yearly[0]["MAX"], S("9"));
  EXPECT_EQ(yearly[0]["DATE"], S("2025"));
}

TEST_F(Run, SourceThatIsAnOutputFileIsRefusedUntouched) {
  SourceBuilder src;
  src.write(kanri().string());
  const std::string before = file_bytes(kanri());
  ui_ = RecordingUi();
  state_.strDbFolder = dir_.path().string();
  convert::ConversionRun run(state_, ui_);
  // By its own name, by another spelling, and through a link.
  fs::create_directory(dir_ / "sub");
#ifdef _WIN32
  fs::create_hard_link(kanri(), dir_ / "link.mdb");  // Wine makes no symbolic links
#else
  fs::create_symlink(kanri(), dir_ / "link.mdb");
#endif
  for (const fs::path& p : {kanri(), dir_ / "sub" / ".." / "Ruzevuz.mdb", dir_ / "link.mdb"}) {
    SCOPED_TRACE(p.string());
    auto r = run.Command1_Click(p.string());
    EXPECT_EQ(r.outcome, RunOutcome::Refused);
    EXPECT_EQ(ui_.boxes.back().prompt, convert::kSameFilePrompt);
  }
  EXPECT_EQ(file_bytes(kanri()), before);
  EXPECT_FALSE(fs::exists(data()));
}

TEST_F(Run, WithoutAChosenFolderTheOutputsGoBesideTheSource) {
  SourceBuilder src;
  fs::create_directory(dir_ / "plant");
  src.write((dir_ / "plant" / "old.mdb").string());
  RecordingUi ui;
  schema::ModuleState state;  // no browse: strDbFolder is empty
  auto r = convert::ConversionRun(state, ui).Command1_Click((dir_ / "plant" / "old.mdb").string());
  ASSERT_EQ(r.outcome, RunOutcome::Completed) << (r.cause ? r.cause->describe() : "");
  EXPECT_TRUE(fs::exists(dir_ / "plant" / "Ruzevuz.mdb"));
  EXPECT_TRUE(fs::exists(dir_ / "plant" / "NVData.mdb"));
  EXPECT_TRUE(state.strDbFolder.empty());

  // A folder chosen earlier wins over the source's own folder.
  state.strDbFolder = dir_.path().string();
  r = convert::ConversionRun(state, ui).Command1_Click((dir_ / "plant" / "old.mdb").string());
  ASSERT_EQ(r.outcome, RunOutcome::Completed);
  EXPECT_TRUE(fs::exists(kanri()));
  EXPECT_EQ(state.strDbFolder, dir_.path().string());
}

TEST_F(Run, SourceThatCannotBeReadFailsBeforeTheOutputsAreTouched) {
  SourceBuilder good;
  good.add("単位情報", {{"単位NO", I(4)}, {"名称", S("ｋＰａ")}});
  ASSERT_EQ(run(good).outcome, RunOutcome::Completed);
  const std::string kanri_before = file_bytes(kanri()), data_before = file_bytes(data());

  std::ofstream(dir_ / "text.mdb") << "not a database";
  fs::create_directory(dir_ / "folder.mdb");
  struct Case {
    std::string path;
    int jet_code;
  };
  std::vector<Case> cases{Case{platform::utf8_path(dir_ / "存在しない.mdb"), 3024}, Case{"", 3024},
                          Case{platform::utf8_path(dir_ / "text.mdb"), 3049},
                          Case{platform::utf8_path(dir_ / "folder.mdb"), 3049}};
#ifndef _WIN32
  ASSERT_EQ(::mkfifo((dir_ / "fifo.mdb").c_str(), 0600), 0);  // opening it would wait for a writer
  cases.push_back(Case{(dir_ / "fifo.mdb").string(), 3049});
#endif
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    ui_ = RecordingUi();
    auto r = convert::ConversionRun(state_, ui_).Command1_Click(c.path);
    ASSERT_EQ(r.outcome, RunOutcome::Failed);
    EXPECT_EQ(ui_.boxes.back().prompt, convert::kFailedPrompt);
    EXPECT_EQ(r.cause->stage, "checking the source database {1}");
    EXPECT_EQ(r.cause->jet_code, c.jet_code) << r.cause->describe();
    EXPECT_TRUE(r.steps.empty());
    EXPECT_EQ(file_bytes(kanri()), kanri_before);
    EXPECT_EQ(file_bytes(data()), data_before);
  }
  EXPECT_EQ(file_bytes(dir_ / "text.mdb"), "not a database");
}

TEST_F(Run, BuilderErrorIsReportedEvenWhenTheRunCompletes) {
  SourceBuilder src;
  src.write(source().string());
  db::ScopedEngineCallHook hook([](std::string_view op, std::string_view object) {
    if (op == "CreateQueryDef" && object == "M_UNITGET") throw db::Error(3000, "injected");
  });
  auto r = run_only();
  // The last stored query is missing, which no copy step needs.
  EXPECT_EQ(r.outcome, RunOutcome::Completed);
  EXPECT_TRUE(r.builder_error);
  ASSERT_EQ(ui_.boxes.size(), 3u);
  EXPECT_EQ(ui_.boxes[1].prompt, "ＤＢ作成エラー");
  EXPECT_EQ(ui_.boxes[2].prompt, "データベースコンバート完了");
}

// Asks the run to stop when a chosen step begins, as Ctrl-C in the terminal does.
class StoppingUi : public RecordingUi {
 public:
  explicit StoppingUi(int at_step) : at_step_(at_step) {}
  void ReportProgress(const convert::Progress& p) override {
    RecordingUi::ReportProgress(p);
    if (p.step == at_step_ && p.rows == 0) convert::request_stop();
  }

 private:
  int at_step_;
};

TEST_F(Run, StopRequestEndsTheRunWithClosedCompleteFiles) {
  SourceBuilder src;
  src.add("TAG情報マスター", tag(1));
  src.add("日報データ情報", data_row(S("1"), "2024/04/01", 24));
  src.add("月報データ情報", data_row(I(1), "2024/04", 31));
  src.write(source().string());
  StoppingUi ui(18);
  state_.strDbFolder = dir_.path().string();
  auto r = convert::ConversionRun(state_, ui).Command1_Click(source().string());
  ASSERT_EQ(r.outcome, RunOutcome::Failed);
  EXPECT_EQ(r.cause->step, 18);
  EXPECT_EQ(r.cause->row, 1);
  EXPECT_NE(r.cause->message.find("stopped by the user"), std::string::npos) << r.cause->message;
  EXPECT_EQ(ui.boxes.back().prompt, convert::kFailedPrompt);
  EXPECT_TRUE(r.stopped);
  ASSERT_EQ(r.steps.size(), 18u);
  EXPECT_TRUE(r.steps[16].done);
  EXPECT_FALSE(r.steps[17].done);
  EXPECT_EQ(r.steps[17].read, 0);
  const std::string status = convert::status_text(r);
  EXPECT_NE(status.find("The output files are incomplete: do not use them."), std::string::npos) << status;
  EXPECT_NE(status.find("  step 18/19 月報データ情報 -> D_MDAT: 0 read, 0 copied, 0 skipped; not finished\n"
                        "step 19 was not run"),
            std::string::npos)
      << status;
  EXPECT_EQ(read_table(kanri(), "M_TAG").size(), 1u);
  EXPECT_EQ(read_table(data(), "D_DDAT").size(), 1u);
  EXPECT_TRUE(read_table(data(), "D_MDAT").empty());
  // The request belongs to that run: the next one goes through.
  RecordingUi again;
  EXPECT_EQ(convert::ConversionRun(state_, again).Command1_Click(source().string()).outcome, RunOutcome::Completed);
}

TEST_F(Run, FailedRunReleasesTheFilesSoTheNextRunCanReplaceThem) {
  SourceBuilder bad;
  bad.drop("年報データ情報");
  auto r = run(bad);
  ASSERT_EQ(r.outcome, RunOutcome::Failed);
  EXPECT_EQ(r.cause->step, 19);
  fs::remove(source());
  SourceBuilder good;
  good.add("単位情報", {{"単位NO", I(4)}, {"名称", S("ｋＰａ")}});
  r = run(good);
  ASSERT_EQ(r.outcome, RunOutcome::Completed) << (r.cause ? r.cause->describe() : "");
  EXPECT_EQ(read_table(kanri(), "M_UNIT").size(), 2u);
}

TEST(RunReport, ProgressCountsTheStepsRowsAndEstimatesTheRest) {
  convert::Progress p{17, 19, "日報データ情報", 1234, 1200, "D_DDAT"};
  p.source_rows = 50000;
  p.all_rows = 1000;
  p.all_read = 250;
  EXPECT_EQ(convert::progress_text(p), "step 17/19 日報データ情報 -> D_DDAT: 1,234 of 50,000 rows (1,200 copied)");
  EXPECT_DOUBLE_EQ(convert::step_fraction(p), 1234.0 / 50000);
  EXPECT_EQ(convert::time_left(p, 10), "about 30 s left");
  EXPECT_EQ(convert::time_left(p, 100), "about 5 min 0 s left");
  EXPECT_EQ(convert::time_left(p, 0.5), "") << "too early to tell";
  // A table definition that counts too few rows never shows more than all.
  p.source_rows = 1000;
  p.rows = p.copied = 1500;
  EXPECT_EQ(convert::progress_text(p), "step 17/19 日報データ情報 -> D_DDAT: 1,500 of 1,500 rows");
  EXPECT_DOUBLE_EQ(convert::step_fraction(p), 1.0);
}

}  // namespace
}  // namespace mirutone::test
