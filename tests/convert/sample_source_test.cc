// The sample management database: read back with our reader and with
// mdbtools, it must hold every table and field the conversion reads, the odd
// rows an old database has, and only values the new databases accept.
#include "apps/sample_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>

#include "db/jet/api/reader.h"
#include "support/test_support.h"

namespace mirutone::convert {
namespace {

using jet::ColumnType;
using jet::Value;

constexpr int kTags = 45;
constexpr int kDays = 70;  // 2024/04/01 .. 2024/06/09

using Rows = std::vector<std::vector<Value>>;

// Days on which the old collector left rows without a tag.
int orphan_days() {
  int n = 0;
  for (int d = 0; d < kDays; ++d) n += d % 30 == 10;
  return n;
}

// Bytes a UTF-8 text takes in code page 932 (the sample uses no half-width kana).
int cp932_bytes(const std::string& s) {
  int n = 0;
  for (unsigned char c : s) {
    if (c < 0x80) ++n;
    else if ((c & 0xC0) != 0x80) n += 2;
  }
  return n;
}

const std::string& text(const Value& v) { return std::get<std::string>(v); }

// Exit status of a shell command; `out` receives what it printed.
int run(const std::string& cmd, std::string* out) {
  out->clear();
  return test::run_command(cmd, out);
}

bool reads_as_number(const std::string& s) {
  if (s.empty()) return false;
  char* end = nullptr;
  std::strtod(s.c_str(), &end);
  return *end == '\0';
}

class SampleSource : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new test::TempDir;
    path_ = (*dir_ / "管理報.mdb").string();
    summary_ = make_sample_source(path_, {kTags, kDays});
    db_ = jet::Reader::open(path_).release();
  }
  static void TearDownTestSuite() {
    delete db_;
    delete dir_;
  }

  static Rows rows(const std::string& table) {
    Rows out;
    std::vector<Value> r;
    auto cur = db_->rows(table);
    while (cur->next(r)) out.push_back(r);
    return out;
  }
  static int column(const std::string& table, const std::string& name) {
    const auto& cols = db_->table(table).columns;
    for (std::size_t i = 0; i < cols.size(); ++i)
      if (cols[i].name == name) return static_cast<int>(i);
    ADD_FAILURE() << table << " has no field " << name;
    return 0;
  }
  static std::vector<Value> values(const std::string& table, const std::string& name) {
    int c = column(table, name);
    std::vector<Value> out;
    for (const auto& r : rows(table)) out.push_back(r[c]);
    return out;
  }

  static test::TempDir* dir_;
  static std::string path_;
  static SampleSummary summary_;
  static jet::Reader* db_;
};

test::TempDir* SampleSource::dir_ = nullptr;
std::string SampleSource::path_;
SampleSummary SampleSource::summary_;
jet::Reader* SampleSource::db_ = nullptr;

TEST_F(SampleSource, IsAJet3DatabaseInCodePage932WithEverySourceTable) {
  EXPECT_EQ(db_->format(), jet::Format::Jet3);
  EXPECT_EQ(db_->header_codepage(), 932);
  EXPECT_EQ(db_->sort_order(), 0x0411);
  std::set<std::string> names;
  for (const auto& n : db_->table_names()) names.insert(n);
  for (const char* t :
       {"TAG情報マスター", "パルステーブル", "日報ページタイトル", "月報ページタイトル", "年報ページタイトル",
        "日報出力ページ", "月報出力ページ", "年報出力ページ", "日報情報", "月報情報", "年報情報",
        "大項目情報", "中項目情報", "小項目情報", "単位情報", "日報データ情報", "月報データ情報",
        "年報データ情報"}) {
    EXPECT_TRUE(names.count(t)) << t;
  }
  EXPECT_EQ(names.size(), 18u);
}

