// The conversion run under what users' machines do to it, run as a program:
// a second run into the same folder, a full disk, a killed process, a
// damaged source and paths that are not regular files.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "apps/sample_source.h"
#include "db/jet/format/format.h"
#include "db/jet/api/reader.h"
#include "oracle/mdb_reader.h"
#include "oracle/mdbtools.h"
#include "platform/file_lock.h"
#include "support/test_support.h"

namespace mirutone::test {
namespace {

namespace fs = std::filesystem;

std::string q(const fs::path& p) { return "'" + p.string() + "'"; }

struct Outcome {
  int status = -1;
  std::string out, err;
};

Outcome run(const std::string& args, const std::string& prefix = "") {
  TempDir tmp;
  Outcome o;
  o.status = run_command(prefix + mirutone_binary() + " " + args + " </dev/null 2>" + q(tmp / "err"), &o.out);
  std::ifstream in(tmp / "err");
  std::stringstream ss;
  ss << in.rdbuf();
  o.err = ss.str();
  return o;
}

// Rows of every user table, as our reader finds them.
std::map<std::string, long> row_counts(const fs::path& file) {
  auto r = jet::Reader::open(file.string());
  std::map<std::string, long> out;
  for (const auto& name : r->table_names()) {
    auto cur = r->rows(name);
    std::vector<jet::Value> row;
    long n = 0;
    while (cur->next(row)) ++n;
    out[name] = n;
  }
  return out;
}

// The file opens in mdbtools and in mdb-reader, and both find in every table
// the rows our reader finds.
void expect_readable_by_others(const fs::path& file) {
  SCOPED_TRACE(file.string());
  std::map<std::string, long> ours;
  ASSERT_NO_THROW(ours = row_counts(file));
  if (oracle::mdbtools_available()) {
    for (const auto& [table, n] : ours) {
      EXPECT_EQ(static_cast<long>(oracle::mdb_export(file.string(), table, "CP932").rows.size()), n) << table;
    }
  }
  if (oracle::mdb_reader_unavailable_reason().empty()) {
    // mdb-reader decodes Jet 3 names as cp1252: match its tables by catalog order.
    const auto names = jet::Reader::open(file.string())->table_names();
    const auto theirs = oracle::mdb_reader_dump(file.string());
    ASSERT_EQ(theirs.size(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
      const auto& t = theirs[i];
      EXPECT_FALSE(t.error) << names[i] << ": " << t.error.value_or("");
      EXPECT_EQ(static_cast<long>(t.rows.size()), ours[names[i]]) << names[i];
      EXPECT_EQ(t.row_count, ours[names[i]]) << names[i] << ": the table definition's count";
    }
  }
}

// A mirutone child whose stdout the test reads line by line.
struct Child {
  pid_t pid = -1;
  FILE* out = nullptr;

  explicit Child(const std::vector<std::string>& args) {
    int fds[2];
    if (::pipe(fds) != 0) return;
    pid = ::fork();
    if (pid == 0) {
      ::dup2(fds[1], STDOUT_FILENO);
      ::close(fds[0]);
      ::close(fds[1]);
      std::vector<char*> argv;
      std::string bin = mirutone_binary();
      argv.push_back(bin.data());
      std::vector<std::string> copy = args;
      for (auto& a : copy) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(bin.c_str(), argv.data());
      ::_exit(127);
    }
    ::close(fds[1]);
    out = ::fdopen(fds[0], "r");
  }
  // Reads until a line containing `text`; false at the end of the output.
  bool wait_for(const std::string& text) {
    char line[4096];
    while (out && std::fgets(line, sizeof line, out)) {
      if (std::strstr(line, text.c_str())) return true;
    }
    return false;
  }
  int wait() {
    if (out) {
      char buf[4096];
      while (std::fread(buf, 1, sizeof buf, out) > 0) {
      }
      std::fclose(out);
      out = nullptr;
    }
    int st = 0;
    ::waitpid(pid, &st, 0);
    return st;
  }
  ~Child() {
    if (pid > 0 && out) {
      ::kill(pid, SIGKILL);
      wait();
    }
  }
};

class RunFaults : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    shared_ = new TempDir();
    convert::SampleOptions o;
    // Enough daily rows that step 17 fills the writer's page cache once.
    o.tags = 80;
    o.days = 240;
    convert::make_sample_source((shared_->path() / "管理報.mdb").string(), o);
    Outcome clean = run("convert --yes --out " + q(shared_->path()) + " " + q(source()));
    ASSERT_EQ(clean.status, 0) << clean.err;
    clean_kanri_ = new std::map<std::string, long>(row_counts(shared_->path() / "Ruzevuz.mdb"));
    clean_data_ = new std::map<std::string, long>(row_counts(shared_->path() / "NVData.mdb"));
  }
  static void TearDownTestSuite() {
    delete shared_;
    delete clean_kanri_;
    delete clean_data_;
  }
  static fs::path source() { return shared_->path() / "管理報.mdb"; }

