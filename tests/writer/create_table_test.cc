// Tables: their definitions as mdbtools, mdb-reader and our reader see them,
// and the definitions Jet 3 cannot hold.
#include <gtest/gtest.h>

#include "db/jet/api/reader.h"
#include "db/jet/api/writer.h"
#include "support/test_support.h"
#include "writer/index_check.h"
#include "writer/oracle_util.h"

namespace mirutone::jet {
namespace {

using test::mdbtool;
using test::TempDir;

TableDesign every_type_table() {
  return TableDesign{"Reports",
                   {{"Id", ColumnType::Long, 0, true},
                    {"Done", ColumnType::Boolean},
                    {"Shift", ColumnType::Byte},
                    {"Line", ColumnType::Integer},
                    {"Cost", ColumnType::Currency},
                    {"Ratio", ColumnType::Single},
                    {"Weight", ColumnType::Double},
                    {"Taken", ColumnType::DateTime},
                    {"Title", ColumnType::Text, 100, false, true},
                    {"Code", ColumnType::Text, 0, false, false, true},
                    {"Notes", ColumnType::Memo, 0, false, true}},
                   {{"PrimaryKey", {"Id"}, true}, {"ByLineTitle", {"Line", "Title"}, false, true}}};
}

TEST(CreateTable, SchemaSeenByMdbtoolsAndOurReader) {
  TempDir dir;
  std::string file = (dir / "t.mdb").string();
  {
    auto w = Writer::create(file);
    w->create_table(every_type_table());
    w->create_table({"受注", {{"番号", ColumnType::Long}, {"品名", ColumnType::Text, 40}},
                     {{"PrimaryKey", {"番号", "品名"}, true}}});
    w->close();
  }
  std::string schema = mdbtool("mdb-schema", file, "-T Reports", "access");
  for (const char* line : {"[Id]\t\t\tLong Integer", "[Done]\t\t\tBoolean", "[Shift]\t\t\tByte",
                           "[Line]\t\t\tInteger", "[Cost]\t\t\tCurrency", "[Ratio]\t\t\tSingle",
                           "[Weight]\t\t\tDouble", "[Taken]\t\t\tDateTime", "[Title]\t\t\tText (100)",
                           "[Code]\t\t\tText (50) NOT NULL", "[Notes]\t\t\tMemo/Hyperlink"}) {
    EXPECT_NE(schema.find(line), std::string::npos) << line << "\n" << schema;
  }
  std::string pg = mdbtool("mdb-schema", file, "--indexes", "postgres");
  EXPECT_NE(pg.find("PRIMARY KEY (\"id\")"), std::string::npos) << pg;
  EXPECT_NE(pg.find("CREATE UNIQUE INDEX \"reports_bylinetitle_idx\" ON \"reports\" (\"line\", \"title\")"),
            std::string::npos) << pg;
  EXPECT_NE(pg.find("PRIMARY KEY (\"番号\", \"品名\")"), std::string::npos) << pg;

  std::string props = mdbtool("mdb-prop", file, "", "Reports");
  EXPECT_NE(props.find("name: Title\n\tAllowZeroLength: yes\n\tRequired: no"), std::string::npos) << props;
  EXPECT_NE(props.find("name: Code\n\tAllowZeroLength: no\n\tRequired: yes"), std::string::npos) << props;

  auto r = Reader::open(file);
  EXPECT_EQ(r->table_names(), (std::vector<std::string>{"Reports", "受注"}));
  const TableInfo& t = r->table("Reports");
  ASSERT_EQ(t.columns.size(), 11u);
  EXPECT_TRUE(t.columns[0].autonumber);
  EXPECT_EQ(t.columns[8].size, 100);
  EXPECT_EQ(t.columns[9].size, 50);
  EXPECT_TRUE(t.columns[8].allow_zero_length);
  EXPECT_FALSE(t.columns[9].nullable);
  ASSERT_EQ(t.indexes.size(), 2u);
  EXPECT_EQ(t.stored_row_count, 0u);
  EXPECT_EQ(test::check_index(file, "Reports", 0).entries, 0u);
}

TEST(CreateTable, MdbReaderSeesEmptyTables) {
  TempDir dir;
  std::string file = (dir / "t.mdb").string();
  {
    auto w = Writer::create(file, Locale::general());
    w->create_table(every_type_table());
    w->close();
  }
  std::string out = test::mdb_reader_lines(file);
  EXPECT_NE(out.find("T\tReports\t0\t11"), std::string::npos) << out;
  EXPECT_NE(out.find("C\tTitle\ttext\t100\t0"), std::string::npos) << out;
  EXPECT_NE(out.find("C\tId\tlong\t4\t1\t1\t1"), std::string::npos) << out;
}

TEST(CreateTable, WideTableDefinitionSpansPages) {
  TempDir dir;
  std::string file = (dir / "wide.mdb").string();
  TableDesign wide{"Wide", {}, {}};
  for (int i = 0; i < 120; ++i) {
    wide.columns.push_back({"Measurement_column_" + std::to_string(i), ColumnType::Double});
  }
  wide.indexes.push_back({"PrimaryKey", {"Measurement_column_0"}, true});
  {
    auto w = Writer::create(file, Locale::general());
    w->create_table(wide);
    std::vector<Value> row(120);
    for (int i = 0; i < 120; ++i) row[i] = i * 1.5;
    w->append_row("Wide", row);
    w->close();
  }
  auto r = Reader::open(file);
  EXPECT_EQ(r->table("Wide").columns.size(), 120u);
  std::string csv = mdbtool("mdb-export", file, "", "Wide");
  EXPECT_NE(csv.find("0,1.5,3,4.5"), std::string::npos) << csv.substr(0, 400);
  EXPECT_NE(csv.find(",178.5\n"), std::string::npos) << csv.substr(0, 400);
}

TEST(CreateTable, ManyTablesFillSeveralCatalogPages) {
  TempDir dir;
  std::string file = (dir / "many.mdb").string();
  constexpr int kTables = 120;
  {
    auto w = Writer::create(file);
    for (int i = 0; i < kTables; ++i) {
      w->create_table({"点検表_" + std::to_string(i),
                       {{"Id", ColumnType::Long, 0, true}, {"結果", ColumnType::Text, 30, false, true}},
                       {{"PrimaryKey", {"Id"}, true}}});
    }
    EXPECT_EQ(w->definition("点検表_7").columns.at(1).length, 30);
    w->append_row("点検表_119", {Value{}, Value{std::string("良")}});
    w->close();
  }
  std::string tables = mdbtool("mdb-tables", file, "-1");
  EXPECT_EQ(test::count_lines_starting(tables, "点検表_"), kTables);
  EXPECT_EQ(mdbtool("mdb-count", file, "", "MSysObjects"), std::to_string(8 + kTables) + "\n");
  EXPECT_EQ(mdbtool("mdb-count", file, "", "MSysACEs"), std::to_string(23 + 3 * kTables) + "\n");
  EXPECT_EQ(mdbtool("mdb-export", file, "", "点検表_119"), "Id,結果\n1,\"良\"\n");
  for (int idx : {0, 1}) {
    auto c = test::check_index(file, "MSysObjects", idx);
    EXPECT_EQ(c.problem, "") << idx;
    EXPECT_EQ(c.entries, static_cast<std::size_t>(8 + kTables));
  }
  EXPECT_EQ(test::check_index(file, "MSysACEs", 0).problem, "");
  auto r = Reader::open(file);
  EXPECT_EQ(r->table_names().size(), static_cast<std::size_t>(kTables));
  EXPECT_TRUE(r->table("点検表_3").columns[1].allow_zero_length);
}

TEST(CreateTable, RefusesDefinitionsJetCannotHold) {
  TempDir dir;
  auto w = Writer::create((dir / "t.mdb").string());
  w->create_table({"T", {{"A", ColumnType::Long}}, {}});
  auto code_of = [&](const TableDesign& design) {
    try {
      w->create_table(design);
    } catch (const Error& e) {
      return e.jet_code();
    }
    return -1;
  };
  EXPECT_EQ(code_of({"t", {{"A", ColumnType::Long}}, {}}), 3010);  // names compare without case
  EXPECT_EQ(code_of({"U", {{"A", ColumnType::Long}, {"a", ColumnType::Text}}, {}}), 3191);
  // Full-width letters too, as the layer that opens the file compares them.
  EXPECT_EQ(code_of({"U", {{"ＡＢ", ColumnType::Long}, {"ａｂ", ColumnType::Text}}, {}}), 3191);
  EXPECT_EQ(code_of({"U", {{"A", ColumnType::Decimal}}, {}}), 3259);
  EXPECT_EQ(code_of({"U", {{"A", ColumnType::Text, 256}}, {}}), 3259);
  EXPECT_EQ(code_of({"U", {{"A", ColumnType::Text, 10, true}}, {}}), 3259);
  EXPECT_EQ(code_of({"U", {{"A", ColumnType::Memo}}, {{"I", {"A"}}}}), 3259);
  EXPECT_EQ(code_of({"U", {{"A", ColumnType::Long}}, {{"I", {"B"}}}}), 3265);
  EXPECT_EQ(code_of({"U", {{"A", ColumnType::Long}}, {{"P", {"A"}, true}, {"Q", {"A"}, true}}}), 3283);
  EXPECT_EQ(code_of({"U", {}, {}}), 3190);
  EXPECT_EQ(code_of({std::string(65, 'x'), {{"A", ColumnType::Long}}, {}}), 3125);
  EXPECT_EQ(code_of({"MSysThing", {{"A", ColumnType::Long}}, {}}), 3010);
  // A refused definition leaves nothing behind.
  EXPECT_EQ(w->table_names(), std::vector<std::string>{"T"});
}

}  // namespace
}  // namespace mirutone::jet
