// The whole conversion of a generated old database: every target row checked
// against the source row it came from, with each step's rules applied, and the
// outputs read back by our reader and by mdbtools.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <sstream>

#include "convert/copy_step.h"
#include "convert/run_fixture.h"
#include "apps/sample_source.h"
#include "db/jet/text/names.h"
#include "db/value_conversion.h"
#include "oracle/mdbtools.h"
#include "oracle/value_match.h"

namespace mirutone::test {
namespace {

namespace fs = std::filesystem;

struct Table {
  std::vector<jet::ColumnInfo> columns;
  std::vector<std::vector<jet::Value>> rows;

  int find(const std::string& name) const {
    for (std::size_t i = 0; i < columns.size(); ++i) {
      if (jet::names_equal(columns[i].name, name)) return static_cast<int>(i);
    }
    throw std::runtime_error("no column " + name);
  }
};

Table load(const fs::path& file, const std::string& name) {
  auto r = jet::Reader::open(file.string());
  Table t;
  t.columns = r->table(name).columns;
  auto cur = r->rows(name);
  std::vector<jet::Value> row;
  while (cur->next(row)) t.rows.push_back(row);
  return t;
}

// What assigning `v` to a field of `col` stores.
jet::Value stored(const jet::Value& v, const jet::ColumnInfo& col) {
  if (jet::is_null(v)) return col.type == jet::ColumnType::Boolean ? jet::Value(false) : v;
  return db::convert_for_field(v, col.type);
}

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Every row of every user table, as text.
std::string dump(const fs::path& file) {
  auto r = jet::Reader::open(file.string());
  std::string out;
  for (const auto& name : r->table_names()) {
    out += "[" + name + "]\n";
    auto cur = r->rows(name);
    std::vector<jet::Value> row;
    while (cur->next(row)) {
      for (const auto& v : row) out += oracle::describe(v) + "|";
      out += "\n";
    }
  }
  for (const auto& q : r->queries()) out += q.name + ": " + q.sql.value_or("?") + "\n";
  return out;
}

std::string row_text(const std::vector<jet::Value>& row) {
  std::string s;
  for (const auto& v : row) s += oracle::describe(v) + " | ";
  return s;
}

// One step's source fields, target fields and rules, written out here from
// the conversion's documented behaviour rather than taken from the code.
struct Expectation {
  std::string source, target;
  bool data_db = false;
  std::vector<std::string> fields;
  std::function<bool(const Table&, const std::vector<jet::Value>&)> keep;  // null: every row
  bool ordered = false;  // rows arrive in source TAG_ID order
  bool seeded = false;   // the target starts with the row (1, "")
};

std::vector<Expectation> expectations() {
  std::vector<Expectation> e;
  std::vector<std::string> tag_fields = {"TAG_ID", "Tag", "TAG名称", "有効桁", "最大値", "最小値", "大項目NO",
                                         "中項目NO", "小項目NO", "単位NO", "TOTAL_FLG", "AVE_FLG", "MAX_FLG",
                                         "MIN_FLG", "種別", "P種別", "収集種別", "パルスMAX", "換算係数", "A",
                                         "B", "C", "D", "E", "F", "CALC"};
  e.push_back({"TAG情報マスター", "M_TAG", false, tag_fields, nullptr, true, false});
  e.push_back({"パルステーブル", "パルステーブル", false, {"TAG_ID", "Data"}});
  for (const char* r : {"日報", "月報", "年報"}) {
    std::string p = r;
    e.push_back({p + "ページタイトル", p + "ページタイトル", false, {"Page", "Title"}});
  }
  for (const char* r : {"日報", "月報", "年報"}) {
    std::string p = r;
    e.push_back({p + "出力ページ", p + "出力ページ", false, {"Page"}});
  }
  for (const char* r : {"日報", "月報", "年報"}) {
    std::string p = r;
    e.push_back({p + "情報", p + "情報", false, {"TAG_ID", "ページNO", "項目NO"}});
  }
  for (auto [s, t, n] : {std::tuple{"大項目情報", "大項目情報", "大項目NO"}, std::tuple{"中項目情報", "中項目情報", "中項目NO"},
                         std::tuple{"小項目情報", "小項目情報", "小項目NO"}, std::tuple{"単位情報", "M_UNIT", "単位NO"}}) {
    std::string number = n;
    e.push_back({s, t, false, {number, "名称"},
                 [number](const Table& src, const std::vector<jet::Value>& row) {
                   const jet::Value& v = row[static_cast<std::size_t>(src.find(number))];
                   return !jet::is_null(v) && db::as_number(v) != 1.0;
                 },
                 false, true});
  }
  e.push_back({"パルステーブル", "パルステーブル", true, {"TAG_ID", "Data"}});
  for (auto [s, t, slots] : {std::tuple{"日報データ情報", "D_DDAT", 24}, std::tuple{"月報データ情報", "D_MDAT", 31},
                             std::tuple{"年報データ情報", "D_YDAT", 12}}) {
    std::vector<std::string> f = {"TAG_ID", "Date"};
    for (int i = 1; i <= slots; ++i) f.push_back("DATA_" + std::to_string(i));
    for (const char* n : {"TOTAL", "AVE", "Max", "Min"}) f.push_back(n);
    Expectation x{s, t, true, f};
    if (slots == 24) {
      x.keep = [](const Table& src, const std::vector<jet::Value>& row) {
        const jet::Value& id = row[static_cast<std::size_t>(src.find("TAG_ID"))];
        return !jet::is_null(id) && !(std::holds_alternative<std::string>(id) && std::get<std::string>(id).empty());
      };
    }
    e.push_back(x);
  }
  return e;
}

// The tag master's three converted fields.
jet::Value tag_rule(const std::string& field, const jet::Value& v, const jet::ColumnInfo& col) {
  if (field == "P種別") {
    auto n = db::as_number(v);
    if (n && *n >= 2 && *n <= 4) return jet::Value(std::int32_t{0});
    return stored(v, col);
  }
  if (field == "パルスMAX" || field == "換算係数") {
    auto n = db::as_number(v);
    return n ? jet::Value(*n) : jet::Value();
  }
  return stored(v, col);
}

class SampleConversion : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir();
    convert::SampleOptions options;
    options.tags = 60;
    options.days = 40;
    convert::make_sample_source((*dir_ / "管理報.mdb").string(), options);
    source_bytes_ = new std::string(slurp(*dir_ / "管理報.mdb"));
    RecordingUi ui;
    schema::ModuleState state;
    result_ = new convert::RunResult(convert::ConversionRun(state, ui).Command1_Click((*dir_ / "管理報.mdb").string()));
  }
  static void TearDownTestSuite() {
    delete result_;
    delete source_bytes_;
    delete dir_;
  }
  static fs::path source() { return *dir_ / "管理報.mdb"; }
  static fs::path kanri() { return *dir_ / "Ruzevuz.mdb"; }
  static fs::path data() { return *dir_ / "NVData.mdb"; }