  static TempDir* shared_;
  static std::map<std::string, long>* clean_kanri_;
  static std::map<std::string, long>* clean_data_;
  TempDir dir_;
};
TempDir* RunFaults::shared_ = nullptr;
std::map<std::string, long>* RunFaults::clean_kanri_ = nullptr;
std::map<std::string, long>* RunFaults::clean_data_ = nullptr;

TEST_F(RunFaults, ASecondRunIntoTheSameFolderFailsBeforeDeletingAnything) {
  // Earlier output that the second run must leave alone.
  std::ofstream(dir_ / "Ruzevuz.mdb") << "earlier";
  std::ofstream(dir_ / "NVData.mdb") << "earlier";
  {
    platform::FileLock other;  // what a run under way holds
    ASSERT_EQ(other.try_lock(dir_.path().string()), platform::LockResult::Locked);
    Outcome second = run("convert --yes --out " + q(dir_.path()) + " " + q(source()));
    EXPECT_EQ(second.status, 1);
    EXPECT_NE(second.err.find("in use by another conversion run"), std::string::npos) << second.err;
    EXPECT_NE(second.err.find("Jet error 3045"), std::string::npos) << second.err;
    EXPECT_EQ(fs::file_size(dir_ / "Ruzevuz.mdb"), 7u);
    EXPECT_EQ(fs::file_size(dir_ / "NVData.mdb"), 7u);
  }

  // Two real runs: the second starts while the first is stopped mid-way.
  Child first({"convert", "--yes", "--out", dir_.path().string(), source().string()});
  ASSERT_TRUE(first.wait_for("step 1/19")) << "the first run never reached its copy steps";
  ::kill(first.pid, SIGSTOP);
  auto started = std::chrono::steady_clock::now();
  Outcome second = run("convert --yes --out " + q(dir_.path()) + " " + q(source()));
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5)) << "the second run waited";
  ::kill(first.pid, SIGCONT);
  int st = first.wait();
  EXPECT_EQ(second.status, 1) << second.out;
  EXPECT_NE(second.err.find("in use by another conversion run"), std::string::npos) << second.err;
  ASSERT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << st;
  EXPECT_EQ(row_counts(dir_ / "Ruzevuz.mdb"), *clean_kanri_);
  EXPECT_EQ(row_counts(dir_ / "NVData.mdb"), *clean_data_);
}

// Output folders of a limited size: a tmpfs mount where the machine allows
// it, else a limit on the size of any one file the child writes.
class LimitedFolder {
 public:
  explicit LimitedFolder(const fs::path& dir) : dir_(dir) {
    mounted_ = ::geteuid() == 0 && ::mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=4k") == 0;
    if (mounted_) ::umount(dir.c_str());
  }
  ~LimitedFolder() { release(); }
  bool tmpfs() const { return mounted_; }
  // Prefix of the command line that limits the run to `bytes`.
  std::string limit(long bytes) {
    release();
    if (mounted_) {
      std::string opts = "size=" + std::to_string(bytes);
      if (::mount("tmpfs", dir_.c_str(), "tmpfs", 0, opts.c_str()) != 0) return "false; ";
      active_ = true;
      return "";
    }
    return "trap '' XFSZ; ulimit -f " + std::to_string(bytes / 512) + "; ";
  }
  void release() {
    if (active_) ::umount2(dir_.c_str(), MNT_DETACH);
    active_ = false;
  }

