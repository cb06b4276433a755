// Reading the sample databases: known values, code pages, encoded pages,
// stale pages and row counts, long values, indexes, properties and queries.
#include "db/jet/api/reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <variant>

#include "db/jet/api/error.h"
#include "support/test_support.h"

namespace mirutone::jet {
namespace {

namespace fs = std::filesystem;

std::string sample(const char* name) { return (test::testdata_dir() / name).string(); }

std::vector<std::vector<Value>> read_all(const Reader& r, const std::string& table) {
  std::vector<std::vector<Value>> rows;
  auto cur = r.rows(table);
  std::vector<Value> row;
  while (cur->next(row)) rows.push_back(row);
  return rows;
}

int column_index(const TableInfo& t, const std::string& name) {
  for (std::size_t i = 0; i < t.columns.size(); ++i)
    if (t.columns[i].name == name) return static_cast<int>(i);
  ADD_FAILURE() << "no column " << name << " in " << t.name;
  return 0;
}

const ColumnInfo& column(const TableInfo& t, const std::string& name) {
  return t.columns[static_cast<std::size_t>(column_index(t, name))];
}

const IndexInfo* index_named(const TableInfo& t, const std::string& name) {
  for (const IndexInfo& i : t.indexes)
    if (i.name == name) return &i;
  return nullptr;
}

std::string text(const Value& v) {
  const std::string* s = std::get_if<std::string>(&v);
  return s ? *s : "<not text>";
}

TEST(ReaderOpen, MissingFileAndNonDatabasesAreClearErrors) {
  test::TempDir dir;
  try {
    Reader::open((dir / "absent.mdb").string());
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.jet_code(), 3024);
    EXPECT_NE(std::string(e.what()).find("absent.mdb"), std::string::npos);
  }
  std::ofstream(dir / "text.mdb") << std::string(5000, 'x');
  EXPECT_THROW(Reader::open((dir / "text.mdb").string()), CorruptError);
  std::ofstream(dir / "empty.mdb").close();
  EXPECT_THROW(Reader::open((dir / "empty.mdb").string()), CorruptError);
}

TEST(ReaderOpen, TruncatedFileEndsInAnErrorNamingTheFile) {
  MIRUTONE_REQUIRE_TESTDATA();
  test::TempDir dir;
  std::ifstream in(sample("j3_jackcess_test.mdb"), std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), {});
  for (std::size_t keep : {std::size_t{100}, std::size_t{2048 * 3}, std::size_t{2048 * 20},
                           bytes.size() - 2048}) {
    auto path = (dir / "cut.mdb").string();
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(keep));
    try {
      auto r = Reader::open(path);
      for (const auto& t : r->table_names(true)) read_all(*r, t);
      r->queries();
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find("cut.mdb"), std::string::npos) << e.what();
    }
  }
}

TEST(ReaderOpen, ReadOnlySourceIsReadAndLeftUnchanged) {
  MIRUTONE_REQUIRE_TESTDATA();
  test::TempDir dir;
  auto copy = dir / "ro.mdb";
  fs::copy_file(sample("j3_jackcess_test.mdb"), copy);
  fs::permissions(copy, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  auto before = fs::last_write_time(copy);
  {
    auto r = Reader::open(copy.string());
    EXPECT_EQ(read_all(*r, "Table1").size(), 2u);
  }
  EXPECT_EQ(fs::last_write_time(copy), before);
}

TEST(ReaderCatalog, HeaderFieldsAndTableNames) {
  MIRUTONE_REQUIRE_TESTDATA();
  auto r = Reader::open(sample("j4_ja_northwind.mdb"));
  EXPECT_EQ(r->format(), Format::Jet4);
  EXPECT_EQ(r->sort_order(), 0x0411);
  EXPECT_EQ(r->header_codepage(), 932);
  EXPECT_FALSE(r->encoded());
  auto names = r->table_names();
  EXPECT_EQ(names.size(), 9u);
  EXPECT_NE(std::find(names.begin(), names.end(), "受注明細"), names.end());
  for (const auto& n : names) EXPECT_NE(n.rfind("MSys", 0), 0u) << n;
  auto all = r->table_names(true);
  EXPECT_NE(std::find(all.begin(), all.end(), "MSysObjects"), all.end());
  EXPECT_TRUE(r->table("MSysObjects").system);
  EXPECT_FALSE(r->table("受注明細").system);
  try {
    r->table("NoSuchTable");
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.jet_code(), 3078);
    EXPECT_NE(std::string(e.what()).find("NoSuchTable"), std::string::npos);
  }
  EXPECT_THROW(r->rows("NoSuchTable"), Error);
}

