// A new, empty database: what the independent readers and our own reader see.
#include <gtest/gtest.h>

#include <fstream>

#include "db/jet/api/reader.h"
#include "db/jet/api/writer.h"
#include "support/test_support.h"
#include "writer/oracle_util.h"

namespace mirutone::jet {
namespace {

using test::mdbtool;
using test::TempDir;

TEST(CreateDatabase, EmptyJapaneseDatabaseIsReadByMdbtools) {
  TempDir dir;
  std::string file = (dir / "empty.mdb").string();
  Writer::create(file)->close();

  EXPECT_EQ(mdbtool("mdb-ver", file), "JET3\n");
  std::string tables = mdbtool("mdb-tables", file, "-S -1");
  for (const char* t : {"MSysObjects", "MSysACEs", "MSysQueries", "MSysRelationships"}) {
    EXPECT_NE(tables.find(std::string(t) + "\n"), std::string::npos) << tables;
  }
  std::string schema = mdbtool("mdb-schema", file, "-T MSysObjects", "access");
  EXPECT_NE(schema.find("CREATE TABLE [MSysObjects]"), std::string::npos) << schema;
  EXPECT_NE(schema.find("[ParentId]\t\t\tLong Integer"), std::string::npos) << schema;

  // The engine's catalog rows: 3 containers, MSysDb and the 4 system tables.
  std::string objects = mdbtool("mdb-export", file, "", "MSysObjects");
  EXPECT_EQ(test::count_lines_starting(objects, ""), 9) << objects;
  EXPECT_NE(objects.find("251658241,251658240,\"Tables\",3,"), std::string::npos) << objects;
  EXPECT_NE(objects.find("268435456,251658242,\"MSysDb\",2,"), std::string::npos) << objects;
  std::string aces = mdbtool("mdb-export", file, "", "MSysACEs");
  EXPECT_EQ(test::count_lines_starting(aces, ""), 24) << aces;
  EXPECT_EQ(mdbtool("mdb-count", file, "", "MSysACEs"), "23\n");
}

TEST(CreateDatabase, HeaderCarriesLocale) {
  TempDir dir;
  std::string ja = (dir / "ja.mdb").string(), gen = (dir / "gen.mdb").string();
  Writer::create(ja, Locale::japanese())->close();
  Writer::create(gen, Locale::general())->close();
  auto r = Reader::open(ja);
  EXPECT_EQ(r->format(), Format::Jet3);
  EXPECT_EQ(r->header_codepage(), 932);
  EXPECT_EQ(r->sort_order(), 0x0411);
  EXPECT_FALSE(r->encoded());
  auto g = Reader::open(gen);
  EXPECT_EQ(g->header_codepage(), 1252);
  EXPECT_EQ(g->sort_order(), 0x0409);
  std::vector<std::string> sys = g->table_names(true);
  EXPECT_EQ(sys.size(), 4u);
  EXPECT_TRUE(g->table_names(false).empty());
}

TEST(CreateDatabase, MdbReaderReadsTheCatalog) {
  TempDir dir;
  std::string file = (dir / "empty.mdb").string();
  Writer::create(file, Locale::general())->close();
  std::string out = test::mdb_reader_lines(file, "--system");
  EXPECT_NE(out.find("T\tMSysObjects\t8\t17"), std::string::npos) << out;
  EXPECT_NE(out.find("T\tMSysACEs\t23\t4"), std::string::npos) << out;
  EXPECT_EQ(out.find("E\t"), std::string::npos) << out;
}

TEST(CreateDatabase, RefusesAnExistingFile) {
  TempDir dir;
  std::string file = (dir / "there.mdb").string();
  { std::ofstream(file) << "not a database"; }
  try {
    Writer::create(file);
    FAIL() << "created over an existing file";
  } catch (const Error& e) {
    EXPECT_EQ(e.jet_code(), 3204);
    EXPECT_EQ(e.file(), file);
  }
  std::ifstream in(file);
  std::string content((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(content, "not a database");
}

TEST(CreateDatabase, RefusesAFolderThatDoesNotExist) {
  TempDir dir;
  std::string file = (dir / "no" / "such" / "x.mdb").string();
  try {
    Writer::create(file);
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.file(), file);
  }
}

}  // namespace
}  // namespace mirutone::jet
