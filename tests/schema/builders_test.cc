// The three builders, checked through the files they leave: our reader and
// mdbtools read them back.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "db/engine.h"
#include "db/engine_hook.h"
#include "db/errors.h"
#include "db/jet/api/reader.h"
#include "schema/module1.h"
#include "support/recording_ui.h"
#include "support/test_support.h"

namespace mirutone::schema {
namespace {

using test::RecordingUi;
using test::TempDir;

// One line per field: name, type, size for text, "auto" and "zero" flags.
std::string describe(const jet::TableInfo& t) {
  std::string s;
  for (const auto& c : t.columns) {
    s += c.name + " " + jet::type_name(c.type);
    if (c.type == jet::ColumnType::Text) s += "(" + std::to_string(c.size) + ")";
    if (c.autonumber) s += " auto";
    if (c.allow_zero_length) s += " zero";
    if (!c.nullable) s += " required";
    s += "\n";
  }
  for (const auto& ix : t.indexes) {
    s += "index " + ix.name + (ix.primary ? " primary" : "") + (ix.unique ? " unique" : "") + ":";
    for (const auto& c : ix.columns) s += " " + c;
    s += "\n";
  }
  return s;
}

std::string pk(const std::string& table, const std::string& cols) {
  return "index " + table + " primary unique: " + cols + "\n";
}

// The management database as it must be, written out independently of the layouts.
std::vector<std::pair<std::string, std::string>> expected_kanri() {
  std::vector<std::pair<std::string, std::string>> t;
  t.push_back({"M_TAG",
               "TAG_ID Long auto\nTAG Text(30) zero\nTAG名称 Text(60) zero\n有効桁 Text(10)\n最大値 Text(12)\n"
               "最小値 Text(12)\n大項目NO Integer\n中項目NO Integer\n小項目NO Integer\n単位NO Integer\n"
               "TOTAL_FLG Boolean\nAVE_FLG Boolean\nMAX_FLG Boolean\nMIN_FLG Boolean\n種別 Integer\nP種別 Integer\n"
               "収集種別 Integer\nパルスMAX Double\n換算係数 Double\nA Long\nB Long\nC Long\nD Long\nE Long\nF Long\n"
               "CALC Text(40) zero\n" + pk("M_TAG", "TAG_ID")});
  t.push_back({"パルステーブル", "TAG_ID Long\nDATA Text(12)\n" + pk("パルステーブル", "TAG_ID")});
  for (const char* p : {"日報", "月報", "年報"}) {
    std::string n = std::string(p) + "ページタイトル";
    t.push_back({n, "PAGE Integer\nTITLE Text(40)\n" + pk(n, "PAGE")});
  }
  for (const char* p : {"日報", "月報", "年報"}) {
    std::string n = std::string(p) + "出力ページ";
    t.push_back({n, "PAGE Integer\n" + pk(n, "PAGE")});
  }
  for (const char* p : {"日報", "月報", "年報"}) {
    t.push_back({std::string(p) + "情報", "TAG_ID Long\nページNO Integer\n項目NO Integer\n"});
  }
  t.push_back({"大項目情報", "大項目NO Long auto\n名称 Text(40) zero\n" + pk("大項目情報", "大項目NO")});
  t.push_back({"中項目情報", "中項目NO Long auto\n名称 Text(12) zero\n" + pk("中項目情報", "中項目NO")});
  t.push_back({"小項目情報", "小項目NO Long auto\n名称 Text(12) zero\n" + pk("小項目情報", "小項目NO")});
  t.push_back({"M_UNIT", "単位NO Long auto\n名称 Text(12) zero\n" + pk("M_UNIT", "単位NO")});
  return t;
}

std::vector<std::pair<std::string, std::string>> expected_data() {
  std::vector<std::pair<std::string, std::string>> t;
  t.push_back({"パルステーブル", "TAG_ID Long\nDATA Text(12)\n" + pk("パルステーブル", "TAG_ID")});
  struct Shape {
    const char* name;
    int date;
    int slots;
  };
  for (Shape s : {Shape{"D_DDAT", 10, 24}, Shape{"D_DDATWORK", 10, 24}, Shape{"D_MDAT", 7, 31},
                  Shape{"D_MDATWORK", 7, 31}, Shape{"D_YDAT", 4, 12}, Shape{"D_YDATWORK", 4, 12}}) {
    std::string d = "TAG_ID Long\nDATE Text(" + std::to_string(s.date) + ")\n";
    for (int i = 1; i <= s.slots; ++i) d += "DATA_" + std::to_string(i) + " Text(12) zero\n";
    for (const char* f : {"TOTAL", "AVE", "MAX", "MIN"}) d += std::string(f) + " Text(12) zero\n";
    t.push_back({s.name, d + pk(s.name, "DATE TAG_ID")});
  }
  return t;
}

const std::vector<std::pair<std::string, std::string>> kQueries = {
    {"日報情報ソート", "SELECT * FROM 日報情報 ORDER BY ページNO,項目NO"},
    {"日報情報ページ単位抽出",
     "PARAMETERS Set_Date SHORT; SELECT 日報情報.*,M_TAG.大項目NO,M_TAG.中項目NO,M_TAG.小項目NO, "
     "M_TAG.単位NO,M_TAG.TOTAL_FLG,M_TAG.AVE_FLG, M_TAG.有効桁,M_TAG.最大値,M_TAG.最小値, "
     "M_TAG.MAX_FLG,M_TAG.MIN_FLG,M_TAG.種別,M_TAG.P種別 FROM 日報情報 INNER JOIN M_TAG ON 日報情報.TAG_ID = "
     "M_TAG.TAG_ID WHERE 日報情報.ページNO = Set_Date ORDER BY 日報情報.項目NO"},
    {"月報情報ソート", "SELECT * FROM 月報情報 ORDER BY ページNO,項目NO"},
    {"月報情報ページ単位抽出",
     "PARAMETERS Set_Date SHORT; SELECT 月報情報.*,M_TAG.大項目NO,M_TAG.中項目NO,M_TAG.小項目NO, "
     "M_TAG.単位NO,M_TAG.TOTAL_FLG,M_TAG.AVE_FLG, M_TAG.有効桁,M_TAG.最大値,M_TAG.最小値, "
     "M_TAG.MAX_FLG,M_TAG.MIN_FLG,M_TAG.種別,M_TAG.P種別 FROM 月報情報 INNER JOIN M_TAG ON 月報情報.TAG_ID = "
     "M_TAG.TAG_ID WHERE 月報情報.ページNO = Set_Date ORDER BY 月報情報.項目NO"},
    {"年報情報ソート", "SELECT * FROM 年報情報 ORDER BY ページNO,項目NO"},
    {"年報情報ページ単位抽出",
     "PARAMETERS Set_Date SHORT; SELECT 年報情報.*,M_TAG.大項目NO,M_TAG.中項目NO,M_TAG.小項目NO, "
     "M_TAG.単位NO,M_TAG.TOTAL_FLG,M_TAG.AVE_FLG, M_TAG.有効桁,M_TAG.最大値,M_TAG.最小値, "
     "M_TAG.MAX_FLG,M_TAG.MIN_FLG,M_TAG.種別,M_TAG.P種別 FROM 年報情報 INNER JOIN M_TAG ON 年報情報.TAG_ID = "
     "M_TAG.TAG_ID WHERE 年報情報.ページNO = Set_Date ORDER BY 年報情報.項目NO"},
    {"大項目情報抽出", "SELECT * FROM 大項目情報 ORDER BY 大項目NO"},
    {"中項目情報抽出", "SELECT * FROM 中項目情報 ORDER BY 中項目NO"},
    {"小項目情報抽出", "SELECT * FROM 小項目情報 ORDER BY 小項目NO"},
    {"M_UNITGET", "SELECT * FROM M_UNIT ORDER BY 単位NO"},
};

void expect_tables(const std::string& path, const std::vector<std::pair<std::string, std::string>>& want) {
  auto r = jet::Reader::open(path);
  EXPECT_EQ(r->format(), jet::Format::Jet3);
  EXPECT_EQ(r->sort_order(), 0x0411);
  EXPECT_EQ(r->header_codepage(), 932);
  std::vector<std::string> names, want_names;
  for (const auto& [n, d] : want) want_names.push_back(n);
  ASSERT_EQ(r->table_names(), want_names);
  for (const auto& [name, description] : want) {
    EXPECT_EQ(describe(r->table(name)), description) << name;
  }
}

std::vector<std::vector<jet::Value>> rows_of(const std::string& path, const std::string& table) {
  auto r = jet::Reader::open(path);
  auto cur = r->rows(table);
  std::vector<std::vector<jet::Value>> rows;
  std::vector<jet::Value> row;
  while (cur->next(row)) rows.push_back(row);
  return rows;
}

struct Built {
  TempDir dir;
  ModuleState state;
  RecordingUi ui;
  std::string kanri() const { return (dir / "Ruzevuz.mdb").string(); }
  std::string data() const { return (dir / "NVData.mdb").string(); }
  Built() { state.strDbFolder = dir.path().string(); }
  void build_all() {
    Module1 m(state, ui);
    m.CreateKanriDb();
    m.SeedKanriDb();
    m.CreateDataDb();
    state.dbKanri = db::Database();  // the last handle goes: the file is written out
  }
};

TEST(Builders, BuildBothDatabasesAsLaidOut) {
  Built b;
  b.build_all();
  EXPECT_TRUE(b.ui.boxes.empty());
  expect_tables(b.kanri(), expected_kanri());
  expect_tables(b.data(), expected_data());

  auto r = jet::Reader::open(b.kanri());
  std::vector<std::pair<std::string, std::string>> queries;
  for (const auto& q : r->queries()) queries.push_back({q.name, q.sql.value_or("<none>")});
  EXPECT_EQ(queries, kQueries);

  // Seed rows: number 1 and a zero-length name, not Null; every other table empty.
  for (const char* t : {"大項目情報", "中項目情報", "小項目情報", "M_UNIT"}) {
    auto rows = rows_of(b.kanri(), t);
    ASSERT_EQ(rows.size(), 1u) << t;
    EXPECT_EQ(rows[0][0], jet::Value(std::int32_t{1})) << t;
    EXPECT_EQ(rows[0][1], jet::Value(std::string())) << t;
  }
  for (const char* t : {"M_TAG", "パルステーブル", "日報情報", "年報出力ページ"}) {
    EXPECT_TRUE(rows_of(b.kanri(), t).empty()) << t;
  }
  for (const auto& [t, d] : expected_data()) EXPECT_TRUE(rows_of(b.data(), t).empty()) << t;
}

// mdbtools as an independent reader of the same files.
// A second run in the same process: the earlier outputs are deleted while a
// handle still holds the last database open; the rebuild must not be touched
// when that handle lets go.
TEST(Builders, SecondRunAfterDeletingTheOutputsBuildsTheSame) {
  Built b;
  Module1 m(b.state, b.ui);
  m.CreateKanriDb();
  m.SeedKanriDb();
  m.CreateDataDb();  // NVData.mdb stays open in dbKanri
  std::filesystem::remove(b.kanri());
  std::filesystem::remove(b.data());
  m.CreateKanriDb();  // releases the old data database
  m.SeedKanriDb();
  m.CreateDataDb();
  b.state.dbKanri = db::Database();
  EXPECT_TRUE(b.ui.boxes.empty());
  expect_tables(b.kanri(), expected_kanri());
  expect_tables(b.data(), expected_data());
  EXPECT_EQ(rows_of(b.kanri(), "M_UNIT").size(), 1u);
  EXPECT_EQ(jet::Reader::open(b.kanri())->queries().size(), 10u);
}

TEST(Builders, MdbtoolsReadsTheBuiltFiles) {
  std::string out;
  if (test::run_command("command -v mdb-schema >/dev/null", &out) != 0) GTEST_SKIP() << "mdbtools is not installed";
  Built b;
  b.build_all();
  auto run = [&](const std::string& args) {
    out.clear();
    EXPECT_EQ(test::run_command("MDB_JET3_CHARSET=CP932 " + args, &out), 0) << args << "\n" << out;
    return out;
  };
  EXPECT_NE(run("mdb-ver '" + b.kanri() + "'").find("JET3"), std::string::npos);

  std::string want;
  for (const auto& [n, d] : expected_kanri()) want += n + "\n";
  EXPECT_EQ(run("mdb-tables -1 '" + b.kanri() + "'"), want);

  std::string schema = run("mdb-schema --indexes '" + b.kanri() + "' postgres");
  // The postgres dialect folds names to lower case and shows auto-increment as SERIAL.
  EXPECT_NE(schema.find("\"tag_id\"\t\t\tSERIAL"), std::string::npos) << schema;
  EXPECT_NE(schema.find("\"tag\"\t\t\tVARCHAR (30)"), std::string::npos);
  EXPECT_NE(schema.find("\"total_flg\"\t\t\tBOOLEAN"), std::string::npos);
  EXPECT_NE(schema.find("\"パルスmax\"\t\t\tDOUBLE PRECISION"), std::string::npos);
  EXPECT_NE(schema.find("ALTER TABLE \"m_tag\" ADD CONSTRAINT \"m_tag_pkey\" PRIMARY KEY (\"tag_id\")"), std::string::npos);
  EXPECT_NE(schema.find("ALTER TABLE \"m_unit\" ADD CONSTRAINT \"m_unit_pkey\" PRIMARY KEY (\"単位no\")"), std::string::npos);
  EXPECT_EQ(schema.find("\"日報情報_pkey\""), std::string::npos) << "the item tables have no key";

  std::string props = run("mdb-prop '" + b.kanri() + "' M_TAG");
  EXPECT_NE(props.find("name: TAG\n\tAllowZeroLength: yes"), std::string::npos) << props;
  EXPECT_NE(props.find("name: 有効桁\n\tAllowZeroLength: no"), std::string::npos) << props;

  std::string queries = run("mdb-queries -L '" + b.kanri() + "'");
  for (const auto& [name, sql] : kQueries) EXPECT_NE(queries.find(name), std::string::npos) << name;
  std::string per_page = run("mdb-queries '" + b.kanri() + "' 日報情報ページ単位抽出");
  // mdbtools rebuilds the text from the decomposed rows (it shows joins as a
  // table list and leaves out '*'), so only those parts are compared.
  EXPECT_NE(per_page.find("SELECT 日報情報.*,M_TAG.大項目NO,M_TAG.中項目NO,M_TAG.小項目NO,M_TAG.単位NO,"
                          "M_TAG.TOTAL_FLG,M_TAG.AVE_FLG,M_TAG.有効桁,M_TAG.最大値,M_TAG.最小値,M_TAG.MAX_FLG,"
                          "M_TAG.MIN_FLG,M_TAG.種別,M_TAG.P種別 FROM [日報情報],[M_TAG] "
                          "WHERE 日報情報.ページNO = Set_Date ORDER BY 日報情報.項目NO"),
            std::string::npos)
      << per_page;
  EXPECT_NE(run("mdb-queries '" + b.kanri() + "' M_UNITGET").find("FROM [M_UNIT] ORDER BY 単位NO"), std::string::npos);

  EXPECT_EQ(run("mdb-export '" + b.kanri() + "' M_UNIT"), "単位NO,名称\n1,\n");

  want.clear();
  for (const auto& [n, d] : expected_data()) want += n + "\n";
  EXPECT_EQ(run("mdb-tables -1 '" + b.data() + "'"), want);
  schema = run("mdb-schema --indexes '" + b.data() + "' postgres");
  EXPECT_NE(schema.find("ALTER TABLE \"d_mdatwork\" ADD CONSTRAINT \"d_mdatwork_pkey\" PRIMARY KEY (\"date\", \"tag_id\")"),
            std::string::npos) << schema;
}

TEST(Builders, ExistingFilesShowOneMessageAndBuildNothing) {
  for (const char* which : {"Ruzevuz.mdb", "NVData.mdb"}) {
    Built b;
    { std::ofstream(b.dir / which) << "not a database"; }
    Module1 m(b.state, b.ui);
    if (std::string(which) == "Ruzevuz.mdb") {
      m.CreateKanriDb();
    } else {
      m.CreateDataDb();
    }
    ASSERT_EQ(b.ui.boxes.size(), 1u) << which;
    EXPECT_EQ(b.ui.boxes[0].prompt, "ＤＢ作成エラー");
    EXPECT_EQ(b.ui.boxes[0].buttons, convert::vbOKOnly);
    EXPECT_EQ(b.ui.boxes[0].title, "確認");
    EXPECT_TRUE(b.state.dbKanri.IsNothing()) << which;  // the handle keeps what it held
    std::ifstream in(b.dir / which);
    std::string content;
    std::getline(in, content);
    EXPECT_EQ(content, "not a database") << "the existing file is left as it was";
  }
}

// A failure part-way through a builder, injected at one engine call: one
// "ＤＢ作成エラー", the tables appended before it stay and nothing of the
// failing table, the queries created before it stay; seeding then runs up to
// the first seed table that is missing and fails there with Jet's 3078.
struct Injection {
  const char* op;
  const char* object;
  bool data_db;              // CreateDataDb, else CreateKanriDb
  std::size_t tables_kept;   // leading tables of the builder's list
  std::size_t queries_kept;  // leading stored queries (management database)
};

class BuilderFailure : public ::testing::TestWithParam<Injection> {};

TEST_P(BuilderFailure, KeepsWhatWasBuiltBeforeAndSeedingStopsAtTheFirstMissingTable) {
  const Injection& in = GetParam();
  Built b;
  Module1 m(b.state, b.ui);
  {
    db::ScopedEngineCallHook hook([&](std::string_view op, std::string_view object) {
      if (op == in.op && object == in.object) throw db::Error(3000, "injected failure");
    });
    in.data_db ? m.CreateDataDb() : m.CreateKanriDb();
  }
  ASSERT_EQ(b.ui.boxes.size(), 1u);
  EXPECT_EQ(b.ui.boxes[0].prompt, "ＤＢ作成エラー");
  EXPECT_TRUE(m.failed());
  EXPECT_FALSE(b.state.dbKanri.IsNothing());  // the builder leaves its database open there
  auto want = in.data_db ? expected_data() : expected_kanri();
  want.resize(in.tables_kept);
  if (!in.data_db) {
    const char* seeded[] = {"大項目情報", "中項目情報", "小項目情報", "M_UNIT"};
    const char* missing = nullptr;
    for (const char* t : seeded) {
      bool kept = std::any_of(want.begin(), want.end(), [&](const auto& w) { return w.first == t; });
      if (!kept && !missing) missing = t;
    }
    if (missing) {
      try {
        m.SeedKanriDb();
        ADD_FAILURE() << "seeding without " << missing << " must fail";
      } catch (const db::Error& e) {
        EXPECT_EQ(e.jet_code(), 3078);
        EXPECT_NE(std::string(e.what()).find(missing), std::string::npos) << e.what();
      }
    } else {
      m.SeedKanriDb();
    }
    b.state.dbKanri = db::Database();
    for (const char* t : seeded) {
      if (missing && std::string(t) == missing) break;
      EXPECT_EQ(rows_of(b.kanri(), t).size(), 1u) << t;
    }
  }
  b.state.dbKanri = db::Database();
  const std::string file = in.data_db ? b.data() : b.kanri();
  expect_tables(file, want);
  EXPECT_EQ(jet::Reader::open(file)->table_names().size(), in.tables_kept);
  auto queries = jet::Reader::open(file)->queries();
  ASSERT_EQ(queries.size(), in.queries_kept);
  if (in.queries_kept == 6) EXPECT_EQ(queries[5].name, "年報情報ページ単位抽出");
}

INSTANTIATE_TEST_SUITE_P(Builders, BuilderFailure,
                         ::testing::Values(Injection{"CreateField", "名称", false, 11, 0},
                                           Injection{"CreateQueryDef", "大項目情報抽出", false, 15, 6},
                                           Injection{"TableDefs.Append", "M_UNIT", false, 14, 0},
                                           Injection{"CreateTableDef", "D_MDAT", true, 3, 0}));

TEST(Builders, SeedWithoutADatabaseFailsAndWritesNothing) {
  Built b;
  Module1 m(b.state, b.ui);
  EXPECT_THROW(m.SeedKanriDb(), db::Error);
  EXPECT_FALSE(std::filesystem::exists(b.kanri()));
}

TEST(Builders, NoOutputFolderIsABuildError) {
  ModuleState state;
  RecordingUi ui;
  Module1 m(state, ui);
  m.CreateKanriDb();
  m.CreateDataDb();
  EXPECT_EQ(ui.boxes.size(), 2u);
  EXPECT_TRUE(state.dbKanri.IsNothing());
}

}  // namespace
}  // namespace mirutone::schema