TEST(ReaderRows, FollowsTheUsageMapNotStalePages) {
  MIRUTONE_REQUIRE_TESTDATA();
  auto r = Reader::open(sample("j3_nwind_full.mdb"));
  EXPECT_EQ(read_all(*r, "Umsätze").size(), 830u);  // 257 stale pages hold 2049 more
  EXPECT_EQ(read_all(*r, "Order Details").size(), 2155u);
  EXPECT_EQ(r->table("Order Details").stored_row_count, 2155u);
}

TEST(ReaderRows, StoredRowCountMayBeStale) {
  MIRUTONE_REQUIRE_TESTDATA();
  auto r = Reader::open(sample("j3_psc_stale_rowcount.mdb"));
  EXPECT_EQ(r->header_codepage(), 0);
  EXPECT_EQ(r->sort_order(), 1055);
  EXPECT_EQ(r->codepage(), 1254);  // derived from the Turkish sort order
  EXPECT_EQ(r->table("dbWords").stored_row_count, 24u);
  EXPECT_EQ(read_all(*r, "dbWords").size(), 26u);
}

TEST(ReaderRows, Jet3KnownValuesOfEveryFixedType) {
  MIRUTONE_REQUIRE_TESTDATA();
  auto r = Reader::open(sample("j3_jackcess_test.mdb"));
  const TableInfo& t = r->table("Table1");
  auto rows = read_all(*r, "Table1");
  ASSERT_EQ(rows.size(), 2u);
  const auto& v = rows[1];
  EXPECT_EQ(text(v[0]), "abcdefg");
  EXPECT_EQ(text(v[1]), "hijklmnop");
  EXPECT_EQ(column(t, "C").type, ColumnType::Byte);
  EXPECT_EQ(v[2], Value(std::int32_t{2}));
  EXPECT_EQ(v[3], Value(std::int32_t{222}));
  EXPECT_EQ(v[4], Value(std::int32_t{333333333}));
  EXPECT_EQ(v[5], Value(444.555));
  EXPECT_EQ(format_datetime(std::get<DateTime>(v[6])), "1974-09-21T00:00:00");
  EXPECT_EQ(std::get<Currency>(v[7]).scaled, 35000);
  EXPECT_EQ(v[8], Value(true));
  EXPECT_EQ(rows[0][8], Value(false));
}

TEST(ReaderRows, EncodedJet3FileIsDecodedPageByPage) {
  MIRUTONE_REQUIRE_TESTDATA();
  auto r = Reader::open(sample("j3_ENCODED_jackcessencrypt.mdb"));
  EXPECT_TRUE(r->encoded());
  auto rows = read_all(*r, "Table1");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][0], Value(std::int32_t{1}));
  EXPECT_EQ(text(rows[0][1]), "hello");
  EXPECT_EQ(text(rows[1][1]), "world");
  EXPECT_EQ(rows[1][2], Value(std::int32_t{42}));
}

TEST(ReaderRows, Jet4PasswordDoesNotStopReading) {
  MIRUTONE_REQUIRE_TESTDATA();
  auto r = Reader::open(sample("j4_PASSWORD_mdbreader.mdb"));
  auto rows = read_all(*r, "Table1");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(text(rows[2][1]), "Three");
}