 private:
  fs::path dir_;
  bool mounted_ = false;
  bool active_ = false;
};

int failed_step(const std::string& err) {
  auto at = err.find("failed at step ");
  return at == std::string::npos ? 0 : std::atoi(err.c_str() + at + 15);
}

TEST_F(RunFaults, AFullDiskLeavesOnlyOutputsThatOpenWithTheirRows) {
  fs::create_directory(dir_ / "out");
  LimitedFolder folder(dir_ / "out");
  std::set<int> steps_seen;
  bool before_steps = false;
  // From too small for the empty databases to past the management
  // database's write-out, then one that stops in the daily data.
  std::vector<long> sizes;
  for (long kb = 128; kb <= 352; kb += 16) sizes.push_back(kb << 10);
  sizes.push_back(1 << 20);
  for (long size : sizes) {
    SCOPED_TRACE("limit " + std::to_string(size));
    std::string prefix = folder.limit(size);
    Outcome o = run("convert --yes --out " + q(dir_ / "out") + " " + q(source()), prefix);
    ASSERT_EQ(o.status, 1) << o.err;
    EXPECT_TRUE(o.err.find("No space left on device") != std::string::npos ||
                o.err.find("File too large") != std::string::npos)
        << o.err;
    int step = failed_step(o.err);
    if (step == 0) before_steps = true;
    steps_seen.insert(step);
    for (const char* name : {"Ruzevuz.mdb", "NVData.mdb"}) {
      fs::path f = dir_ / "out" / name;
      if (!fs::exists(f)) {
        EXPECT_NE(o.err.find(std::string(name) + " could not be written out complete and was removed"),
                  std::string::npos)
            << o.err;
        continue;
      }
      expect_readable_by_others(f);
    }
    // Once its steps are done the management database is complete.
    if (step > 15 && fs::exists(dir_ / "out" / "Ruzevuz.mdb")) {
      EXPECT_EQ(row_counts(dir_ / "out" / "Ruzevuz.mdb"), *clean_kanri_);
    }
    folder.release();
    fs::remove(dir_ / "out" / "Ruzevuz.mdb");
    fs::remove(dir_ / "out" / "NVData.mdb");
  }
  EXPECT_TRUE(before_steps) << "no limit stopped the building of the new databases";
  EXPECT_TRUE(steps_seen.count(15)) << "no limit stopped the writing out of the management database";
  EXPECT_TRUE(steps_seen.count(17)) << "no limit stopped the daily data";
}

TEST_F(RunFaults, AKilledRunLeavesACompleteManagementDatabase) {
  Child run({"convert", "--yes", "--out", dir_.path().string(), source().string()});
  ASSERT_TRUE(run.wait_for("step 16/19"));
  ::kill(run.pid, SIGKILL);
  run.wait();
  EXPECT_EQ(row_counts(dir_ / "Ruzevuz.mdb"), *clean_kanri_);
  expect_readable_by_others(dir_ / "Ruzevuz.mdb");
}

