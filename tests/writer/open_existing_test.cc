// Adding to files that already exist: ones Access made, and our own.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "db/jet/api/reader.h"
#include "db/jet/api/writer.h"
#include "support/test_support.h"
#include "writer/index_check.h"
#include "writer/oracle_util.h"

namespace mirutone::jet {
namespace {

namespace fs = std::filesystem;
using test::mdbtool;
using test::TempDir;

std::string copy_sample(const TempDir& dir, const std::string& name) {
  fs::path to = dir / name;
  fs::copy_file(test::testdata_dir() / name, to);
  fs::permissions(to, fs::perms::owner_write, fs::perm_options::add);
  return to.string();
}

TEST(OpenExisting, AppendsToATableAccessMade) {
  MIRUTONE_REQUIRE_TESTDATA();
  TempDir dir;
  std::string file = copy_sample(dir, "j3_ucanaccess_size97.mdb");
  {
    auto w = Writer::open(file);
    EXPECT_EQ(w->locale().sort_order, 0x0409);
    EXPECT_EQ(w->table_names(), std::vector<std::string>{"table1"});
    EXPECT_EQ(w->row_count("table1"), 0u);
    for (int i = 1; i <= 400; ++i) {
      w->append_row("table1", {Value{std::int32_t(i)}, Value{"row " + std::to_string(i)}});
    }
    // ID is the primary key of the Access table.
    EXPECT_THROW(w->append_row("table1", {Value{std::int32_t(7)}, Value{std::string("again")}}), Error);
    w->create_table({"Added", {{"K", ColumnType::Long, 0, true}, {"Name", ColumnType::Text, 20, false, true}},
                     {{"PrimaryKey", {"K"}, true}}});
    w->append_row("Added", {Value{}, Value{std::string("x")}});
    w->close();
  }
  EXPECT_EQ(mdbtool("mdb-count", file, "", "table1"), "400\n");
  std::string csv = mdbtool("mdb-export", file, "", "table1");
  EXPECT_NE(csv.find("\n400,\"row 400\"\n"), std::string::npos);
  EXPECT_EQ(mdbtool("mdb-export", file, "", "Added"), "K,Name\n1,\"x\"\n");
  std::string lines = test::mdb_reader_lines(file);
  EXPECT_NE(lines.find("T\ttable1\t400\t2"), std::string::npos) << lines.substr(0, 300);
  EXPECT_EQ(test::count_lines_starting(lines, "E\t"), 0);
  auto pk = test::check_index(file, "table1", 0);
  EXPECT_EQ(pk.problem, "");
  EXPECT_EQ(pk.entries, 400u);
  EXPECT_EQ(test::check_index(file, "MSysObjects", 0).problem, "");
  EXPECT_EQ(test::check_index(file, "MSysObjects", 1).problem, "");
  EXPECT_EQ(Reader::open(file)->table("table1").stored_row_count, 400u);
}

TEST(OpenExisting, ReopensOurOwnFileAndKeepsCounting) {
  TempDir dir;
  std::string file = (dir / "again.mdb").string();
  TableDesign design{"T", {{"Id", ColumnType::Long, 0, true}, {"Memo", ColumnType::Memo, 0, false, true}},
                 {{"PrimaryKey", {"Id"}, true}}};
  {
    auto w = Writer::create(file);
    w->create_table(design);
    for (int i = 0; i < 50; ++i) w->append_row("T", {Value{}, Value{std::string(40 + i * 30, 'a' + i % 26)}});
    w->close();
  }
  for (int round = 0; round < 2; ++round) {
    auto w = Writer::open(file);
    EXPECT_EQ(w->locale().codepage, 932);
    EXPECT_THROW(w->create_table(design), Error);
    for (int i = 0; i < 50; ++i) w->append_row("T", {Value{}, Value{std::string(2100, 'q')}});
    w->close();
  }
  EXPECT_EQ(mdbtool("mdb-count", file, "", "T"), "150\n");
  auto r = Reader::open(file);
  auto cursor = r->rows("T");
  std::vector<Value> row;
  int n = 0;
  while (cursor->next(row)) {
    ++n;
    ASSERT_EQ(row[0], Value{std::int32_t(n)});
    std::string expect = n <= 50 ? std::string(40 + (n - 1) * 30, 'a' + (n - 1) % 26) : std::string(2100, 'q');
    ASSERT_EQ(row[1], Value{expect}) << n;
  }
  EXPECT_EQ(n, 150);
  EXPECT_EQ(test::check_index(file, "T", 0).entries, 150u);
}

TEST(OpenExisting, RefusesWhatItCannotWrite) {
  TempDir dir;
  auto code_of = [](const std::string& f) {
    try {
      Writer::open(f);
    } catch (const Error& e) {
      EXPECT_EQ(e.file(), f);
      return e.jet_code();
    }
    return -1;
  };
  EXPECT_EQ(code_of((dir / "missing.mdb").string()), 3024);
  if (!test::testdata_dir().empty()) {
    EXPECT_EQ(code_of(copy_sample(dir, "j4_jackcess_del.mdb")), 3049);
    EXPECT_EQ(code_of(copy_sample(dir, "j3_ENCODED_jackcessencrypt.mdb")), 3049);
  }
}

TEST(OpenExisting, TableWithAnIndexItCannotKeepIsLeftUntouched) {
  MIRUTONE_REQUIRE_TESTDATA();
  TempDir dir;
  // Made by DAO with the Turkish sort order: its text primary key has no
  // key encoder here, so adding a row would leave the index stale.
  std::string file = copy_sample(dir, "j3_psc_stale_rowcount.mdb");
  {
    auto w = Writer::open(file);
    EXPECT_EQ(w->row_count("dbWords"), 24u);
    try {
      w->append_row("dbWords", {Value{std::string("yeni")}, Value{std::string("kelime")}});
      ADD_FAILURE() << "appended to a table whose index cannot be kept";
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find("PrimaryKey"), std::string::npos) << e.what();
    }
    w->close();
  }
  std::ifstream a(file, std::ios::binary), b(test::testdata_dir() / "j3_psc_stale_rowcount.mdb", std::ios::binary);
  std::string x((std::istreambuf_iterator<char>(a)), {}), y((std::istreambuf_iterator<char>(b)), {});
  EXPECT_TRUE(x == y) << "the file changed";
}

#ifndef _WIN32  // a child process with a file size limit stands in for a full disk
TEST(OpenExisting, WriteFailureNamesTheFile) {
  TempDir dir;
  std::string file = (dir / "small-disk.mdb").string();
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    // A file size limit stands in for a full disk.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit lim{256 * 1024, 256 * 1024};
    setrlimit(RLIMIT_FSIZE, &lim);
    int status = 1;
    try {
      auto w = Writer::create(file);
      w->create_table({"T", {{"V", ColumnType::Text, 200}}, {}});
      for (int i = 0; i < 5000; ++i) w->append_row("T", {Value{std::string(150, 'v')}});
      w->close();
    } catch (const Error& e) {
      std::string what = e.what();
      status = e.file() == file && what.find(file) != std::string::npos && what.find("write") != std::string::npos ? 0 : 2;
    } catch (...) {
      status = 3;
    }
    _exit(status);
  }
  int st = 0;
  waitpid(pid, &st, 0);
  ASSERT_TRUE(WIFEXITED(st));
  EXPECT_EQ(WEXITSTATUS(st), 0);
}

#endif

}  // namespace
}  // namespace mirutone::jet