TEST(ReaderText, Cp932AndGbkNeedTheOverrideWhereTheHeaderSays1252) {
  MIRUTONE_REQUIRE_TESTDATA();
  // Only the text bytes of this file were patched; its header keeps cp 1252.
  ReadOptions cp932;
  cp932.codepage_override = 932;
  auto r = Reader::open(sample("j3_patched_cp932.mdb"), cp932);
  EXPECT_EQ(r->codepage(), 932);
  auto rows = read_all(*r, "Table1");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(text(rows[1][0]), "日本ｱxy");
  EXPECT_EQ(text(rows[1][1]), "表ソ能abc");

  ReadOptions gbk;
  gbk.codepage_override = 936;
  auto g = Reader::open(sample("j3_ucanaccess_gbk.mdb"), gbk);
  auto grows = read_all(*g, "table1");
  ASSERT_EQ(grows.size(), 1u);
  const TableInfo& t = g->table("table1");
  bool found = false;
  for (const Value& v : grows[0]) found |= text(v) == "GBK编码";
  EXPECT_TRUE(found);
  auto plain = Reader::open(sample("j3_ucanaccess_gbk.mdb"));
  EXPECT_EQ(plain->codepage(), 1252);
  EXPECT_EQ(t.columns.size(), plain->table("table1").columns.size());
  bool mojibake = false;
  auto prows = read_all(*plain, "table1");
  ASSERT_EQ(prows.size(), 1u);
  for (const Value& v : prows[0]) mojibake |= text(v) == "GBK±àÂë";
  EXPECT_TRUE(mojibake);
}

TEST(ReaderText, Jet4CompressedAndUncompressedUnicode) {
  MIRUTONE_REQUIRE_TESTDATA();
  auto r = Reader::open(sample("j4_jackcess_unicodecomp.mdb"));
  auto rows = read_all(*r, "Table");
  ASSERT_EQ(rows.size(), 8u);
  EXPECT_EQ(text(rows[1][1]), "ääkkösiä");
  EXPECT_EQ(text(rows[2][1]), "Мир");
  EXPECT_EQ(text(rows[3][1]).rfind("ϰαὶ", 0), 0u);
  EXPECT_NE(text(rows[3][1]).find("ἐγὼ"), std::string::npos);
  EXPECT_EQ(text(rows[4][1]), "漢字仮名交じり文");

  auto ja = Reader::open(sample("j4_ja_northwind.mdb"));
  const TableInfo& emp = ja->table("社員");
  auto erows = read_all(*ja, "社員");
  ASSERT_EQ(erows.size(), 9u);
  EXPECT_EQ(text(erows[0][static_cast<std::size_t>(column_index(emp, "氏名"))]), "森上 偉久馬");
}

TEST(ReaderDates, ExactBefore1900AndUpToTheYear9999) {
  MIRUTONE_REQUIRE_TESTDATA();
  auto r = Reader::open(sample("j4_mdbtestdata_dates.mdb"));
  auto rows = read_all(*r, "DateTest");
  ASSERT_EQ(rows.size(), 6u);
  auto date = [&](int row, int col) { return format_datetime(std::get<DateTime>(rows[row][col])); };
  EXPECT_EQ(date(1, 1), "9999-01-01T00:00:00");
  EXPECT_EQ(std::get<DateTime>(rows[1][1]).days, 2958101.0);
  EXPECT_EQ(date(2, 1), "1898-01-01T00:00:00");
  EXPECT_EQ(date(2, 2), "1899-01-01T00:00:00");
  EXPECT_EQ(date(2, 3), "1900-01-01T00:00:00");
  EXPECT_EQ(date(3, 1), "0632-01-01T00:00:00");
  EXPECT_EQ(date(3, 2), "0633-01-01T00:00:00");
  EXPECT_EQ(date(3, 3), "0634-01-01T00:00:00");
  EXPECT_EQ(text(rows[4][4]), R"(Escaped new line \r\n in field)");
}