TEST_F(SampleSource, FieldsAreSpelledAndTypedAsTheOldProductLeftThem) {
  const auto& tag = db_->table("TAG情報マスター");
  std::vector<std::string> got;
  for (const auto& c : tag.columns) got.push_back(c.name);
  const std::vector<std::string> want = {
      "TAG_ID", "Tag", "TAG名称", "有効桁", "最大値", "最小値", "大項目NO", "中項目NO", "小項目NO",
      "単位NO", "TOTAL_FLG", "AVE_FLG", "MAX_FLG", "MIN_FLG", "種別", "P種別", "収集種別",
      "パルスMAX", "換算係数", "A", "B", "C", "D", "E", "F", "CALC"};
  EXPECT_EQ(got, want);
  auto type_of = [](const std::string& t, const std::string& f) {
    return db_->table(t).columns[column(t, f)].type;
  };
  EXPECT_EQ(type_of("TAG情報マスター", "TAG_ID"), ColumnType::Long);
  EXPECT_EQ(type_of("TAG情報マスター", "P種別"), ColumnType::Integer);
  EXPECT_EQ(type_of("TAG情報マスター", "有効桁"), ColumnType::Integer);
  EXPECT_EQ(type_of("TAG情報マスター", "最大値"), ColumnType::Double);
  EXPECT_EQ(type_of("TAG情報マスター", "パルスMAX"), ColumnType::Text);
  EXPECT_EQ(type_of("TAG情報マスター", "換算係数"), ColumnType::Text);
  EXPECT_EQ(type_of("TAG情報マスター", "TOTAL_FLG"), ColumnType::Boolean);
  ASSERT_FALSE(tag.indexes.empty());
  EXPECT_TRUE(tag.indexes[0].primary);
  EXPECT_EQ(tag.indexes[0].columns, std::vector<std::string>{"TAG_ID"});

  column("パルステーブル", "Data");
  for (const char* r : {"日報", "月報", "年報"}) {
    const std::string report = r;
    column(report + "ページタイトル", "Page");
    column(report + "ページタイトル", "Title");
    column(report + "出力ページ", "Page");
    for (const char* f : {"TAG_ID", "ページNO", "項目NO"}) column(report + "情報", f);
  }
  for (const char* t : {"大項目情報", "中項目情報", "小項目情報", "単位情報"}) column(t, "名称");

  const std::pair<const char*, int> data[] = {{"日報データ情報", 24}, {"月報データ情報", 31}, {"年報データ情報", 12}};
  for (const auto& [t, slots] : data) {
    for (const char* f : {"TAG_ID", "Date", "TOTAL", "AVE", "Max", "Min"}) column(t, f);
    for (int s = 1; s <= slots; ++s) column(t, "DATA_" + std::to_string(s));
    EXPECT_EQ(db_->table(t).columns.size(), static_cast<std::size_t>(slots + 6)) << t;
  }
  // Daily rows may lack a tag: text, and no key that would refuse that.
  EXPECT_EQ(type_of("日報データ情報", "TAG_ID"), ColumnType::Text);
  for (const auto& ix : db_->table("日報データ情報").indexes) EXPECT_FALSE(ix.primary || ix.unique);
}

TEST_F(SampleSource, RowCountsFollowTheOptions) {
  const std::map<std::string, long long> want = {
      {"TAG情報マスター", kTags},
      {"日報情報", kTags + 1},  // one place entered twice
      {"月報情報", kTags},
      {"日報ページタイトル", (kTags + 19) / 20},
      {"年報ページタイトル", (kTags + 9) / 10},
      {"日報データ情報", 1LL * kTags * kDays + 2 * orphan_days()},
      {"月報データ情報", kTags * 3LL},  // April, May, June
      {"年報データ情報", kTags},
  };
  for (const auto& [table, n] : want) {
    EXPECT_EQ(static_cast<long long>(rows(table).size()), n) << table;
    EXPECT_EQ(summary_.rows.at(table), n) << table;
  }
  for (const auto& name : db_->table_names())
    EXPECT_EQ(static_cast<long long>(rows(name).size()), summary_.rows.at(name)) << name;
}