TEST_F(RunFaults, RowsLostToADamagedPageAreReported) {
  fs::path damaged = dir_ / "管理報.mdb";
  fs::copy_file(source(), damaged);
  // Lower the row count of the first data page of the tag master by 8, as a
  // flipped bit there does: rows at its end can no longer be read, while the
  // definition and the primary index still count them.
  const char* table = "TAG情報マスター";
  const jet::TableInfo info = jet::Reader::open(damaged.string())->table(table);
  std::fstream f(damaged, std::ios::in | std::ios::out | std::ios::binary);
  const auto& lay = jet::fmt::layout(jet::Format::Jet3);
  std::vector<std::uint8_t> page(static_cast<std::size_t>(lay.page_size));
  bool done = false;
  for (std::uint32_t p = 0; !done && f.read(reinterpret_cast<char*>(page.data()), lay.page_size); ++p) {
    if (page[0] != jet::fmt::kPageData || jet::fmt::get_u32(page.data() + lay.dp_off_owner) != info.tdef_page) {
      continue;
    }
    std::uint16_t rows = jet::fmt::get_u16(page.data() + lay.dp_off_row_count);
    ASSERT_GT(rows, 8);
    f.seekp(static_cast<std::streamoff>(p) * lay.page_size + lay.dp_off_row_count);
    std::uint16_t fewer = static_cast<std::uint16_t>(rows - 8);
    f.write(reinterpret_cast<const char*>(&fewer), 2);
    done = true;
  }
  f.close();
  ASSERT_TRUE(done);
  const long counted = info.stored_row_count;
  const long readable = row_counts(damaged)[table];
  ASSERT_LT(readable, counted);

  Outcome o = run("convert --yes " + q(damaged));
  ASSERT_EQ(o.status, 0) << o.err;
  const std::string warning = std::string("warning: table ") + table + ": " + std::to_string(readable) +
                              " rows read, but its definition counts " + std::to_string(counted) +
                              " and its primary index holds " + std::to_string(counted) + " entries";
  EXPECT_NE(o.out.find("step 1: " + warning), std::string::npos) << o.out;
  EXPECT_NE(o.err.find("1 source table(s) read fewer or more rows than they count:\n  step 1: " + warning),
            std::string::npos)
      << o.err;
  EXPECT_NE(o.err.find("compact the source database in Access"), std::string::npos);
}

TEST_F(RunFaults, PathsThatAreNotRegularFilesAreRefusedAtOnce) {
  ASSERT_EQ(::mkfifo((dir_ / "fifo.mdb").c_str(), 0644), 0);
  auto started = std::chrono::steady_clock::now();
  Outcome inspect = run("inspect " + q(dir_ / "fifo.mdb"), "timeout 10 ");
  Outcome convert = run("convert --yes --out " + q(dir_.path()) + " " + q(dir_ / "fifo.mdb"), "timeout 10 ");
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
  EXPECT_EQ(inspect.status, 1);
  EXPECT_NE(inspect.err.find("not a regular file (a FIFO)"), std::string::npos) << inspect.err;
  EXPECT_EQ(convert.status, 1);
  EXPECT_NE(convert.err.find("not a regular file (a FIFO)"), std::string::npos) << convert.err;

  // An output path holding a FIFO: refused before the other output is deleted.
  fs::create_directory(dir_ / "out");
  ASSERT_EQ(::mkfifo((dir_ / "out" / "NVData.mdb").c_str(), 0644), 0);
  std::ofstream(dir_ / "out" / "Ruzevuz.mdb") << "earlier";
  Outcome out = run("convert --yes --out " + q(dir_ / "out") + " " + q(source()), "timeout 10 ");
  EXPECT_EQ(out.status, 1);
  EXPECT_NE(out.err.find("NVData.mdb is a FIFO, not a database file; nothing was deleted"), std::string::npos)
      << out.err;
  EXPECT_EQ(fs::file_size(dir_ / "out" / "Ruzevuz.mdb"), 7u);

  // --out naming a file.
  Outcome file = run("convert --yes --out " + q(source()) + " " + q(source()));
  EXPECT_EQ(file.status, 2);
  EXPECT_NE(file.err.find("is not a folder"), std::string::npos) << file.err;
}

TEST_F(RunFaults, AReadOnlyOutputFolderNamesThePermissionError) {
  fs::create_directory(dir_ / "ro");
  if (::geteuid() != 0 || ::mount("tmpfs", (dir_ / "ro").c_str(), "tmpfs", MS_RDONLY, "size=64k") != 0) {
    GTEST_SKIP() << "a read-only folder needs a read-only mount here (root ignores permissions)";
  }
  Outcome o = run("convert --yes --out " + q(dir_ / "ro") + " " + q(source()));
  ::umount2((dir_ / "ro").c_str(), MNT_DETACH);
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("failed at creating Ruzevuz.mdb: "), std::string::npos) << o.err;
  EXPECT_NE(o.err.find("Read-only file system"), std::string::npos) << o.err;
  EXPECT_NE(o.out.find("ＤＢ作成エラー"), std::string::npos) << o.out;
  EXPECT_NE(o.err.find("creating the new databases had already failed"), std::string::npos) << o.err;
}

}  // namespace
}  // namespace mirutone::test