TEST(ReaderValues, DecimalPrecisionScaleAndSign) {
  MIRUTONE_REQUIRE_TESTDATA();
  auto r = Reader::open(sample("j4_jackcess_fixednumeric.mdb"));
  const TableInfo& t = r->table("test");
  EXPECT_EQ(column(t, "col2").type, ColumnType::Decimal);
  EXPECT_EQ(column(t, "col2").precision, 18);
  EXPECT_EQ(column(t, "col2").scale, 0);
  auto rows = read_all(*r, "test");
  ASSERT_EQ(rows.size(), 1u);
  const char* expect[] = {"1", "0", "0", "4", "-1", "1"};
  for (int i = 0; i < 6; ++i)
    EXPECT_EQ(format_decimal(std::get<Decimal>(rows[0][static_cast<std::size_t>(i + 1)])),
              expect[i])
        << "col" << i + 2;
}

TEST(ReaderValues, GuidColumn) {
  MIRUTONE_REQUIRE_TESTDATA();
  auto r = Reader::open(sample("j3_jackcess_indexcodes.mdb"));
  EXPECT_EQ(r->table("Table13").columns[1].type, ColumnType::GUID);
  auto rows = read_all(*r, "Table13");
  ASSERT_GE(rows.size(), 1u);
  EXPECT_EQ(format_guid(std::get<Guid>(rows[0][1])), "{8E39276A-BCA8-4AC4-891E-49911D8438DD}");
}

TEST(ReaderValues, MemoAndOleInlineSingleAndChained) {
  MIRUTONE_REQUIRE_TESTDATA();
  auto r = Reader::open(sample("j3_nwind_full.mdb"));
  const TableInfo& emp = r->table("Employees");
  auto rows = read_all(*r, "Employees");
  ASSERT_EQ(rows.size(), 9u);
  const auto photo = static_cast<std::size_t>(column_index(emp, "Photo"));
  const auto notes = static_cast<std::size_t>(column_index(emp, "Notes"));
  EXPECT_EQ(emp.columns[photo].type, ColumnType::OLE);
  const Bytes& pic = std::get<Bytes>(rows[0][photo]);  // a chain of LVAL rows
  EXPECT_EQ(pic.size(), 21626u);
  EXPECT_EQ(to_hex(Bytes(pic.begin(), pic.begin() + 8)), "151c2f0002000000");
  EXPECT_EQ(std::get<Bytes>(rows[2][photo]).size(), 21722u);
  EXPECT_EQ(text(rows[0][notes]).size(), 175u);
  EXPECT_EQ(text(rows[0][notes]).rfind("Education includes a BA in psychology", 0), 0u);
  EXPECT_EQ(text(rows[1][notes]).size(), 448u);

  auto t2 = Reader::open(sample("j3_jackcess_test2.mdb"));
  auto prow = read_all(*t2, "MSP_PROJECTS");
  ASSERT_EQ(prow.size(), 1u);
  EXPECT_EQ(std::get<Bytes>(prow[0][73]).size(), 22970u);
}

TEST(ReaderSchema, ColumnsIndexesAndProperties) {
  MIRUTONE_REQUIRE_TESTDATA();
  auto r = Reader::open(sample("j3_nwind_full.mdb"));
  const TableInfo& cat = r->table("Categories");
  EXPECT_TRUE(column(cat, "CategoryID").autonumber);
  EXPECT_TRUE(column(cat, "CategoryID").fixed);
  EXPECT_FALSE(column(cat, "CategoryName").nullable);  // Required = Yes
  EXPECT_EQ(column(cat, "CategoryName").size, 15);
  EXPECT_TRUE(column(cat, "Description").nullable);
  EXPECT_FALSE(column(cat, "CategoryName").fixed);

  const TableInfo& od = r->table("Order Details");
  const IndexInfo* pk = index_named(od, "PrimaryKey");
  ASSERT_NE(pk, nullptr);
  EXPECT_TRUE(pk->primary);
  EXPECT_TRUE(pk->unique);
  EXPECT_EQ(pk->columns, (std::vector<std::string>{"OrderID", "ProductID"}));
  EXPECT_EQ(pk->ascending, (std::vector<bool>{true, true}));
  const IndexInfo* fk = index_named(od, "ProductsOrder Details");
  ASSERT_NE(fk, nullptr);
  EXPECT_TRUE(fk->foreign_key);
  EXPECT_FALSE(fk->primary);
  const IndexInfo* plain = index_named(od, "OrderID");
  ASSERT_NE(plain, nullptr);
  EXPECT_FALSE(plain->unique || plain->primary || plain->foreign_key);

  auto ix = Reader::open(sample("j4_jackcess_index.mdb"));
  const TableInfo& t1 = ix->table("Table1");
  int primaries = 0;
  for (const IndexInfo& i : t1.indexes) primaries += i.primary;
  EXPECT_EQ(primaries, 1);
}

