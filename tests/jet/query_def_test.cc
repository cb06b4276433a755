// Stored queries: SQL -> MSysQueries rows as Jet stores them, and rows -> SQL.
#include "db/jet/query/query_def.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "db/jet/api/error.h"
#include "db/jet/api/reader.h"
#include "support/test_support.h"

namespace mirutone::jet {
namespace {

// A row as the samples show it: attribute, order, flag (-1 = NULL), name1,
// name2, expression ("" = NULL for the three texts).
QueryRow R(int attr, int order, int flag, std::string name1 = "", std::string name2 = "",
           std::string expr = "") {
  QueryRow r;
  r.attribute = static_cast<std::uint8_t>(attr);
  r.order = static_cast<std::uint32_t>(order);
  if (flag != -1) r.flag = static_cast<std::int16_t>(flag);
  if (!name1.empty()) r.name1 = std::move(name1);
  if (!name2.empty()) r.name2 = std::move(name2);
  if (!expr.empty()) r.expression = std::move(expr);
  return r;
}

std::string lf(std::string s) {  // the rebuilt text uses CR-LF; compare with LF
  std::string out;
  for (char c : s)
    if (c != '\r') out += c;
  return out;
}

// ---- The ten queries of the management database, assembled from their pieces ----

struct NamedQuery {
  std::string name;
  std::string sql;
};

std::string per_page_query(const std::string& table) {
  return "PARAMETERS Set_Date SHORT; "
         "SELECT " + table + ".*,M_TAG.大項目NO,M_TAG.中項目NO,M_TAG.小項目NO, "
         "M_TAG.単位NO,M_TAG.TOTAL_FLG,M_TAG.AVE_FLG, "
         "M_TAG.有効桁,M_TAG.最大値,M_TAG.最小値, "
         "M_TAG.MAX_FLG,M_TAG.MIN_FLG,M_TAG.種別,M_TAG.P種別 "
         "FROM " + table + " INNER JOIN M_TAG ON " + table + ".TAG_ID = M_TAG.TAG_ID "
         "WHERE " + table + ".ページNO = Set_Date "
         "ORDER BY " + table + ".項目NO";
}

std::vector<NamedQuery> management_queries() {
  return {
      {"日報情報ソート", "SELECT * FROM 日報情報 ORDER BY ページNO,項目NO"},
      {"日報情報ページ単位抽出", per_page_query("日報情報")},
      {"月報情報ソート", "SELECT * FROM 月報情報 ORDER BY ページNO,項目NO"},
      {"月報情報ページ単位抽出", per_page_query("月報情報")},
      {"年報情報ソート", "SELECT * FROM 年報情報 ORDER BY ページNO,項目NO"},
      {"年報情報ページ単位抽出", per_page_query("年報情報")},
      {"大項目情報抽出", "SELECT * FROM 大項目情報 ORDER BY 大項目NO"},
      {"中項目情報抽出", "SELECT * FROM 中項目情報 ORDER BY 中項目NO"},
      {"小項目情報抽出", "SELECT * FROM 小項目情報 ORDER BY 小項目NO"},
      {"M_UNITGET", "SELECT * FROM M_UNIT ORDER BY 単位NO"},
  };
}

TEST(QueryDecompose, TextsAreTheStoredOnes) {
  // 301 characters each, as the management database stores them.
  for (const char* t : {"日報情報", "月報情報", "年報情報"}) {
    const std::string sql = per_page_query(t);
    std::size_t chars = 0;
    for (unsigned char c : sql) chars += (c & 0xC0) != 0x80;
    EXPECT_EQ(chars, 301u) << t;
  }
}

TEST(QueryDecompose, SortedListQuery) {
  const std::vector<QueryRow> expected{
      R(0, 1, 0),
      R(1, 1, 1),
      R(3, 1, 1),  // '*'
      R(5, 1, -1, "日報情報"),
      R(11, 1, -1, "", "", "ページNO"),
      R(11, 2, -1, "", "", "項目NO"),
      R(255, 1, -1),
  };
  EXPECT_EQ(decompose_query("日報情報ソート", "SELECT * FROM 日報情報 ORDER BY ページNO,項目NO"), expected);
}

TEST(QueryDecompose, PerPageQuery) {
  const auto rows = decompose_query("日報情報ページ単位抽出", per_page_query("日報情報"));
  std::vector<QueryRow> expected{
      R(0, 1, 0),
      R(1, 1, 1),
      R(2, 1, 3, "Set_Date"),
      R(3, 1, 0),
      R(5, 1, -1, "日報情報"),
      R(5, 2, -1, "M_TAG"),
  };
  const char* columns[] = {"日報情報.*", "M_TAG.大項目NO", "M_TAG.中項目NO", "M_TAG.小項目NO", "M_TAG.単位NO",
                           "M_TAG.TOTAL_FLG", "M_TAG.AVE_FLG", "M_TAG.有効桁", "M_TAG.最大値", "M_TAG.最小値",
                           "M_TAG.MAX_FLG", "M_TAG.MIN_FLG", "M_TAG.種別", "M_TAG.P種別"};
  int order = 1;
  for (const char* c : columns) expected.push_back(R(6, order++, 0, "", "", c));
  expected.push_back(R(7, 1, 1, "日報情報", "M_TAG", "日報情報.TAG_ID = M_TAG.TAG_ID"));
  expected.push_back(R(8, 1, -1, "", "", "日報情報.ページNO = Set_Date"));
  expected.push_back(R(11, 1, -1, "", "", "日報情報.項目NO"));
  expected.push_back(R(255, 1, -1));
  EXPECT_EQ(rows, expected);
}

TEST(QueryDecompose, AllTenRoundTrip) {
  for (const auto& q : management_queries()) {
    SCOPED_TRACE(q.name);
    const auto rows = decompose_query(q.name, q.sql);
    const auto sql = rebuild_query_sql(rows);
    ASSERT_TRUE(sql.has_value());
    // Same tables, columns, joins, conditions, order and parameters.
    EXPECT_EQ(decompose_query(q.name, *sql), rows) << *sql;
  }
}

TEST(QueryDecompose, RebuiltTextOfManagementQueries) {
  EXPECT_EQ(lf(*rebuild_query_sql(decompose_query("M_UNITGET", "SELECT * FROM M_UNIT ORDER BY 単位NO"))),
            "SELECT *\nFROM M_UNIT\nORDER BY 単位NO;");
  EXPECT_EQ(lf(*rebuild_query_sql(decompose_query("月報情報ページ単位抽出", per_page_query("月報情報")))),
            "PARAMETERS Set_Date Short;\n"
            "SELECT 月報情報.*, M_TAG.大項目NO, M_TAG.中項目NO, M_TAG.小項目NO, M_TAG.単位NO, M_TAG.TOTAL_FLG, "
            "M_TAG.AVE_FLG, M_TAG.有効桁, M_TAG.最大値, M_TAG.最小値, M_TAG.MAX_FLG, M_TAG.MIN_FLG, M_TAG.種別, "
            "M_TAG.P種別\n"
            "FROM 月報情報 INNER JOIN M_TAG ON 月報情報.TAG_ID = M_TAG.TAG_ID\n"
            "WHERE 月報情報.ページNO = Set_Date\n"
            "ORDER BY 月報情報.項目NO;");
}

// ---- The rest of the supported syntax ----

std::vector<QueryRow> only(const std::vector<QueryRow>& rows, int attr) {
  std::vector<QueryRow> out;
  for (const auto& r : rows)
    if (r.attribute == attr) out.push_back(r);
  return out;
}

TEST(QueryDecompose, NestedJoinsAsAccessWritesThem) {
  const auto rows = decompose_query(
      "q", "SELECT [Order Details].OrderID FROM Shippers INNER JOIN (Products INNER JOIN\r\n"
           "  ((Employees INNER JOIN (Customers INNER JOIN Orders ON Customers.CustomerID = Orders.CustomerID)\r\n"
           "  ON Employees.EmployeeID = Orders.EmployeeID) INNER JOIN [Order Details] ON Orders.OrderID = "
           "[Order Details].OrderID)\r\n  ON Products.ProductID = [Order Details].ProductID) ON Shippers.ShipperID "
           "= Orders.ShipVia;\r\n");
  // Innermost join first, as Northwind's Invoices query stores them.
  const std::vector<QueryRow> joins{
      R(7, 1, 1, "Customers", "Orders", "Customers.CustomerID = Orders.CustomerID"),
      R(7, 2, 1, "Employees", "Orders", "Employees.EmployeeID = Orders.EmployeeID"),
      R(7, 3, 1, "Orders", "Order Details", "Orders.OrderID = [Order Details].OrderID"),
      R(7, 4, 1, "Products", "Order Details", "Products.ProductID = [Order Details].ProductID"),
      R(7, 5, 1, "Shippers", "Orders", "Shippers.ShipperID = Orders.ShipVia"),
  };
  EXPECT_EQ(only(rows, 7), joins);
  EXPECT_EQ(only(rows, 5).size(), 6u);
  EXPECT_EQ(only(rows, 6), std::vector<QueryRow>{R(6, 1, 0, "", "", "[Order Details].OrderID")});
  // Rebuilding gives the same nesting back.
  EXPECT_EQ(decompose_query("q", *rebuild_query_sql(rows)), rows);
}

TEST(QueryDecompose, OuterJoinsCompoundOnAliasesAndOptions) {
  const auto rows = decompose_query(
      "q",
      "PARAMETERS [Start Date] DateTime, n Long, s Text(50);\n"
      "SELECT DISTINCT TOP 5 PERCENT A.x AS [The X], b2.y AS 年, Count(*) AS c\n"
      "FROM (Alpha AS A LEFT JOIN Beta b2 ON (A.id = b2.id) AND (b2.k = A.k))\n"
      "     RIGHT OUTER JOIN Gamma ON b2.g = Gamma.g\n"
      "WHERE A.d >= [Start Date] AND A.n BETWEEN 1 AND n OR A.s LIKE s & \"*\"\n"
      "GROUP BY A.x, b2.y HAVING Count(*) > 1\n"
      "ORDER BY A.x DESC, b2.y ASC;");
  EXPECT_EQ(only(rows, 2), (std::vector<QueryRow>{R(2, 1, 8, "Start Date"), R(2, 2, 4, "n"), R(2, 3, 10, "s")}));
  EXPECT_EQ(only(rows, 3), std::vector<QueryRow>{R(3, 1, 0x02 | 0x10 | 0x20, "5")});
  EXPECT_EQ(only(rows, 5), (std::vector<QueryRow>{R(5, 1, -1, "Alpha", "A"), R(5, 2, -1, "Beta", "b2"),
                                                  R(5, 3, -1, "Gamma")}));
  EXPECT_EQ(only(rows, 6), (std::vector<QueryRow>{R(6, 1, 0, "The X", "", "A.x"), R(6, 2, 0, "年", "", "b2.y"),
                                                  R(6, 3, 0, "c", "", "Count(*)")}));
  // A compound ON becomes one row per comparison; the table named on each
  // side is found from the column qualifiers, whichever way round they are.
  EXPECT_EQ(only(rows, 7), (std::vector<QueryRow>{R(7, 1, 2, "A", "b2", "A.id = b2.id"),
                                                  R(7, 2, 2, "A", "b2", "b2.k = A.k"),
                                                  R(7, 3, 3, "b2", "Gamma", "b2.g = Gamma.g")}));
  EXPECT_EQ(only(rows, 8),
            std::vector<QueryRow>{R(8, 1, -1, "", "", "A.d >= [Start Date] AND A.n BETWEEN 1 AND n OR A.s LIKE s & \"*\"")});
  EXPECT_EQ(only(rows, 9), (std::vector<QueryRow>{R(9, 1, 0, "", "", "A.x"), R(9, 2, 0, "", "", "b2.y")}));
  EXPECT_EQ(only(rows, 10), std::vector<QueryRow>{R(10, 1, -1, "", "", "Count(*) > 1")});
  EXPECT_EQ(only(rows, 11), (std::vector<QueryRow>{R(11, 1, -1, "D", "", "A.x"), R(11, 2, -1, "", "", "b2.y")}));

  const auto sql = rebuild_query_sql(rows);
  ASSERT_TRUE(sql);
  EXPECT_EQ(lf(*sql),
            "PARAMETERS [Start Date] DateTime, n Long, s Text;\n"
            "SELECT DISTINCT TOP 5 PERCENT A.x AS [The X], b2.y AS 年, Count(*) AS c\n"
            "FROM (Alpha AS A LEFT JOIN Beta AS b2 ON (A.id = b2.id) AND (b2.k = A.k)) RIGHT JOIN Gamma ON b2.g = "
            "Gamma.g\n"
            "WHERE A.d >= [Start Date] AND A.n BETWEEN 1 AND n OR A.s LIKE s & \"*\"\n"
            "GROUP BY A.x, b2.y\n"
            "HAVING Count(*) > 1\n"
            "ORDER BY A.x DESC, b2.y;");
  EXPECT_EQ(decompose_query("q", *sql), rows);
}

TEST(QueryDecompose, OnConditionSplitting) {
  auto joins = [](const std::string& on) { return only(decompose_query("q", "select * from a inner join b on " + on), 7); };
  // An OR keeps the condition whole.
  EXPECT_EQ(joins("a.x = b.x or a.y = b.y"), std::vector<QueryRow>{R(7, 1, 1, "a", "b", "a.x = b.x or a.y = b.y")});
  // Parentheses around the whole ON, or around its parts, do not hide the AND.
  EXPECT_EQ(joins("(a.x = b.x AND ((b.y = a.y)))"),
            (std::vector<QueryRow>{R(7, 1, 1, "a", "b", "a.x = b.x"), R(7, 2, 1, "a", "b", "b.y = a.y")}));
  // The AND of a BETWEEN is not a separator.
  EXPECT_EQ(joins("a.d between 1 and 2 and a.x = b.x"),
            (std::vector<QueryRow>{R(7, 1, 1, "a", "b", "a.d between 1 and 2"), R(7, 2, 1, "a", "b", "a.x = b.x")}));
}

TEST(QueryDecompose, FormReferenceParameter) {
  const auto rows = decompose_query(
      "q", "PARAMETERS [Forms]![F 1]![c] DateTime; SELECT * FROM T WHERE T.d = [Forms]![F 1]![c]");
  // Stored without brackets, as Access 97 stores Northwind's Sales by Year.
  EXPECT_EQ(only(rows, 2), std::vector<QueryRow>{R(2, 1, 8, "Forms!F 1!c")});
  EXPECT_EQ(lf(*rebuild_query_sql(rows)),
            "PARAMETERS Forms![F 1]!c DateTime;\nSELECT *\nFROM T\nWHERE T.d = [Forms]![F 1]![c];");
  EXPECT_EQ(decompose_query("q", *rebuild_query_sql(rows)), rows);
}

TEST(QueryDecompose, CommaSeparatedTablesAndBracketedNames) {
  const auto rows = decompose_query("q", "SELECT [T 1].[a b], t2.* FROM [T 1], t2 WHERE [T 1].[a b] = t2.c");
  EXPECT_EQ(only(rows, 5), (std::vector<QueryRow>{R(5, 1, -1, "T 1"), R(5, 2, -1, "t2")}));
  EXPECT_EQ(only(rows, 6), (std::vector<QueryRow>{R(6, 1, 0, "", "", "[T 1].[a b]"), R(6, 2, 0, "", "", "t2.*")}));
  EXPECT_TRUE(only(rows, 7).empty());
  EXPECT_EQ(lf(*rebuild_query_sql(rows)), "SELECT [T 1].[a b], t2.*\nFROM [T 1], t2\nWHERE [T 1].[a b] = t2.c;");
  // Names that are keywords come back bracketed.
  const auto keywords = decompose_query("q", "SELECT [Group].[Desc] AS [Null] FROM [Order] AS [Group]");
  EXPECT_EQ(lf(*rebuild_query_sql(keywords)), "SELECT [Group].[Desc] AS [Null]\nFROM [Order] AS [Group];");
  EXPECT_EQ(decompose_query("q", *rebuild_query_sql(keywords)), keywords);
}

TEST(QueryDecompose, SubqueryStaysInsideItsExpression) {
  const auto rows = decompose_query(
      "q", "SELECT P.n FROM P WHERE P.u > (SELECT Avg(x.u) FROM P AS x INNER JOIN Q ON x.k = Q.k) ORDER BY P.u DESC");
  EXPECT_EQ(only(rows, 5), std::vector<QueryRow>{R(5, 1, -1, "P")});
  EXPECT_TRUE(only(rows, 7).empty());
  EXPECT_EQ(only(rows, 8),
            std::vector<QueryRow>{R(8, 1, -1, "", "", "P.u > (SELECT Avg(x.u) FROM P AS x INNER JOIN Q ON x.k = Q.k)")});
  EXPECT_EQ(only(rows, 11), std::vector<QueryRow>{R(11, 1, -1, "D", "", "P.u")});
}

// ---- Text outside the supported syntax ----

void expect_error(const std::string& sql, int code, const std::string& token) {
  SCOPED_TRACE(sql);
  try {
    decompose_query("問合せ1", sql);
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.jet_code(), code) << e.what();
    const std::string what = e.what();
    EXPECT_NE(what.find("問合せ1"), std::string::npos) << what;
    EXPECT_NE(what.find(token), std::string::npos) << what;
  }
}

TEST(QueryDecompose, RejectsWhatItCannotStore) {
  expect_error("", 3129, "empty");
  expect_error("UPDATE T SET a = 1", 3251, "not supported: action query UPDATE");
  expect_error("SELECT FROM T", 3075, "'FROM'");
  expect_error("SELECT a b FROM T", 3141, "'b'");
  expect_error("SELECT * T", 3141, "'T'");
  expect_error("SELECT * FROM", 3131, "end of the text");
  expect_error("SELECT * FROM T WHERE", 3075, "end of the text");
  expect_error("SELECT * FROM T WHERE a = = b", 3075, "'='");
  expect_error("SELECT * FROM T ORDER a", 3138, "'a'");
  expect_error("SELECT * FROM T ORDER BY a; x", 3142, "'x'");
  expect_error("SELECT * FROM T WHERE a = 1 ORDER BY a GROUP BY a", 3142, "'GROUP'");
  expect_error("PARAMETERS p WIDGET; SELECT * FROM T", 3259, "'WIDGET'");
  expect_error("PARAMETERS p SHORT SELECT * FROM T", 3137, "'SELECT'");
  expect_error("SELECT * FROM a JOIN b ON a.x = b.x", 3135, "'JOIN'");
  expect_error("SELECT * FROM a INNER JOIN b WHERE a.x = b.x", 3135, "'WHERE'");
  expect_error("SELECT * FROM (SELECT * FROM T)", 3251, "not supported: sub-query in FROM");
  expect_error("SELECT * FROM T WHERE a IN (SELECT FROM U)", 3075, "'FROM'");
  expect_error("SELECT * FROM (a INNER JOIN b ON a.x = b.x) INNER JOIN c ON 1 = 1", 3296, "1 = 1");
  expect_error("SELECT * FROM T, T", 3131, "'T'");
  expect_error("SELECT *, * FROM T", 3141, "'*'");
  expect_error("SELECT [a FROM T", 3075, "'['");
  expect_error("SELECT * FROM T WHERE a = \"x", 3075, "unterminated string");
  expect_error("SELECT * FROM T WHERE a = #1/1/95", 3075, "unterminated date");
  expect_error("SELECT * FROM T WHERE a = ?", 3075, "'?'");
  // A long token is shortened in the message, never inside a character.
  expect_error("SELECT * FROM T WHERE a = 1 [" + std::string(31, 'x') + "日本語日本語]", 3142,
               "'[" + std::string(31, 'x') + "日本...'");
  expect_error("SELECT * FROM T WHERE a" + std::string(5000, '=') , 3075, "'='");
  expect_error("SELECT * FROM T WHERE " + std::string(100000, '('), 3075, "too deeply");
}

TEST(QueryDecompose, EveryTruncationFailsCleanlyOrParses) {
  const std::string sql = per_page_query("日報情報");
  for (std::size_t n = 0; n <= sql.size(); ++n) {
    try {
      decompose_query("q", sql.substr(0, n));
    } catch (const Error& e) {
      EXPECT_GE(e.jet_code(), 3000) << n;
    }
  }
}

// ---- SQL rebuilt from rows transcribed from Access-made sample files ----

// queryTestV1997.mdb (j3_jackcess_query.mdb): SelectQuery.
TEST(QueryRebuild, SelectWithLeftJoinAndCompoundOn) {
  const std::vector<QueryRow> rows{
      R(0, 1, 0), R(1, 1, 1), R(3, 1, 2),
      R(5, 1, -1, "Table1"), R(5, 2, -1, "Table2"), R(5, 3, -1, "Table3"),
      R(6, 1, 0, "", "", "Table1.*"), R(6, 2, 0, "", "", "Table2.col1"), R(6, 3, 0, "", "", "Table2.col2"),
      R(6, 4, 0, "", "", "Table3.col3"),
      R(7, 1, 2, "Table1", "Table3", "Table1.col1 = Table3.col1"),
      R(7, 2, 1, "Table3", "Table2", "Table3.col1 = Table2.col1"),
      R(7, 3, 1, "Table3", "Table2", "Table3.col1 = Table2.col2"),
      R(8, 1, -1, "", "", "(((Table2.col2)=\"foo\" Or (Table2.col2) In (\"buzz\",\"bazz\")))"),
      R(11, 1, -1, "", "", "Table2.col1"), R(255, 1, -1)};
  EXPECT_EQ(lf(*rebuild_query_sql(rows)),
            "SELECT DISTINCT Table1.*, Table2.col1, Table2.col2, Table3.col3\n"
            "FROM (Table1 LEFT JOIN Table3 ON Table1.col1 = Table3.col1) INNER JOIN Table2 ON (Table3.col1 = "
            "Table2.col1) AND (Table3.col1 = Table2.col2)\n"
            "WHERE (((Table2.col2)=\"foo\" Or (Table2.col2) In (\"buzz\",\"bazz\")))\n"
            "ORDER BY Table2.col1;");
  // The rows come in any order from the table; Order decides.
  std::vector<QueryRow> shuffled(rows.rbegin(), rows.rend());
  EXPECT_EQ(rebuild_query_sql(shuffled), rebuild_query_sql(rows));
}

TEST(QueryRebuild, ActionQueries) {
  // AppendQuery, UpdateQuery, DeleteQuery, MakeTableQuery of queryTestV1997.mdb.
  EXPECT_EQ(lf(*rebuild_query_sql({R(0, 1, 0), R(1, 1, 3, "Table3"), R(5, 1, -1, "Table3"), R(5, 2, -1, "Table1"),
                                   R(5, 3, -1, "Table2"), R(6, 1, 0, "", "col2", "[Table1].[col2]"),
                                   R(6, 2, 0, "", "col2", "[Table2].[col2]"), R(6, 3, 0, "", "col3", "[Table2].[col3]"),
                                   R(7, 1, 1, "Table1", "Table2", "[Table1].[col1]=[Table2].[col1]"), R(255, 1, -1)})),
            "INSERT INTO Table3 ( col2, col2, col3 )\n"
            "SELECT [Table1].[col2], [Table2].[col2], [Table2].[col3]\n"
            "FROM Table3, Table1 INNER JOIN Table2 ON [Table1].[col1]=[Table2].[col1];");
  EXPECT_EQ(lf(*rebuild_query_sql({R(0, 1, 0), R(1, 1, 4), R(2, 1, 10, "User Name"), R(3, 1, 0),
                                   R(5, 1, -1, "Table1"), R(6, 1, 0, "", "Table1.col1", "\"foo\""),
                                   R(6, 2, 0, "", "Table1.col2", "[Table2].[col3]"),
                                   R(6, 3, 0, "", "[Table2].[col1]", "[User Name]"),
                                   R(8, 1, -1, "", "", "((([Table2].[col1]) Is Not Null))"), R(255, 1, -1)})),
            "PARAMETERS [User Name] Text;\n"
            "UPDATE Table1\n"
            "SET Table1.col1 = \"foo\", Table1.col2 = [Table2].[col3], [Table2].[col1] = [User Name]\n"
            "WHERE ((([Table2].[col1]) Is Not Null));");
  EXPECT_EQ(lf(*rebuild_query_sql({R(0, 1, 0), R(1, 1, 5), R(3, 1, 0), R(5, 1, -1, "Table1"),
                                   R(6, 1, 0, "", "", "Table1.col1"), R(6, 2, 0, "", "", "Table1.col2"),
                                   R(8, 1, -1, "", "", "(((Table1.col1)>\"blah\"))"), R(255, 1, -1)})),
            "DELETE Table1.col1, Table1.col2\nFROM Table1\nWHERE (((Table1.col1)>\"blah\"));");
  EXPECT_EQ(lf(*rebuild_query_sql({R(0, 1, 0), R(1, 1, 2, "Table4"), R(3, 1, 0), R(5, 1, -1, "Table2"),
                                   R(5, 2, -1, "Table1"), R(5, 3, -1, "Table3"),
                                   R(6, 1, 0, "MaxOfcol1", "", "Max(Table2.col1)"), R(6, 2, 0, "", "", "Table2.col2"),
                                   R(7, 1, 1, "Table2", "Table1", "Table2.col1 = Table1.col2"),
                                   R(7, 2, 3, "Table1", "Table3", "Table1.col2 = Table3.col3"),
                                   R(9, 1, 0, "", "", "Table2.col2"),
                                   R(10, 1, -1, "", "", "(((Max(Table2.col1))=\"buzz\"))"), R(255, 1, -1)})),
            "SELECT Max(Table2.col1) AS MaxOfcol1, Table2.col2 INTO Table4\n"
            "FROM (Table2 INNER JOIN Table1 ON Table2.col1 = Table1.col2) RIGHT JOIN Table3 ON Table1.col2 = "
            "Table3.col3\n"
            "GROUP BY Table2.col2\n"
            "HAVING (((Max(Table2.col1))=\"buzz\"));");
}

TEST(QueryRebuild, CrosstabUnionDdlPassThrough) {
  // Quarterly Orders by Product (nwind.mdb), shortened to one join.
  EXPECT_EQ(lf(*rebuild_query_sql(
                {R(0, 1, -1), R(1, 1, 6), R(3, 1, 8), R(5, 1, -1, "Orders"), R(5, 2, -1, "Order Details"),
                 R(6, 1, 2, "", "", "Orders.CustomerID"),
                 R(6, 2, 1, "Quarters", "", "\"Qtr \" & DatePart(\"q\",[OrderDate],1,0) In (\"Qtr 1\",\"Qtr 2\")"),
                 R(6, 3, 2, "OrderYear", "", "Year([OrderDate])"),
                 R(6, 4, 0, "ProductAmount", "", "Sum([Quantity])"),
                 R(7, 1, 1, "Orders", "Order Details", "Orders.OrderID = [Order Details].OrderID"),
                 R(9, 1, 2, "", "", "Orders.CustomerID"), R(9, 2, 1, "", "", "\"Qtr \" & DatePart(\"q\",[OrderDate],1,0)"),
                 R(9, 3, 2, "", "", "Year([OrderDate])"), R(255, 1, -1)})),
            "TRANSFORM Sum([Quantity]) AS ProductAmount\n"
            "SELECT DISTINCTROW Orders.CustomerID, Year([OrderDate]) AS OrderYear\n"
            "FROM Orders INNER JOIN [Order Details] ON Orders.OrderID = [Order Details].OrderID\n"
            "GROUP BY Orders.CustomerID, Year([OrderDate])\n"
            "PIVOT \"Qtr \" & DatePart(\"q\",[OrderDate],1,0) In (\"Qtr 1\",\"Qtr 2\");");
  // Customers and Suppliers by City (nwind.mdb): flag 3 = UNION; flag 1 = UNION ALL.
  std::vector<QueryRow> u{R(0, 1, -1), R(1, 1, 9), R(3, 1, 3),
                          R(5, 1, -1, "", "X7YZ_____1", "SELECT City, \"Customers\" AS [Relationship] \r\nFROM Customers\r\n"),
                          R(5, 2, -1, "", "X7YZ_____2", "SELECT City, \"Suppliers\"\r\nFROM Suppliers"),
                          R(11, 1, -1, "", "", "City"), R(255, 1, -1)};
  EXPECT_EQ(lf(*rebuild_query_sql(u)),
            "SELECT City, \"Customers\" AS [Relationship] \nFROM Customers\nUNION SELECT City, \"Suppliers\"\n"
            "FROM Suppliers\nORDER BY City;");
  u[2] = R(3, 1, 1);
  EXPECT_NE(lf(*rebuild_query_sql(u)).find("\nUNION ALL SELECT City"), std::string::npos);
  // DDL and pass-through keep their text, less the NUL Access puts after it.
  EXPECT_EQ(rebuild_query_sql({R(0, 1, 0), R(1, 1, 7, "", "", std::string("CREATE TABLE T5 (c CHAR);\0", 26)),
                               R(255, 1, -1)}),
            "CREATE TABLE T5 (c CHAR);");
  EXPECT_EQ(rebuild_query_sql({R(0, 1, 0), R(1, 1, 8, "ODBC;", "", std::string("ALTER TABLE T DROP COLUMN c;\0", 29)),
                               R(255, 1, -1)}),
            "ALTER TABLE T DROP COLUMN c;");
}

TEST(QueryRebuild, Jet4RowsWithoutTypeRowAndFormReferences) {
  // Ja Northwind (Access 2000 file): a form's record source has no type row
  // and no options row; parameters refer to form controls.
  EXPECT_EQ(lf(*rebuild_query_sql({R(0, 1, 0), R(2, 1, 0, "__得意先別受注サブフォーム1.Form!受注コード"),
                                   R(3, 1, 9), R(5, 1, -1, "受注明細金額", "得意先別受注"),
                                   R(8, 1, -1, "", "", "([__得意先別受注サブフォーム1].Form!受注コード = 受注コード)"),
                                   R(255, 1, -1)})),
            "PARAMETERS __得意先別受注サブフォーム1.Form!受注コード Value;\n"
            "SELECT DISTINCTROW *\nFROM 受注明細金額 AS 得意先別受注\n"
            "WHERE ([__得意先別受注サブフォーム1].Form!受注コード = 受注コード);");
  EXPECT_EQ(lf(*rebuild_query_sql({R(0, 1, 0), R(2, 1, 8, "Forms!Sales by Year Dialog!BeginningDate"),
                                   R(3, 1, 24, "10"), R(5, 1, -1, "1997年 売上高"),
                                   R(6, 1, 0, "高額商品トップ10", "", "商品.商品名"), R(11, 1, -1, "d", "", "商品.単価"),
                                   R(255, 1, -1)})),
            "PARAMETERS Forms![Sales by Year Dialog]!BeginningDate DateTime;\n"
            "SELECT DISTINCTROW TOP 10 商品.商品名 AS 高額商品トップ10\nFROM [1997年 売上高]\n"
            "ORDER BY 商品.単価 DESC;");
}

TEST(QueryRebuild, Jet4TextParameterSize) {
  QueryRow text = R(2, 1, 10, "TextVal"), value = R(2, 2, 0, "Some Value");
  text.lv_extra = 50;
  value.lv_extra = 50;  // only a TEXT parameter has a size
  EXPECT_EQ(lf(*rebuild_query_sql({R(0, 1, 0), R(1, 1, 1), text, value, R(3, 1, 1), R(5, 1, -1, "T"), R(255, 1, -1)})),
            "PARAMETERS TextVal Text(50), [Some Value] Value;\nSELECT *\nFROM T;");
}

TEST(QueryRebuild, RowsThatDescribeNoQuery) {
  const QueryRow start = R(0, 1, 0), end = R(255, 1, -1), table = R(5, 1, -1, "T");
  const QueryRow col = R(6, 1, 0, "", "", "T.a");
  EXPECT_FALSE(rebuild_query_sql({}));
  EXPECT_FALSE(rebuild_query_sql({start, R(1, 1, 42), table, col, end}));            // unknown type
  EXPECT_FALSE(rebuild_query_sql({start, R(1, 1, 1), col, end}));                     // no table
  EXPECT_FALSE(rebuild_query_sql({start, R(1, 1, 1), table, end}));                   // no column, no '*'
  EXPECT_FALSE(rebuild_query_sql({start, R(1, 1, 1), R(2, 1, 99, "p"), table, col, end}));  // bad type
  EXPECT_FALSE(rebuild_query_sql({start, R(1, 1, 7), end}));                          // DDL without text
  EXPECT_FALSE(rebuild_query_sql({start, R(1, 1, 9), R(5, 1, -1, "", "X7YZ_____1", "SELECT 1"), end}));
  EXPECT_FALSE(rebuild_query_sql({start, R(1, 1, 1), table, col, R(7, 1, 1, "T", "Nowhere", "T.a = Nowhere.a"), end}));
  EXPECT_FALSE(rebuild_query_sql({start, R(1, 1, 1), table, R(5, 2, -1, "U"), col,
                                  R(7, 1, 9, "T", "U", "T.a = U.a"), end}));  // unknown join kind
  EXPECT_TRUE(rebuild_query_sql({start, R(1, 1, 1), table, col, end}));
}

// ---- Every query of the Access-made samples ----

struct SampleQuery {
  std::string name;
  std::vector<QueryRow> rows;
};

// MSysQueries of a sample file, grouped by query, rows in (Attribute, Order) order.
std::vector<SampleQuery> sample_queries(const std::string& file) {
  auto db = Reader::open((test::testdata_dir() / file).string());
  auto int_of = [](const Value& v) -> std::optional<std::int32_t> {
    if (auto i = std::get_if<std::int32_t>(&v)) return *i;
    return std::nullopt;
  };
  auto text_of = [](const Value& v) -> std::optional<std::string> {
    if (auto s = std::get_if<std::string>(&v)) return *s;
    return std::nullopt;
  };
  auto column = [&](const std::string& table, const std::string& name) {
    const auto& cols = db->table(table).columns;
    for (std::size_t i = 0; i < cols.size(); ++i)
      if (cols[i].name == name) return i;
    throw std::runtime_error(table + " has no column " + name);
  };
  std::map<std::int32_t, std::string> names;
  {
    const auto id = column("MSysObjects", "Id"), name = column("MSysObjects", "Name");
    auto cur = db->rows("MSysObjects");
    std::vector<Value> r;
    while (cur->next(r))
      if (auto i = int_of(r[id])) names[*i] = text_of(r[name]).value_or("");
  }
  std::map<std::int32_t, std::vector<QueryRow>> grouped;
  const auto obj = column("MSysQueries", "ObjectId"), attr = column("MSysQueries", "Attribute"),
             order = column("MSysQueries", "Order"), n1 = column("MSysQueries", "Name1"),
             n2 = column("MSysQueries", "Name2"), expr = column("MSysQueries", "Expression"),
             flag = column("MSysQueries", "Flag");
  auto cur = db->rows("MSysQueries");
  std::vector<Value> r;
  while (cur->next(r)) {
    QueryRow q;
    q.attribute = static_cast<std::uint8_t>(int_of(r[attr]).value_or(-1));
    if (auto f = int_of(r[flag])) q.flag = static_cast<std::int16_t>(*f);
    q.name1 = text_of(r[n1]);
    q.name2 = text_of(r[n2]);
    q.expression = text_of(r[expr]);
    q.order = 0;
    if (auto b = std::get_if<Bytes>(&r[order]))
      for (auto byte : *b) q.order = (q.order << 8) | byte;
    grouped[*int_of(r[obj])].push_back(std::move(q));
  }
  std::vector<SampleQuery> out;
  for (auto& [id, rows] : grouped) {
    std::stable_sort(rows.begin(), rows.end(), [](const QueryRow& a, const QueryRow& b) {
      return a.attribute != b.attribute ? a.attribute < b.attribute : a.order < b.order;
    });
    out.push_back({names[id], std::move(rows)});
  }
  return out;
}

// What the SQL carries of a select query's rows: without the markers, the
// type row and an empty options row, and with the designer's table order
// (Access lists tables in the order they were added to the grid) set aside.
std::vector<QueryRow> content(std::vector<QueryRow> rows) {
  std::vector<QueryRow> out;
  for (auto& r : rows) {
    if (r.attribute == 0 || r.attribute == 1 || r.attribute == 255) continue;
    if (r.attribute == 3 && r.flag.value_or(0) == 0 && !r.name1) continue;
    if (r.attribute == 5) r.order = 0;
    if (r.attribute == 11 && r.name1) r.name1 = "D";
    // Access 2000 keeps the brackets of a form reference in a parameter's name.
    if (r.attribute == 2 && r.name1) std::erase_if(*r.name1, [](char c) { return c == '[' || c == ']'; });
    out.push_back(std::move(r));
  }
  std::stable_sort(out.begin(), out.end(), [](const QueryRow& a, const QueryRow& b) {
    if (a.attribute != b.attribute) return a.attribute < b.attribute;
    if (a.order != b.order) return a.order < b.order;
    return a.name1 < b.name1;
  });
  return out;
}

TEST(QuerySamples, EveryStoredQueryRebuildsAndSelectsRoundTrip) {
  MIRUTONE_REQUIRE_TESTDATA();
  std::size_t queries = 0, round_trips = 0;
  for (const char* file : {"j3_jackcess_query.mdb", "j4_jackcess_query.mdb", "j3_nwind_full.mdb", "j4_ja_northwind.mdb"}) {
    for (const auto& q : sample_queries(file)) {
      SCOPED_TRACE(std::string(file) + ": " + q.name);
      ++queries;
      const auto sql = rebuild_query_sql(q.rows);
      ASSERT_TRUE(sql.has_value());
      std::int16_t type = 1;
      for (const auto& r : q.rows)
        if (r.attribute == 1 && r.flag) type = *r.flag;
      if (type != 1) continue;
      // Decomposing the rebuilt text gives back the stored rows.
      EXPECT_EQ(content(decompose_query(q.name, *sql)), content(q.rows)) << *sql;
      ++round_trips;
    }
  }
  EXPECT_EQ(queries, 9u + 9u + 22u + 56u);
  EXPECT_EQ(round_trips, 1u + 1u + 20u + 54u);  // all but crosstab and union
}

TEST(QuerySamples, KindsMdbQueriesCannotShow) {
  MIRUTONE_REQUIRE_TESTDATA();
  std::map<std::string, std::string> sql;
  for (const auto& q : sample_queries("j4_jackcess_query.mdb")) sql[q.name] = lf(rebuild_query_sql(q.rows).value_or(""));
  EXPECT_EQ(sql["DataDefinitionQuery"], "CREATE TABLE Table5 (col1 CHAR, col2 CHAR);");
  EXPECT_EQ(sql["PassthroughQuery"], "ALTER TABLE Table4 DROP COLUMN col5;");
  EXPECT_EQ(sql["UnionQuery"],
            "Select Table1.col1, Table1.col2\nwhere Table1.col1 = \"foo\"\nUNION\nSelect Table2.col1, Table2.col2\n"
            "UNION ALL Select Table3.col1, Table3.col2\nwhere Table3.col3 > \"blah\";");
  EXPECT_EQ(sql["CrosstabQuery"].substr(0, 49), "TRANSFORM Count([Table2].[col2]) AS CountOfcol2\nS");
}

}  // namespace
}  // namespace mirutone::jet
