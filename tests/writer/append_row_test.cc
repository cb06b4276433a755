// Rows: values through the independent readers and ours, counters in the
// table definition, pages as the table grows, index trees, refused rows.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "db/jet/catalog/page_census.h"
#include "db/jet/api/reader.h"
#include "db/jet/api/writer.h"
#include "support/test_support.h"
#include "writer/index_check.h"
#include "writer/oracle_util.h"

namespace mirutone::jet {
namespace {

using test::mdbtool;
using test::TempDir;

TableDesign sample_table() {
  return TableDesign{"Log",
                   {{"Id", ColumnType::Long, 0, true},
                    {"Ok", ColumnType::Boolean},
                    {"Shift", ColumnType::Byte},
                    {"Line", ColumnType::Integer},
                    {"Cost", ColumnType::Currency},
                    {"Ratio", ColumnType::Single},
                    {"Weight", ColumnType::Double},
                    {"Taken", ColumnType::DateTime},
                    {"Title", ColumnType::Text, 60, false, true},
                    {"Notes", ColumnType::Memo, 0, false, true}},
                   {{"PrimaryKey", {"Id"}, true}, {"ByTitle", {"Title", "Line"}}}};
}

std::vector<Value> sample_row(int i) {
  return {Value{},
          Value{i % 3 == 0},
          Value{std::int32_t(i % 256)},
          i % 5 == 0 ? Value{} : Value{std::int32_t(i - 20000)},
          Value{Currency{i * 12345LL}},
          Value{0.5f * static_cast<float>(i)},
          Value{i / 8.0},
          Value{DateTime{36526.25 + i}},
          Value{std::string("日報 ") + std::to_string(i) + std::string(i % 40, '.')},
          i % 97 == 0 ? Value{std::string(2500 + i % 1000, 'm')} : Value{"memo " + std::to_string(i)}};
}

std::size_t file_size(const std::string& f) { return std::filesystem::file_size(f); }

TEST(AppendRow, ValuesComeBackThroughEveryReader) {
  TempDir dir;
  std::string file = (dir / "rows.mdb").string();
  {
    auto w = Writer::create(file);
    w->create_table(sample_table());
    for (int i = 1; i <= 3; ++i) w->append_row("Log", sample_row(i * 97));
    w->append_row("Log", {Value{}, Value{}, Value{}, Value{}, Value{}, Value{}, Value{}, Value{}, Value{}, Value{}});
    w->close();
  }
  auto r = Reader::open(file);
  auto cursor = r->rows("Log");
  std::vector<Value> row;
  for (int i = 1; i <= 3; ++i) {
    ASSERT_TRUE(cursor->next(row));
    std::vector<Value> expected = sample_row(i * 97);
    expected[0] = std::int32_t(i);
    EXPECT_EQ(row, expected) << "row " << i;
  }
  ASSERT_TRUE(cursor->next(row));
  EXPECT_EQ(row[0], Value{std::int32_t(4)});
  EXPECT_EQ(row[1], Value{false});  // a Null Boolean is stored as False
  for (std::size_t c = 2; c < row.size(); ++c) EXPECT_TRUE(is_null(row[c])) << c;
  EXPECT_FALSE(cursor->next(row));
  EXPECT_EQ(r->table("Log").stored_row_count, 4u);

  std::string csv = mdbtool("mdb-export", file, "-T '%Y-%m-%d %H:%M:%S'", "Log");
  EXPECT_NE(csv.find("1,0,97,-19903,119.7465,48.5,12.125,\"2000-04-07 06:00:00\",\"日報 97"),
            std::string::npos) << csv.substr(0, 300);
  EXPECT_NE(csv.find("\n4,0,,,,,,,,\n"), std::string::npos) << csv.substr(0, 300);
  std::string lines = test::mdb_reader_lines(file);
  EXPECT_EQ(test::count_lines_starting(lines, "R\t"), 4) << lines.substr(0, 500);
  EXPECT_EQ(test::count_lines_starting(lines, "E\t"), 0) << lines.substr(0, 500);
}

TEST(AppendRow, ThousandsOfRowsGrowPagesMapsAndIndexes) {
  TempDir dir;
  std::string file = (dir / "big.mdb").string();
  constexpr int kRows = 12000;
  {
    auto w = Writer::create(file);
    w->create_table(sample_table());
    for (int i = 1; i <= kRows; ++i) w->append_row("Log", sample_row(i));
    EXPECT_EQ(w->row_count("Log"), static_cast<std::uint32_t>(kRows));
    EXPECT_EQ(w->last_autonumber("Log"), static_cast<std::uint32_t>(kRows));
    w->close();
  }
  // Past 1024 pages: the table's maps cannot stay inline with start 0.
  EXPECT_GT(file_size(file), 1024u * 2048u);
  EXPECT_EQ(mdbtool("mdb-count", file, "", "Log"), std::to_string(kRows) + "\n");
  std::string csv = mdbtool("mdb-export", file, "", "Log");
  EXPECT_EQ(test::count_lines_starting(csv, ""), kRows + 1);
  // mdb-reader refuses an owned map listing a page that is not this table's.
  std::string lines = test::mdb_reader_lines(file, "");
  EXPECT_EQ(test::count_lines_starting(lines, "R\t"), kRows);
  EXPECT_EQ(test::count_lines_starting(lines, "E\t"), 0);

  auto pk = test::check_index(file, "Log", 0);
  EXPECT_EQ(pk.problem, "");
  EXPECT_EQ(pk.entries, static_cast<std::size_t>(kRows));
  EXPECT_GE(pk.depth, 2);
  auto by_title = test::check_index(file, "Log", 1);
  EXPECT_EQ(by_title.problem, "");
  EXPECT_GE(by_title.depth, 2);
  auto catalog = test::check_index(file, "MSysObjects", 0);
  EXPECT_EQ(catalog.problem, "");
  EXPECT_EQ(catalog.entries, 9u);
  // Every page held once or free, the global map reaching past the end.
  PageCensus census = take_page_census(file);
  EXPECT_TRUE(census.problems.empty()) << census.problems.front();
  EXPECT_EQ(census.unaccounted(), 0u);
  EXPECT_GE(census.global_map_end, census.page_count);

  auto r = Reader::open(file);
  EXPECT_EQ(r->table("Log").stored_row_count, static_cast<std::uint32_t>(kRows));
  auto cursor = r->rows("Log");
  std::vector<Value> row;
  int n = 0;
  while (cursor->next(row)) {
    ++n;
    ASSERT_EQ(row[0], Value{std::int32_t(n)});
    ASSERT_EQ(row[9], sample_row(n)[9]) << "memo of row " << n;
  }
  EXPECT_EQ(n, kRows);
}

// A table created once the file is past 1024 pages: its index maps must not
// start at page 0, where an inline map cannot reach its root.
TEST(AppendRow, TableCreatedInALargeFileKeepsItsIndexes) {
  TempDir dir;
  std::string file = (dir / "late.mdb").string();
  constexpr int kRows = 30000;
  {
    auto w = Writer::create(file);
    w->create_table(sample_table());
    for (int i = 1; i <= kRows; ++i) w->append_row("Log", sample_row(i));
    w->create_table({"Late", {{"K", ColumnType::Long}, {"Name", ColumnType::Text, 20, false, true}},
                     {{"PrimaryKey", {"K"}, true}, {"ByName", {"Name"}}}});
    for (int i = 0; i < 500; ++i) {
      w->append_row("Late", {Value{std::int32_t(1000 - i)}, Value{"名前" + std::to_string(i)}});
    }
    w->close();
  }
  EXPECT_EQ(mdbtool("mdb-count", file, "", "Late"), "500\n");
  for (int ix = 0; ix < 2; ++ix) {
    auto c = test::check_index(file, "Late", ix);
    EXPECT_EQ(c.problem, "") << "index " << ix;
    EXPECT_EQ(c.entries, 500u) << "index " << ix;
  }
  std::string lines = test::mdb_reader_lines(file, "");
  EXPECT_EQ(test::count_lines_starting(lines, "E\t"), 0);
}

TEST(AppendRow, DescendingAndIgnoreNullsIndexes) {
  TempDir dir;
  std::string file = (dir / "desc.mdb").string();
  {
    auto w = Writer::create(file, Locale::general());
    IndexDesign by_value_desc{"ByValueDesc", {"Value", "Name"}};
    by_value_desc.descending = {true, false};
    IndexDesign by_name{"ByName", {"Name"}, false, true, true};
    w->create_table({"M", {{"Value", ColumnType::Double}, {"Name", ColumnType::Text, 30, false, true}},
                     {by_value_desc, by_name}});
    for (int i = 0; i < 700; ++i) {
      w->append_row("M", {Value{(i % 37) * -1.25 + 10}, i % 4 == 0 ? Value{} : Value{"Café " + std::to_string(i)}});
    }
    // Unique, but Nulls are neither indexed nor compared.
    w->append_row("M", {Value{1.0}, Value{}});
    EXPECT_THROW(w->append_row("M", {Value{1.0}, Value{std::string("CAFÉ 1")}}), Error);  // keys ignore case
    w->close();
  }
  auto desc = test::check_index(file, "M", 0);
  EXPECT_EQ(desc.problem, "");
  EXPECT_EQ(desc.entries, 701u);
  auto names = test::check_index(file, "M", 1);
  EXPECT_EQ(names.problem, "");
  EXPECT_EQ(names.entries, 525u);  // 700 - 175 Null names
}

TEST(AppendRow, AutonumberMovesPastExplicitValues) {
  TempDir dir;
  std::string file = (dir / "auto.mdb").string();
  {
    auto w = Writer::create(file, Locale::general());
    w->create_table({"A", {{"Id", ColumnType::Long, 0, true}, {"V", ColumnType::Text, 10, false, true}},
                     {{"PrimaryKey", {"Id"}, true}}});
    w->append_row("A", {Value{}, Value{std::string("a")}});
    w->append_row("A", {Value{std::int32_t(10)}, Value{std::string("b")}});
    w->append_row("A", {Value{}, Value{std::string("c")}});
    w->append_row("A", {Value{std::int32_t(5)}, Value{std::string("d")}});
    w->append_row("A", {Value{}, Value{std::string("e")}});
    EXPECT_EQ(w->last_autonumber("A"), 12u);
    w->close();
  }
  EXPECT_EQ(mdbtool("mdb-export", file, "", "A"), "Id,V\n1,\"a\"\n10,\"b\"\n11,\"c\"\n5,\"d\"\n12,\"e\"\n");
  // The counter survives closing and opening again.
  auto w = Writer::open(file);
  w->append_row("A", {Value{}, Value{std::string("f")}});
  EXPECT_EQ(w->last_autonumber("A"), 13u);
  w->close();
  EXPECT_EQ(test::check_index(file, "A", 0).problem, "");
}

TEST(AppendRow, RefusedRowsLeaveTheTableAsItWas) {
  TempDir dir;
  std::string file = (dir / "refuse.mdb").string();
  auto w = Writer::create(file);
  w->create_table({"P",
                   {{"K1", ColumnType::Long}, {"K2", ColumnType::Text, 10}, {"Need", ColumnType::Text, 4, false, false, true},
                    {"Memo", ColumnType::Memo}},
                   {{"PrimaryKey", {"K1", "K2"}, true}}});
  w->append_row("P", {Value{std::int32_t(1)}, Value{std::string("a")}, Value{std::string("x")}, Value{}});
  auto code_of = [&](std::vector<Value> v) {
    try {
      w->append_row("P", std::move(v));
    } catch (const Error& e) {
      EXPECT_EQ(e.file(), file);
      return e.jet_code();
    }
    return -1;
  };
  std::string big(3000, 'z');
  EXPECT_EQ(code_of({Value{std::int32_t(1)}, Value{std::string("a")}, Value{std::string("y")}, Value{big}}), 3022);
  EXPECT_EQ(code_of({Value{}, Value{std::string("b")}, Value{std::string("y")}, Value{big}}), 3058);
  EXPECT_EQ(code_of({Value{std::int32_t(2)}, Value{std::string("b")}, Value{}, Value{big}}), 3314);
  EXPECT_EQ(code_of({Value{std::int32_t(2)}, Value{std::string("b")}, Value{std::string("")}, Value{big}}), 3315);
  EXPECT_EQ(code_of({Value{std::int32_t(2)}, Value{std::string("b")}, Value{std::string("日本")}, Value{big}}), -1);
  // Text(4) declares four bytes; in code page 932 four double-byte characters
  // (eight bytes) may be stored, five may not.
  EXPECT_EQ(code_of({Value{std::int32_t(3)}, Value{std::string("b")}, Value{std::string("日本語日本")}, Value{big}}), 3163);
  EXPECT_EQ(code_of({Value{std::int32_t(3)}, Value{std::string("b")}}), 3265);
  try {
    w->append_row("Nope", {});
    ADD_FAILURE();
  } catch (const Error& e) {
    EXPECT_EQ(e.jet_code(), 3078);
  }
  EXPECT_EQ(w->row_count("P"), 2u);
  w->close();
  EXPECT_EQ(mdbtool("mdb-count", file, "", "P"), "2\n");
  auto check = test::check_index(file, "P", 0);
  EXPECT_EQ(check.problem, "");
  EXPECT_EQ(check.entries, 2u);
  // The refused rows' long values were never stored: one LVAL page holds the one accepted.
  std::string lines = test::mdb_reader_lines(file);
  EXPECT_EQ(test::count_lines_starting(lines, "R\t"), 2);
}

}  // namespace
}  // namespace mirutone::jet