TEST(ReaderSchema, DeletedColumnLeavesAGapInColumnNumbers) {
  MIRUTONE_REQUIRE_TESTDATA();
  // Column 0 of this table was deleted: the others keep their numbers.
  auto r = Reader::open(sample("j4_jackcess_index.mdb"));
  const TableInfo& t = r->table("Table1");
  ASSERT_EQ(t.columns.size(), 5u);
  EXPECT_EQ(t.columns[0].name, "id");
  EXPECT_EQ(t.columns[0].column_number, 1);
  EXPECT_EQ(t.columns[4].column_number, 5);
  auto rows = read_all(*r, "Table1");
  ASSERT_EQ(rows.size(), 4u);
  for (const auto& row : rows) EXPECT_TRUE(std::holds_alternative<std::int32_t>(row[0]));
}

TEST(ReaderQueries, EveryStoredQueryWithItsSql) {
  MIRUTONE_REQUIRE_TESTDATA();
  for (const char* f : {"j3_jackcess_query.mdb", "j4_jackcess_query.mdb"}) {
    auto r = Reader::open(sample(f));
    auto qs = r->queries();
    ASSERT_EQ(qs.size(), 9u) << f;
    for (const QueryInfo& q : qs) {
      ASSERT_TRUE(q.sql.has_value()) << f << " " << q.name;
      if (q.name == "DataDefinitionQuery") {
        EXPECT_NE(q.sql->find("CREATE TABLE Table5"), std::string::npos) << *q.sql;
      } else if (q.name == "SelectQuery") {
        EXPECT_NE(q.sql->find("Table1.*"), std::string::npos) << *q.sql;
      }
    }
  }
  auto nw = Reader::open(sample("j3_nwind_full.mdb"));
  EXPECT_EQ(nw->queries().size(), 22u);
  auto ja = Reader::open(sample("j4_ja_northwind.mdb"));
  EXPECT_EQ(ja->queries().size(), 56u);
}

TEST(ReaderRows, CursorsStreamIndependently) {
  MIRUTONE_REQUIRE_TESTDATA();
  auto r = Reader::open(sample("j3_jackcess_compindex.mdb"));
  auto a = r->rows("Table1");
  auto b = r->rows("Table1");
  std::vector<Value> ra, rb;
  long n = 0;
  while (a->next(ra)) {
    ASSERT_TRUE(b->next(rb));
    ASSERT_EQ(ra, rb);
    ++n;
  }
  EXPECT_FALSE(b->next(rb));
  EXPECT_FALSE(a->next(ra));  // stays at the end
  EXPECT_EQ(n, 512);
}

TEST(ReaderRows, CursorOutlivesItsReader) {
  MIRUTONE_REQUIRE_TESTDATA();
  auto r = Reader::open(sample("j3_nwind_full.mdb"));
  auto cur = r->rows("Employees");
  r.reset();
  std::vector<Value> row;
  long n = 0;
  while (cur->next(row)) ++n;
  EXPECT_EQ(n, 9);
}

}  // namespace
}  // namespace mirutone::jet