TEST_F(SampleSource, HoldsTheOddRowsTheConversionHandles) {
  // Item and unit lists all start with number 1.
  for (const auto& [t, f] : std::map<std::string, std::string>{
           {"大項目情報", "大項目NO"}, {"中項目情報", "中項目NO"}, {"小項目情報", "小項目NO"}, {"単位情報", "単位NO"}}) {
    auto nos = values(t, f);
    EXPECT_NE(std::find(nos.begin(), nos.end(), Value{std::int32_t{1}}), nos.end()) << t;
  }

  // Pulse kinds 0..5 and a Null.
  std::set<int> kinds;
  bool null_kind = false;
  for (const auto& v : values("TAG情報マスター", "P種別")) {
    if (jet::is_null(v)) null_kind = true;
    else kinds.insert(std::get<std::int32_t>(v));
  }
  EXPECT_EQ(kinds, (std::set<int>{0, 1, 2, 3, 4, 5}));
  EXPECT_TRUE(null_kind);

  // Scaling settings: numbers, words, empty text and Null.
  for (const char* f : {"パルスMAX", "換算係数"}) {
    int numeric = 0, words = 0, empty = 0, null = 0;
    for (const auto& v : values("TAG情報マスター", f)) {
      if (jet::is_null(v)) ++null;
      else if (text(v).empty()) ++empty;
      else if (reads_as_number(text(v))) ++numeric;
      else ++words;
    }
    EXPECT_GT(numeric, 0) << f;
    EXPECT_GT(words, 0) << f;
    EXPECT_GT(empty, 0) << f;
    EXPECT_GT(null, 0) << f;
  }
  auto factors = values("TAG情報マスター", "換算係数");
  EXPECT_NE(std::find(factors.begin(), factors.end(), Value{std::string("0.5")}), factors.end());

  // Tags stored out of number order, numbered with gaps.
  std::vector<std::int32_t> ids;
  for (const auto& v : values("TAG情報マスター", "TAG_ID")) ids.push_back(std::get<std::int32_t>(v));
  EXPECT_FALSE(std::is_sorted(ids.begin(), ids.end()));
  std::sort(ids.begin(), ids.end());
  EXPECT_GT(ids.back() - ids.front() + 1, static_cast<int>(ids.size()));

  // Daily rows without a tag, both Null and empty.
  int null_tag = 0, empty_tag = 0;
  for (const auto& v : values("日報データ情報", "TAG_ID")) {
    if (jet::is_null(v)) ++null_tag;
    else if (text(v).empty()) ++empty_tag;
  }
  EXPECT_EQ(null_tag, orphan_days());
  EXPECT_EQ(empty_tag, orphan_days());
  EXPECT_GT(orphan_days(), 0);
}

TEST_F(SampleSource, EveryValueFitsTheNewDatabases) {
  // Page numbers are 16-bit and unique; titles non-empty and at most 40 bytes.
  for (const char* r : {"日報", "月報", "年報"}) {
    const std::string report = r;
    std::set<int> pages;
    for (const auto& row : rows(report + "ページタイトル")) {
      int p = std::get<std::int32_t>(row[0]);
      EXPECT_TRUE(p >= -32768 && p <= 32767);
      EXPECT_TRUE(pages.insert(p).second) << report << " page " << p;
      const std::string& title = text(row[1]);
      EXPECT_FALSE(title.empty());
      EXPECT_LE(cp932_bytes(title), 40) << title;
      EXPECT_EQ(title.rfind(report, 0), 0u) << title;
    }
    std::set<std::int32_t> out_pages;
    for (const auto& v : values(report + "出力ページ", "Page"))
      EXPECT_TRUE(out_pages.insert(std::get<std::int32_t>(v)).second);
  }
  std::set<std::int32_t> pulse_ids;
  for (const auto& row : rows("パルステーブル")) {
    EXPECT_TRUE(pulse_ids.insert(std::get<std::int32_t>(row[0])).second);
    EXPECT_FALSE(text(row[1]).empty());
    EXPECT_LE(cp932_bytes(text(row[1])), 12);
  }
  const std::pair<const char*, int> lists[] = {{"大項目情報", 40}, {"中項目情報", 12}, {"小項目情報", 12}, {"単位情報", 12}};
  for (const auto& [t, width] : lists)
    for (const auto& v : values(t, "名称")) EXPECT_LE(cp932_bytes(text(v)), width) << t << " " << text(v);

  const std::pair<const char*, int> tag_text[] = {{"Tag", 30}, {"TAG名称", 60}, {"CALC", 40}};
  for (const auto& [f, width] : tag_text)
    for (const auto& v : values("TAG情報マスター", f)) EXPECT_LE(cp932_bytes(text(v)), width) << f;

  // Report data: dates of the right width, values of at most 12 characters,
  // one row per tag and period among the rows that are copied.
  const std::tuple<const char*, std::size_t> data[] = {
      {"日報データ情報", 10}, {"月報データ情報", 7}, {"年報データ情報", 4}};
  for (const auto& [t, date_width] : data) {
    std::set<std::pair<std::string, std::string>> keys;
    for (const auto& row : rows(t)) {
      const std::string& date = text(row[1]);
      EXPECT_EQ(date.size(), date_width) << t;
      std::string id;
      if (jet::is_null(row[0]) && db_->table(t).columns[0].type == ColumnType::Text) continue;
      if (std::holds_alternative<std::string>(row[0])) {
        id = text(row[0]);
        if (id.empty()) continue;
        EXPECT_TRUE(std::all_of(id.begin(), id.end(), [](char c) { return c >= '0' && c <= '9'; })) << id;
      } else {
        ASSERT_TRUE(std::holds_alternative<std::int32_t>(row[0])) << t << " has a row without a tag";
        id = std::to_string(std::get<std::int32_t>(row[0]));
      }
      EXPECT_TRUE(keys.insert({date, id}).second) << t << " " << date << " " << id;
      for (std::size_t c = 2; c < row.size(); ++c) {
        if (!jet::is_null(row[c])) {
          EXPECT_LE(text(row[c]).size(), 12u) << t << " " << text(row[c]);
        }
      }
    }
  }
}

