// The object model over the engine: creating, opening, handles, recordsets.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "db/engine.h"
#include "db/errors.h"
#include "db/jet/api/reader.h"
#include "db/locale_string.h"
#include "db/row_order.h"
#include "support/test_support.h"

namespace mirutone::db {
namespace {

jet::Value num(int n) { return std::int32_t{n}; }
jet::Value str(const std::string& s) { return s; }

int code_of(const std::function<void()>& f) {
  try {
    f();
  } catch (const jet::Error& e) {
    return e.jet_code();
  }
  return 0;
}

// A table Items(ID Long auto key, NAME Text(20) zero-length allowed, N Integer).
Database make_items(const std::string& path) {
  Database db = DBEngine::Workspaces(0).CreateDatabase(path, dbLangJapanese);
  TableDef t = db.CreateTableDef("Items");
  Field id = t.CreateField("ID", dbLong);
  id.Attributes = dbAutoIncrField;
  Field name = t.CreateField("NAME", dbText, 20);
  name.AllowZeroLength = true;
  t.Fields.Append(id);
  t.Fields.Append(name);
  t.Fields.Append(t.CreateField("N", dbInteger));
  Index pk = t.CreateIndex("Items");
  pk.Fields.Append(pk.CreateField("ID"));
  pk.Primary = true;
  t.Indexes.Append(pk);
  db.TableDefs().Append(t);
  return db;
}

void add(const Database& db, const std::string& name, int n) {
  Recordset rs = db.OpenRecordset("Items");
  rs.AddNew();
  rs.Fields("NAME").SetValue(str(name));
  rs.Fields("N").SetValue(num(n));
  rs.Update();
}

std::vector<std::string> names_in(const Database& db, const std::string& sql) {
  std::vector<std::string> out;
  for (Recordset rs = db.OpenRecordset(sql, dbOpenSnapshot); !rs.Eof(); rs.MoveNext()) {
    out.push_back(std::get<std::string>(rs.Fields("NAME").Value()));
  }
  return out;
}

std::size_t rows_on_disk(const std::string& path, const std::string& table) {
  auto r = jet::Reader::open(path);
  auto cur = r->rows(table);
  std::vector<jet::Value> row;
  std::size_t n = 0;
  while (cur->next(row)) ++n;
  return n;
}

TEST(LocaleString, ReadsLangIdAndCodePage) {
  jet::Locale l = parse_locale_string(dbLangJapanese);
  EXPECT_EQ(l.sort_order, 0x0411);
  EXPECT_EQ(l.codepage, 932);
  l = parse_locale_string(";LANGID=0x0411");
  EXPECT_EQ(l.codepage, 932);  // the code page of the sort order
  EXPECT_EQ(parse_locale_string("").sort_order, 0x0409);
  EXPECT_EQ(code_of([] { parse_locale_string(";LANGID=japan"); }), jet_errors::kInvalidArgument);
  EXPECT_EQ(code_of([] { parse_locale_string(";PWD=x"); }), jet_errors::kInvalidArgument);
}

TEST(Database, CreateRefusesAnExistingFileAndLeavesIt) {
  test::TempDir dir;
  const std::string path = (dir / "a.mdb").string();
  { std::ofstream(path) << "keep"; }
  EXPECT_EQ(code_of([&] { DBEngine::Workspaces(0).CreateDatabase(path, dbLangJapanese); }), jet_errors::kDatabaseExists);
  std::ifstream in(path);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "keep");
  EXPECT_EQ(code_of([&] { DBEngine::Workspaces(0).OpenDatabase((dir / "missing.mdb").string()); }), 3024);
  EXPECT_EQ(code_of([] { DBEngine::Workspaces(1); }), jet_errors::kInvalidArgument);
}

TEST(Database, LastHandleClosesAndWritesOut) {
  test::TempDir dir;
  const std::string path = (dir / "a.mdb").string();
  Database a = make_items(path);
  add(a, "one", 1);
  {
    Database b = a;  // a second handle to the same open database
    a = Database();  // releasing one handle leaves it open
    add(b, "two", 2);
  }  // the last handle goes: closed and written out
  EXPECT_EQ(rows_on_disk(path, "Items"), 2u);

  Database c = DBEngine::Workspaces(0).OpenDatabase(path);
  Database d = c;
  add(c, "three", 3);
  d = make_items((dir / "b.mdb").string());  // assigning releases only d's share
  add(c, "four", 4);
  c.Close();  // explicit close ends it for every handle
  EXPECT_EQ(code_of([&] { add(c, "five", 5); }), jet_errors::kObjectClosed);
  EXPECT_EQ(rows_on_disk(path, "Items"), 4u);
  Database none;
  EXPECT_EQ(code_of([&] { none.OpenRecordset("Items"); }), jet_errors::kObjectClosed);
}

TEST(Database, ReadsBackWhatItWroteAndWritesAgain) {
  test::TempDir dir;
  Database db = make_items((dir / "a.mdb").string());
  add(db, "b", 2);
  add(db, "a", 1);
  EXPECT_EQ(names_in(db, "SELECT * FROM Items ORDER BY N"), (std::vector<std::string>{"a", "b"}));
  add(db, "c", 0);  // the writer opens again after the read
  EXPECT_EQ(names_in(db, "SELECT * FROM items ORDER BY n DESC"), (std::vector<std::string>{"b", "a", "c"}));
  EXPECT_EQ(names_in(db, "Items"), (std::vector<std::string>{"b", "a", "c"}));  // storage order

  // A recordset being read when the file is written refuses to go on.
  Recordset reading = db.OpenRecordset("Items", dbOpenSnapshot);
  EXPECT_FALSE(reading.Eof());
  add(db, "d", 4);
  EXPECT_EQ(code_of([&] { reading.MoveNext(); }), jet_errors::kObjectClosed);
}

// Two databases opened on one file in this process: each sees what the other
// wrote, and their writes do not overwrite each other.
TEST(Database, TwoOpeningsOfOneFileShareItsContent) {
  test::TempDir dir;
  const std::string path = (dir / "a.mdb").string();
  Database builder = make_items(path);
  add(builder, "from the builder", 1);  // not yet written out
  Database again = DBEngine::Workspaces(0).OpenDatabase(path);
  EXPECT_EQ(names_in(again, "Items"), (std::vector<std::string>{"from the builder"}));
  add(again, "second", 2);
  add(builder, "third", 3);
  add(again, "fourth", 4);
  EXPECT_EQ(names_in(builder, "SELECT * FROM Items ORDER BY N"),
            (std::vector<std::string>{"from the builder", "second", "third", "fourth"}));
  builder = Database();
  again = Database();
  EXPECT_EQ(rows_on_disk(path, "Items"), 4u);
}

TEST(Database, RefusalsCarryJetNumbersAndNames) {
  test::TempDir dir;
  Database db = make_items((dir / "a.mdb").string());
  EXPECT_EQ(code_of([&] { db.OpenRecordset("Nothing"); }), jet_errors::kUnknownTable);
  EXPECT_EQ(code_of([&] { db.OpenRecordset("SELECT * FROM Items ORDER BY Missing"); }), jet_errors::kUnknownField);
  EXPECT_EQ(code_of([&] { db.OpenRecordset("SELECT ID FROM Items WHERE"); }), jet_errors::kSyntaxError);
  EXPECT_EQ(code_of([&] { db.OpenRecordset("Items", 99); }), jet_errors::kInvalidArgument);
  EXPECT_EQ(code_of([&] { db.OpenRecordset("Items", dbOpenSnapshot).AddNew(); }), jet_errors::kNotUpdatable);
  EXPECT_EQ(code_of([&] { db.OpenRecordset("Items").Update(); }), jet_errors::kUpdateWithoutAddNew);
  EXPECT_EQ(code_of([&] { db.OpenRecordset("Items").Fields("N").SetValue(num(1)); }), jet_errors::kUpdateWithoutAddNew);
  EXPECT_EQ(code_of([&] { db.OpenRecordset("Items").Fields("N").Value(); }), jet_errors::kNoCurrentRecord);
  EXPECT_EQ(code_of([&] { make_items((dir / "a.mdb").string()); }), jet_errors::kDatabaseExists);

  TableDef t = db.CreateTableDef("items");
  t.Fields.Append(t.CreateField("X", dbLong));
  EXPECT_EQ(code_of([&] { db.TableDefs().Append(t); }), jet_errors::kTableExists);
  EXPECT_EQ(code_of([&] { t.Fields.Append(t.CreateField("x", dbText, 5)); }), jet_errors::kFieldExists);
  EXPECT_EQ(code_of([&] { t.CreateField("Y", 99); }), jet_errors::kInvalidFieldType);
  TableDef empty = db.CreateTableDef("Empty");
  EXPECT_EQ(code_of([&] { db.TableDefs().Append(empty); }), jet_errors::kNoFields);
  TableDef bad_key = db.CreateTableDef("BadKey");
  bad_key.Fields.Append(bad_key.CreateField("A", dbLong));
  Index ix = bad_key.CreateIndex("BadKey");
  ix.Fields.Append(ix.CreateField("B"));
  ix.Primary = true;
  bad_key.Indexes.Append(ix);
  EXPECT_EQ(code_of([&] { db.TableDefs().Append(bad_key); }), jet_errors::kUnknownField);
  EXPECT_EQ(db.TableDefs().Count(), 1);
  EXPECT_EQ(code_of([&] { db.QueryDefs()("none"); }), jet_errors::kUnknownQuery);
}

TEST(Database, RefusedRowLeavesACompleteFileOnDiskAndWritingGoesOn) {
  test::TempDir dir;
  const std::string path = (dir / "a.mdb").string();
  Database db = make_items(path);
  add(db, "one", 1);
  add(db, "two", 2);
  Recordset rs = db.OpenRecordset("Items");
  rs.AddNew();
  rs.Fields("ID").SetValue(num(1));
  EXPECT_EQ(code_of([&] { rs.Update(); }), jet_errors::kDuplicateKey);
  // While the database is still open, the file holds both rows, counted in
  // its table definition.
  auto r = jet::Reader::open(path);
  EXPECT_EQ(r->table("Items").stored_row_count, 2u);
  EXPECT_EQ(rows_on_disk(path, "Items"), 2u);
  std::string out;
  if (test::run_command("command -v mdb-count >/dev/null", nullptr) == 0) {
    ASSERT_EQ(test::run_command("mdb-count '" + path + "' Items", &out), 0);
    EXPECT_EQ(out, "2\n");
  }
  // The same new row, corrected, goes in; the key still knows the first two.
  rs.Fields("ID").SetValue(num(7));
  rs.Fields("NAME").SetValue(str("seven"));
  rs.Update();
  add(db, "eight", 8);
  rs.AddNew();
  rs.Fields("ID").SetValue(num(2));
  EXPECT_EQ(code_of([&] { rs.Update(); }), jet_errors::kDuplicateKey);
  rs.Close();
  db.Close();
  EXPECT_EQ(names_in(DBEngine::Workspaces(0).OpenDatabase(path), "SELECT * FROM Items ORDER BY ID"),
            (std::vector<std::string>{"one", "two", "seven", "eight"}));
}

// A row refused after the writer numbered it keeps no number: corrected, it
// takes the next one then free, not one another row took in between.
TEST(Database, RefusedRowIsNumberedAgainWhenStored) {
  test::TempDir dir;
  Database db = DBEngine::Workspaces(0).CreateDatabase((dir / "a.mdb").string(), dbLangJapanese);
  TableDef t = db.CreateTableDef("Codes");
  Field id = t.CreateField("ID", dbLong);
  id.Attributes = dbAutoIncrField;
  t.Fields.Append(id);
  t.Fields.Append(t.CreateField("CODE", dbText, 10));
  Index pk = t.CreateIndex("Codes");
  pk.Fields.Append(pk.CreateField("ID"));
  pk.Primary = true;
  t.Indexes.Append(pk);
  Index code = t.CreateIndex("CODE");
  code.Fields.Append(code.CreateField("CODE"));
  code.Unique = true;
  t.Indexes.Append(code);
  db.TableDefs().Append(t);

  Recordset first = db.OpenRecordset("Codes");
  first.AddNew();
  first.Fields("CODE").SetValue(str("a"));
  first.Update();
  first.AddNew();
  first.Fields("CODE").SetValue(str("a"));
  EXPECT_EQ(code_of([&] { first.Update(); }), jet_errors::kDuplicateKey);
  EXPECT_TRUE(jet::is_null(first.Fields("ID").Value()));
  Recordset second = db.OpenRecordset("Codes");
  second.AddNew();
  second.Fields("CODE").SetValue(str("b"));
  second.Update();
  first.Fields("CODE").SetValue(str("c"));
  first.Update();
  std::vector<std::pair<int, std::string>> rows;
  for (Recordset rs = db.OpenRecordset("SELECT * FROM Codes ORDER BY ID", dbOpenSnapshot); !rs.Eof(); rs.MoveNext()) {
    rows.emplace_back(std::get<std::int32_t>(rs.Fields("ID").Value()), std::get<std::string>(rs.Fields("CODE").Value()));
  }
  EXPECT_EQ(rows, (std::vector<std::pair<int, std::string>>{{1, "a"}, {2, "b"}, {3, "c"}}));
}

TEST(Database, PendingNewRowIsDroppedWithItsRecordset) {
  test::TempDir dir;
  const std::string path = (dir / "a.mdb").string();
  {
    Database db = make_items(path);
    Recordset rs = db.OpenRecordset("Items");
    rs.AddNew();
    rs.Fields("NAME").SetValue("never stored");
  }
  EXPECT_EQ(rows_on_disk(path, "Items"), 0u);
}

// Sorting keeps only keys for the whole table and rows a window at a time.
TEST(RowOrder, WindowedSortGivesTheSameOrderAsAllAtOnce) {
  std::vector<std::vector<jet::Value>> table;
  for (int i = 0; i < 50; ++i) table.push_back({num((i * 37) % 11), str(std::string(1, static_cast<char>('a' + i % 26)))});
  auto scanner = [&]() -> RowScanner {
    auto at = std::make_shared<std::size_t>(0);
    return [&, at](std::vector<jet::Value>& row) {
      if (*at >= table.size()) return false;
      row = table[(*at)++];
      return true;
    };
  };
  std::vector<SortColumn> cols = {{0, jet::ColumnType::Long, true}, {1, jet::ColumnType::Text, false}};
  auto sorted = [&](std::size_t window) {
    SortedRows rows(scanner, SortKeys(cols, jet::Format::Jet3, 0x0411), window);
    std::vector<std::vector<jet::Value>> out;
    std::vector<jet::Value> r;
    while (rows.next(r)) out.push_back(r);
    return out;
  };
  auto whole = sorted(1000);
  ASSERT_EQ(whole.size(), 50u);
  EXPECT_EQ(sorted(7), whole);
  EXPECT_EQ(sorted(1), whole);
  for (std::size_t i = 1; i < whole.size(); ++i) {
    int a = std::get<std::int32_t>(whole[i - 1][0]), b = std::get<std::int32_t>(whole[i][0]);
    ASSERT_GE(a, b);
    if (a == b) EXPECT_LE(std::get<std::string>(whole[i - 1][1]), std::get<std::string>(whole[i][1]));
  }
}

TEST(RowOrder, TextFollowsTheJapaneseSortOrderAndNullsComeFirst) {
  std::vector<SortColumn> cols = {{0, jet::ColumnType::Text, false}};
  SortKeys keys(cols, jet::Format::Jet3, 0x0411);
  auto k = [&](const jet::Value& v) { return keys.key({v}); };
  EXPECT_LT(k(jet::Value()), k(str("")));
  EXPECT_EQ(k(str("abc")), k(str("ABC")));  // case is ignored
  EXPECT_LT(k(str("あ")), k(str("い")));
  EXPECT_EQ(k(str("ア")), k(str("あ")));    // kana type is ignored
  EXPECT_LT(k(str("b")), k(str("あ")));
}

// Every table of every sample file reads through the object model, whatever
// its column types (GUID, OLE, Decimal, ...) and however its name is spelt.
TEST(Database, EverySampleTableReadsToTheEnd) {
  MIRUTONE_REQUIRE_TESTDATA();
  for (const auto& path : test::testdata_files()) {
    Database db = DBEngine::Workspaces(0).OpenDatabase(path.string());
    for (int i = 0; i < db.TableDefs().Count(); ++i) {
      const TableDef& t = db.TableDefs()[i];
      Recordset rs = db.OpenRecordset(t.Name, dbOpenSnapshot);
      EXPECT_EQ(rs.FieldCount(), t.Fields.Count());
      std::size_t n = 0;
      for (; !rs.Eof(); rs.MoveNext()) ++n;
      EXPECT_EQ(n, rows_on_disk(path.string(), t.Name)) << path.filename() << " " << t.Name;
    }
  }
}

// A source database is read, never written.
TEST(Database, SourceFileIsNotModified) {
  MIRUTONE_REQUIRE_TESTDATA();
  const auto src = test::testdata_dir() / "j3_jackcess_index.mdb";
  test::TempDir dir;
  const auto copy = dir / "src.mdb";
  std::filesystem::copy_file(src, copy);
  auto bytes = [](const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  const std::string before = bytes(copy);
  {
    Database db = DBEngine::Workspaces(0).OpenDatabase(copy.string());
    ASSERT_GT(db.TableDefs().Count(), 0);
    const TableDef& t = db.TableDefs()[0];
    std::size_t n = 0;
    for (Recordset rs = db.OpenRecordset("SELECT * FROM [" + t.Name + "] ORDER BY " + t.Fields[0].Name, dbOpenSnapshot);
         !rs.Eof(); rs.MoveNext()) {
      ++n;
    }
    EXPECT_GT(n, 0u);
    db.Close();
  }
  EXPECT_EQ(bytes(copy), before);
}

}  // namespace
}  // namespace mirutone::db