  static TempDir* dir_;
  static convert::RunResult* result_;
  static std::string* source_bytes_;
};
std::string* SampleConversion::source_bytes_ = nullptr;
TempDir* SampleConversion::dir_ = nullptr;
convert::RunResult* SampleConversion::result_ = nullptr;

TEST_F(SampleConversion, EveryTargetRowComesFromItsSourceRow) {
  ASSERT_EQ(result_->outcome, convert::RunOutcome::Completed)
      << (result_->cause ? result_->cause->describe() : "");
  ASSERT_FALSE(result_->builder_error);
  long long copied = 0;
  for (const auto& x : expectations()) {
    SCOPED_TRACE(x.source + " -> " + x.target);
    Table src = load(source(), x.source);
    Table dst = load(x.data_db ? data() : kanri(), x.target);
    ASSERT_FALSE(src.rows.empty() && x.source != "パルステーブル") << "the sample should fill every table";
    std::vector<std::vector<jet::Value>> expected;
    if (x.seeded) {
      std::vector<jet::Value> seed(dst.columns.size());
      seed[0] = jet::Value(std::int32_t{1});
      seed[1] = jet::Value(std::string());
      expected.push_back(seed);
    }
    auto rows = src.rows;
    if (x.ordered) {
      int id = src.find("TAG_ID");
      std::stable_sort(rows.begin(), rows.end(), [id](const auto& a, const auto& b) {
        return std::get<std::int32_t>(a[static_cast<std::size_t>(id)]) < std::get<std::int32_t>(b[static_cast<std::size_t>(id)]);
      });
    }
    for (const auto& row : rows) {
      if (x.keep && !x.keep(src, row)) continue;
      std::vector<jet::Value> target(dst.columns.size());
      for (const auto& f : x.fields) {
        int s = src.find(f), t = dst.find(f);
        const jet::Value& v = row[static_cast<std::size_t>(s)];
        target[static_cast<std::size_t>(t)] =
            x.target == "M_TAG" ? tag_rule(f, v, dst.columns[static_cast<std::size_t>(t)])
                                : stored(v, dst.columns[static_cast<std::size_t>(t)]);
      }
      expected.push_back(target);
      ++copied;
    }
    // Every target field is one of the step's fields.
    EXPECT_EQ(dst.columns.size(), x.fields.size());
    ASSERT_EQ(dst.rows.size(), expected.size());
    std::vector<std::string> want, got;
    for (const auto& r : expected) want.push_back(row_text(r));
    for (const auto& r : dst.rows) got.push_back(row_text(r));
    if (!x.ordered) {
      std::sort(want.begin(), want.end());
      std::sort(got.begin(), got.end());
    }
    for (std::size_t i = 0; i < want.size(); ++i) ASSERT_EQ(got[i], want[i]) << "row " << i;

    // The run's summary of the step counts what the files hold.
    const std::string file = x.data_db ? "NVData.mdb" : "Ruzevuz.mdb";
    auto record = std::find_if(result_->steps.begin(), result_->steps.end(), [&](const convert::StepRecord& s) {
      return s.source_table == x.source && s.target_table == x.target && s.target_file == file;
    });
    ASSERT_NE(record, result_->steps.end());
    EXPECT_TRUE(record->done);
    EXPECT_EQ(record->source_rows, static_cast<long long>(src.rows.size()));
    EXPECT_EQ(record->read, static_cast<long long>(src.rows.size()));
    EXPECT_EQ(record->copied, static_cast<long long>(dst.rows.size()) - (x.seeded ? 1 : 0));
    EXPECT_EQ(record->skipped, record->read - record->copied);
    EXPECT_EQ(record->skip_rule.empty(), !x.keep);
  }
  EXPECT_EQ(result_->steps.size(), 19u);
  EXPECT_EQ(result_->rows_copied, copied);
}