// The reports agree with one another, as a plant's would: for a totalled tag
// the monthly report lists the daily totals and the yearly one the monthly totals.
TEST_F(SampleSource, LongerReportsRepeatTheTotalsOfShorterOnes) {
  std::set<std::string> totalled;
  for (const auto& row : rows("TAG情報マスター"))
    if (std::get<bool>(row[column("TAG情報マスター", "TOTAL_FLG")]))
      totalled.insert(std::to_string(std::get<std::int32_t>(row[0])));
  ASSERT_FALSE(totalled.empty());

  std::map<std::pair<std::string, std::string>, Value> daily_total;  // (tag, yyyy/mm/dd)
  const int total_col = column("日報データ情報", "TOTAL");
  for (const auto& row : rows("日報データ情報"))
    if (!jet::is_null(row[0]) && totalled.count(text(row[0])))
      daily_total[{text(row[0]), text(row[1])}] = row[total_col];

  std::map<std::pair<std::string, std::string>, Value> monthly_total;  // (tag, yyyy/mm)
  int compared = 0;
  const int month_total_col = column("月報データ情報", "TOTAL");
  for (const auto& row : rows("月報データ情報")) {
    const std::string tag = std::to_string(std::get<std::int32_t>(row[0]));
    if (!totalled.count(tag)) continue;
    const std::string month = text(row[1]);
    double sum = 0;
    for (int d = 1; d <= 31; ++d) {
      char day[16];
      std::snprintf(day, sizeof day, "%s/%02d", month.c_str(), d);
      const Value& v = row[1 + d];
      auto it = daily_total.find({tag, day});
      if (it == daily_total.end()) {
        EXPECT_TRUE(jet::is_null(v)) << tag << " " << day;
        continue;
      }
      EXPECT_EQ(v, it->second) << tag << " " << day;
      sum += std::strtod(text(v).c_str(), nullptr);
      ++compared;
    }
    EXPECT_NEAR(std::strtod(text(row[month_total_col]).c_str(), nullptr), sum, 0.01) << tag << " " << month;
    monthly_total[{tag, month}] = row[month_total_col];
  }
  EXPECT_EQ(compared, static_cast<int>(daily_total.size()));

  for (const auto& row : rows("年報データ情報")) {
    const std::string tag = std::to_string(std::get<std::int32_t>(row[0]));
    if (!totalled.count(tag)) continue;
    for (int m = 1; m <= 12; ++m) {
      const std::string month = text(row[1]) + "/" + (m < 10 ? "0" : "") + std::to_string(m);
      auto it = monthly_total.find({tag, month});
      if (it == monthly_total.end()) EXPECT_TRUE(jet::is_null(row[1 + m])) << tag << " " << month;
      else EXPECT_EQ(row[1 + m], it->second) << tag << " " << month;
    }
  }
}

TEST_F(SampleSource, JapaneseTextReadsBackInMdbtools) {
  std::string out;
  if (run("command -v mdb-export >/dev/null 2>&1", &out) != 0)
    GTEST_SKIP() << "mdbtools is not installed";
  const std::string cmd = "MDB_JET3_CHARSET=CP932 mdb-export -Q -d '|' '" + path_ + "' ";
  ASSERT_EQ(run(cmd + "単位情報", &out), 0);
  EXPECT_NE(out.find("2|ｍ３／ｈ\n"), std::string::npos) << out;
  EXPECT_NE(out.find("3|℃\n"), std::string::npos) << out;

  ASSERT_EQ(run(cmd + "TAG情報マスター", &out), 0);
  EXPECT_EQ(out.substr(0, out.find('\n')),
            "TAG_ID|Tag|TAG名称|有効桁|最大値|最小値|大項目NO|中項目NO|小項目NO|単位NO|TOTAL_FLG|AVE_FLG|"
            "MAX_FLG|MIN_FLG|種別|P種別|収集種別|パルスMAX|換算係数|A|B|C|D|E|F|CALC");
  EXPECT_NE(out.find("取水設備　流量"), std::string::npos);

  ASSERT_EQ(run(cmd + "日報データ情報", &out), 0);
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n') - 1, summary_.rows.at("日報データ情報"));
  EXPECT_EQ(out.substr(0, out.find('\n')).rfind("TAG_ID|Date|DATA_1|", 0), 0u);
}

