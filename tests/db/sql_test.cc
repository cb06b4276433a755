// The one SQL front end as the layer uses it: recordsets over SELECT texts,
// stored queries run with their declared parameter types, the constructs that
// are refused as not supported, and Jet's name rule.
#include <gtest/gtest.h>

#include <functional>

#include "db/engine.h"
#include "db/errors.h"
#include "db/jet/text/names.h"
#include "support/test_support.h"

namespace mirutone::db {
namespace {

jet::Value num(int n) { return std::int32_t{n}; }
jet::Value str(const std::string& s) { return s; }

std::string error_of(const std::function<void()>& f) {
  try {
    f();
  } catch (const jet::Error& e) {
    return std::to_string(e.jet_code()) + " " + e.what();
  }
  return "no error";
}

class Sql : public ::testing::Test {
 protected:
  void SetUp() override {
    db = DBEngine::Workspaces(0).CreateDatabase((dir / "s.mdb").string(), dbLangJapanese);
    TableDef t = db.CreateTableDef("日報 データ");
    t.Fields.Append(t.CreateField("N", dbLong));
    t.Fields.Append(t.CreateField("名称", dbText, 20));
    db.TableDefs().Append(t);
    TableDef u = db.CreateTableDef("Units");
    u.Fields.Append(u.CreateField("N", dbLong));
    u.Fields.Append(u.CreateField("UNIT", dbText, 10));
    db.TableDefs().Append(u);
    int n = 0;
    for (const char* name : {"ボイラ", "タービン", "baker", "Able", "charlie"}) {
      Recordset rs = db.OpenRecordset("[日報 データ]");
      rs.AddNew();
      rs.Fields("n").SetValue(num(++n));
      if (n != 4) rs.Fields("名称").SetValue(str(name));
      rs.Update();
    }
    Recordset rs = db.OpenRecordset("Units");
    for (auto [k, unit] : {std::pair{2, "kW"}, std::pair{3, "t/h"}, std::pair{3, "kg"}}) {
      rs.AddNew();
      rs.Fields("N").SetValue(num(k));
      rs.Fields("UNIT").SetValue(str(unit));
      rs.Update();
    }
  }
  // Column `field` of every row, as text ("-" for Null).
  std::vector<std::string> column(Recordset rs, const std::string& field) {
    std::vector<std::string> out;
    for (; !rs.Eof(); rs.MoveNext()) {
      jet::Value v = rs.Fields(field).Value();
      out.push_back(jet::is_null(v) ? "-" : std::holds_alternative<std::string>(v) ? std::get<std::string>(v)
                                                                                  : std::to_string(std::get<std::int32_t>(v)));
    }
    return out;
  }
  std::vector<std::string> select(const std::string& sql, const std::string& field = "N") {
    return column(db.OpenRecordset(sql, dbOpenSnapshot), field);
  }
  using L = std::vector<std::string>;
  test::TempDir dir;
  Database db;
};

TEST_F(Sql, TableViewsStayUpdatableAndKeepTheirOrder) {
  EXPECT_EQ(select("select *\r\n from [日報 データ] order by N desc;"), (L{"5", "4", "3", "2", "1"}));
  Recordset view = db.OpenRecordset("SELECT * FROM [日報 データ] AS d ORDER BY d.名称, N");
  view.AddNew();
  view.Fields("N").SetValue(num(6));
  view.Update();
  EXPECT_EQ(select("日報 データ").size(), 6u);
  EXPECT_EQ(error_of([&] { db.OpenRecordset("Nothing"); }).substr(0, 4), "3078");
}

TEST_F(Sql, ConditionsJoinsAndComputedColumnsRun) {
  const std::string from = "SELECT N FROM [日報 データ] WHERE ";
  EXPECT_EQ(select(from + "N = 1 OR N = 5"), (L{"1", "5"}));
  EXPECT_EQ(select(from + "N BETWEEN 2 AND 4 AND NOT N = 3"), (L{"2", "4"}));
  EXPECT_EQ(select(from + "N NOT IN (1, 2, 3)"), (L{"4", "5"}));
  EXPECT_EQ(select(from + "名称 LIKE 'b*' OR 名称 LIKE '[!a-c]*'"), (L{"1", "2", "3"}));
  EXPECT_EQ(select(from + "名称 IS NULL"), (L{"4"}));
  EXPECT_EQ(select(from + "(N * 2 - 1) \\ 3 = 1 OR 名称 & 'x' = 'charliex'"), (L{"2", "3", "5"}));
  // Null neither passes nor fails a condition: NOT (Null = 'x') keeps no row.
  EXPECT_EQ(select(from + "N = 4 AND NOT 名称 = 'x'"), L{});

  EXPECT_EQ(select("SELECT d.N, 名称 & '/' & UNIT AS label FROM [日報 データ] d INNER JOIN Units ON d.N = Units.N "
                   "ORDER BY UNIT",
                   "label"),
            (L{"baker/kg", "タービン/kW", "baker/t/h"}));
  EXPECT_EQ(select("SELECT d.N FROM [日報 データ] AS d, Units u WHERE d.N < u.N AND u.UNIT = 'kW'"), L{"1"});
  // DISTINCTROW drops the repeats the join makes of a record, not equal values of different records.
  EXPECT_EQ(select("SELECT DISTINCTROW d.N FROM [日報 データ] d INNER JOIN Units u ON d.N = u.N"), (L{"2", "3"}));
  EXPECT_EQ(select("SELECT DISTINCTROW u.N FROM [日報 データ] d INNER JOIN Units u ON d.N = u.N"), (L{"2", "3", "3"}));
  Recordset computed = db.OpenRecordset("SELECT N + 0.5, N FROM Units ORDER BY -N", dbOpenSnapshot);
  EXPECT_EQ(computed.Fields(0).Name(), "Expr1000");
  EXPECT_EQ(computed.Fields(1).Value(), num(3));
  EXPECT_EQ(error_of([&] { computed.AddNew(); }).substr(0, 4), "3027");
}

TEST_F(Sql, StoredQueriesRunWithTheirDeclaredTypes) {
  db.CreateQueryDef("wide", "PARAMETERS p Integer; SELECT N FROM Units WHERE N < p");
  db.CreateQueryDef("narrow", "PARAMETERS p SHORT; SELECT N FROM Units WHERE N < p");
  db.CreateQueryDef("over", "SELECT q.N FROM wide AS q WHERE q.N = 2 OR q.N BETWEEN 5 AND 9");
  QueryDef wide = db.QueryDefs()("wide");
  wide.SetParameter("P", str("100000"));  // Integer in SQL is a Long
  EXPECT_EQ(column(wide.OpenRecordset(), "N").size(), 3u);
  QueryDef narrow = db.QueryDefs()("narrow");
  narrow.SetParameter("p", num(100000));
  EXPECT_EQ(error_of([&] { narrow.OpenRecordset(); }).substr(0, 4), "3349") << "SHORT is 16 bits";
  QueryDef over = db.QueryDefs()("over");
  over.SetParameter("p", num(3));
  EXPECT_EQ(column(over.OpenRecordset(), "N"), L{"2"});
  EXPECT_EQ(error_of([&] { db.QueryDefs()("over").OpenRecordset(); }).substr(0, 4), "3061");
}

TEST_F(Sql, WhatCannotRunIsNamedNotCalledASyntaxError) {
  const std::pair<const char*, const char*> cases[] = {
      {"SELECT TOP 2 N FROM Units", "TOP"},
      {"SELECT DISTINCT N FROM Units", "DISTINCT"},
      {"SELECT Sum(N) AS s FROM Units", "aggregate function Sum()"},
      {"SELECT N FROM Units GROUP BY N", "GROUP BY"},
      {"SELECT Units.N FROM Units LEFT JOIN [日報 データ] ON Units.N = [日報 データ].N", "LEFT JOIN"},
      {"SELECT N FROM Units WHERE N IN (SELECT N FROM Units)", "sub-query"},
      {"SELECT UCase(UNIT) FROM Units", "function UCase()"},
      {"SELECT N FROM Units UNION SELECT N FROM Units", "UNION"},
      {"TRANSFORM Count(N) SELECT UNIT FROM Units GROUP BY UNIT PIVOT N", "TRANSFORM"},
      {"DELETE FROM Units", "action query DELETE"},
  };
  for (const auto& [sql, construct] : cases) {
    const std::string e = error_of([&] { db.OpenRecordset(sql, dbOpenSnapshot); });
    EXPECT_EQ(e.substr(0, 4), "3251") << sql << ": " << e;
    EXPECT_NE(e.find(std::string("not supported: ") + construct), std::string::npos) << sql << ": " << e;
  }
  EXPECT_EQ(error_of([&] { db.OpenRecordset("SELECT * FROM Units WHERE N = = 1"); }).substr(0, 4), "3075");
}

// Jet's rule, where the writer and the layer meet: names the layer would take
// for one are refused as duplicates by the writer, and found by the layer
// whichever way they are written.
TEST_F(Sql, OneNameRuleForTheWriterAndTheLayer) {
  EXPECT_TRUE(jet::names_equal("ｄａｔａ", "ＤＡＴＡ"));
  EXPECT_FALSE(jet::names_equal("ＤＡＴＡ", "DATA"));  // widths differ
  EXPECT_FALSE(jet::names_equal("パルス", "ﾊﾟﾙｽ"));    // kana width matters
  EXPECT_FALSE(jet::names_equal("DATA", "DATA_1"));
  for (auto [a, b] : {std::pair{"ＡＢ", "ａｂ"}, std::pair{"Tag", "TAG"}}) {
    TableDef t = db.CreateTableDef(std::string("T") + a);
    t.Fields.Append(t.CreateField(a, dbLong));
    EXPECT_EQ(error_of([&] { t.Fields.Append(t.CreateField(b, dbLong)); }).substr(0, 4), "3191") << b;
    t.Fields.Append(t.CreateField("other", dbLong));
    db.TableDefs().Append(t);
    Recordset rs = db.OpenRecordset(std::string("t") + b);
    rs.AddNew();
    rs.Fields(b).SetValue(num(1));
    rs.Update();
    EXPECT_EQ(select(std::string("SELECT * FROM [T") + a + "] WHERE [" + b + "] = 1", a), L{"1"});
  }
}

}  // namespace
}  // namespace mirutone::db