TEST_F(SampleConversion, SpecialCasesOfTheSampleArePresent) {
  // The sample is meant to exercise the rules; make sure it still does.
  Table tags = load(source(), "TAG情報マスター");
  int kind = tags.find("P種別"), pmax = tags.find("パルスMAX");
  int kinds_2_to_4 = 0, non_numeric = 0;
  for (const auto& row : tags.rows) {
    auto k = db::as_number(row[static_cast<std::size_t>(kind)]);
    if (k && *k >= 2 && *k <= 4) ++kinds_2_to_4;
    const auto& p = row[static_cast<std::size_t>(pmax)];
    if (!jet::is_null(p) && !db::as_number(p)) ++non_numeric;
  }
  EXPECT_GT(kinds_2_to_4, 0);
  EXPECT_GT(non_numeric, 0);
  Table daily = load(source(), "日報データ情報"), ddat = load(data(), "D_DDAT");
  EXPECT_LT(ddat.rows.size(), daily.rows.size()) << "some daily rows have no TAG_ID";
}

TEST_F(SampleConversion, SourceUnchangedAndASecondRunGivesTheSameFiles) {
  ASSERT_EQ(result_->outcome, convert::RunOutcome::Completed);
  EXPECT_EQ(slurp(source()), *source_bytes_);
  const std::string kanri_rows = dump(kanri()), data_rows = dump(data());
  RecordingUi ui;
  schema::ModuleState state;
  state.strDbFolder = dir_->path().string();
  auto again = convert::ConversionRun(state, ui).Command1_Click(source().string());
  ASSERT_EQ(again.outcome, convert::RunOutcome::Completed);
  EXPECT_EQ(again.rows_copied, result_->rows_copied);
  EXPECT_EQ(dump(kanri()), kanri_rows);
  EXPECT_EQ(dump(data()), data_rows);
  EXPECT_EQ(slurp(source()), *source_bytes_);
}

TEST_F(SampleConversion, MdbtoolsReadsWhatOurReaderReads) {
  if (!oracle::mdbtools_available()) GTEST_SKIP() << "mdbtools is not installed";
  for (const fs::path& file : {kanri(), data()}) {
    auto ours = jet::Reader::open(file.string());
    auto names = ours->table_names();
    EXPECT_EQ(oracle::mdb_tables(file.string(), "CP932"), names);
    for (const auto& name : names) {
      SCOPED_TRACE(file.filename().string() + " " + name);
      Table t = load(file, name);
      auto theirs = oracle::mdb_export(file.string(), name, "CP932");
      ASSERT_EQ(theirs.rows.size(), t.rows.size());
      EXPECT_EQ(oracle::mdb_count(file.string(), name, "CP932"), static_cast<long>(t.rows.size()));
      for (std::size_t r = 0; r < t.rows.size(); ++r) {
        for (std::size_t c = 0; c < t.columns.size(); ++c) {
          const jet::Value& v = t.rows[r][c];
          // mdb-export prints a zero-length text the way it prints Null.
          if (v == jet::Value(std::string()) && !theirs.rows[r][c]) continue;
          std::string diff = oracle::compare_with_mdb_export(t.columns[c], v, theirs.rows[r][c]);
          ASSERT_TRUE(diff.empty()) << "row " << r << " " << t.columns[c].name << ": " << diff;
        }
      }
    }
  }
}

}  // namespace
}  // namespace mirutone::test