std::string file_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every user table of a file with its rows, in storage order.
std::map<std::string, Rows> all_rows(const std::string& path) {
  std::map<std::string, Rows> out;
  auto db = jet::Reader::open(path);
  for (const auto& name : db->table_names()) {
    auto cur = db->rows(name);
    std::vector<Value> row;
    Rows& rows = out[name];
    while (cur->next(row)) rows.push_back(row);
  }
  return out;
}

TEST(SampleSourceOptions, SameOptionsGiveTheSameRowsAndOtherOptionsDiffer) {
  test::TempDir dir;
  make_sample_source((dir / "a.mdb").string(), {12, 3});
  make_sample_source((dir / "b.mdb").string(), {12, 3});
  make_sample_source((dir / "c.mdb").string(), {12, 4});
  // Every table and row the same; only the catalog's creation times may differ.
  EXPECT_EQ(all_rows((dir / "a.mdb").string()), all_rows((dir / "b.mdb").string()));
  EXPECT_NE(all_rows((dir / "a.mdb").string()), all_rows((dir / "c.mdb").string()));
}

TEST(SampleSourceOptions, EmptySampleHasTheTablesAndNoRows) {
  test::TempDir dir;
  const std::string path = (dir / "empty.mdb").string();
  auto summary = make_sample_source(path, {0, 0});
  auto db = jet::Reader::open(path);
  EXPECT_EQ(db->table_names().size(), 18u);
  std::vector<Value> row;
  EXPECT_FALSE(db->rows("TAG情報マスター")->next(row));
  EXPECT_FALSE(db->rows("日報データ情報")->next(row));
  EXPECT_EQ(summary.rows.at("大項目情報"), 9);  // the lists do not depend on the tags
}

TEST(SampleSourceOptions, RefusesAnExistingFileAndOptionsOutOfRange) {
  test::TempDir dir;
  const std::string path = (dir / "there.mdb").string();
  std::ofstream(path) << "keep me";
  EXPECT_THROW(make_sample_source(path, {}), std::runtime_error);
  EXPECT_EQ(file_bytes(path), "keep me");

  const std::string fresh = (dir / "fresh.mdb").string();
  EXPECT_THROW(make_sample_source(fresh, {-1, 10}), std::invalid_argument);
  EXPECT_THROW(make_sample_source(fresh, {10, SampleOptions::kMaxDays + 1}), std::invalid_argument);
  EXPECT_THROW(make_sample_source(fresh, {SampleOptions::kMaxTags, SampleOptions::kMaxDays}),
               std::invalid_argument);
  EXPECT_FALSE(std::filesystem::exists(fresh));
}

TEST(SampleSourceCommand, ExitStatusTellsSuccessAnExistingFileAndBadArguments) {
  test::TempDir dir;
  const std::string bin = test::mirutone_binary();
  const std::string out = (dir / "s.mdb").string();
  std::string text;
  EXPECT_EQ(run(bin + " make-sample '" + out + "' --tags 5 --days 2 2>&1", &text), 0) << text;
  EXPECT_NE(text.find("5 tags"), std::string::npos) << text;
  ASSERT_TRUE(std::filesystem::exists(out));
  auto size = std::filesystem::file_size(out);

  int rc = run(bin + " make-sample '" + out + "' --tags 5 2>&1", &text);
  EXPECT_EQ(rc, 1);
  EXPECT_NE(text.find("already exists"), std::string::npos) << text;
  EXPECT_EQ(std::filesystem::file_size(out), size);

  const std::string other = (dir / "t.mdb").string();
  for (const char* bad : {"--tags abc", "--tags 20001", "--days -1", "--frobnicate", "--tags 20000 --days 3000"}) {
    rc = run(bin + " make-sample '" + other + "' " + bad + " 2>&1", &text);
    EXPECT_EQ(rc, 2) << bad << ": " << text;
  }
  rc = run(bin + " make-sample 2>&1", &text);
  EXPECT_EQ(rc, 2);
  EXPECT_FALSE(std::filesystem::exists(other));
}

}  // namespace
}  // namespace mirutone::convert
