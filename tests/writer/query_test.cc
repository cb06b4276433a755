// Stored queries: MSysQueries rows, the catalog row and the kept SQL text.
#include <gtest/gtest.h>

#include "db/jet/catalog/catalog.h"
#include "db/jet/text/codepage.h"
#include "db/jet/file/page_file.h"
#include "db/jet/tdef/properties.h"
#include "db/jet/api/reader.h"
#include "db/jet/api/writer.h"
#include "support/test_support.h"
#include "writer/index_check.h"
#include "writer/oracle_util.h"

namespace mirutone::jet {
namespace {

using test::mdbtool;
using test::TempDir;

TEST(StoredQuery, RowsCatalogAndTextAreStored) {
  TempDir dir;
  std::string file = (dir / "q.mdb").string();
  const std::string sql = "SELECT 日報.Id, 日報.Title FROM 日報 WHERE 日報.Id > 2 ORDER BY 日報.Title;";
  {
    auto w = Writer::create(file);
    w->create_table({"日報", {{"Id", ColumnType::Long}, {"Title", ColumnType::Text, 50}}, {}});
    w->create_query("最近の日報", sql);
    w->create_query("AllIds", "SELECT 日報.Id FROM 日報;");
    try {
      w->create_query("日報", "SELECT 1;");
      ADD_FAILURE() << "a query took a table's name";
    } catch (const Error& e) {
      EXPECT_EQ(e.jet_code(), 3010);
    }
    w->close();
  }
  std::string q = mdbtool("mdb-queries", file, "", "最近の日報");
  EXPECT_NE(q.find("FROM [日報] WHERE 日報.Id > 2 ORDER BY 日報.Title"), std::string::npos) << q;
  std::string objects = mdbtool("mdb-export", file, "", "MSysObjects");
  EXPECT_NE(objects.find("-2147483648,251658241,\"最近の日報\",5,"), std::string::npos) << objects;
  EXPECT_NE(objects.find("-2147483647,251658241,\"AllIds\",5,"), std::string::npos) << objects;

  auto r = Reader::open(file);
  auto queries = r->queries();
  ASSERT_EQ(queries.size(), 2u);
  EXPECT_EQ(queries[0].name, "最近の日報");
  EXPECT_EQ(queries[0].sql, sql);
  EXPECT_EQ(test::check_index(file, "MSysQueries", 0).problem, "");

  // The exact text sits under a name of our own; no stored property may be
  // called "SQL", DAO's own QueryDef property (Access-made files have none).
  auto pages = PageFile::open(file);
  pages->configure(2048, 0);
  CodePage cp(r->codepage());
  int seen = 0;
  for (const CatalogEntry& e : read_catalog(*pages, fmt::kJet3, cp)) {
    if (e.kind() != fmt::kObjectTypeQuery) continue;
    ASSERT_TRUE(e.lv_prop);
    Properties p = parse_properties(*e.lv_prop, Format::Jet3, cp, file, e.name);
    EXPECT_EQ(p.object.find("SQL"), nullptr) << e.name;
    EXPECT_EQ(p.object.text(kQueryTextProperty, Format::Jet3, cp), e.name == "AllIds" ? "SELECT 日報.Id FROM 日報;" : sql);
    ++seen;
  }
  EXPECT_EQ(seen, 2);
  EXPECT_EQ(test::check_index(file, "MSysObjects", 0).problem, "");
}

}  // namespace
}  // namespace mirutone::jet
