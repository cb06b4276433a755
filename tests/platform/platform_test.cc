// The platform seam, through what its callers rely on: exact failure kinds,
// positioned I/O, scratch files that go away, UTF-8 paths with Japanese and
// spaces, and file identity across spellings.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "platform/console.h"
#include "platform/file.h"
#include "platform/file_identity.h"
#include "platform/file_lock.h"
#include "platform/path.h"
#include "platform/regular_file.h"
#include "platform/sort_key.h"
#include "support/test_support.h"

namespace mirutone::platform {
namespace {

using Kind = FileError::Kind;

Kind kind_of(void (*op)(const std::string&), const std::string& path) {
  try {
    op(path);
  } catch (const FileError& e) {
    return e.kind();
  }
  ADD_FAILURE() << "no FileError for " << path;
  return Kind::Other;
}

TEST(PlatformFile, FailuresSayWhatKindTheyAre) {
  test::TempDir dir;
  const std::string folder = utf8_path(dir.path());
  const std::string missing = utf8_path(dir / "missing.mdb");
  EXPECT_EQ(kind_of([](const std::string& p) { File::open_read(p); }, missing), Kind::NotFound);
  EXPECT_EQ(kind_of([](const std::string& p) { File::open_write(p); }, missing), Kind::NotFound);
  EXPECT_EQ(kind_of([](const std::string& p) { File::open_read(p); }, folder), Kind::NotRegular);
  EXPECT_EQ(kind_of([](const std::string& p) { remove_file(p); }, missing), Kind::NotFound);
  File::create_new(missing);
  EXPECT_EQ(kind_of([](const std::string& p) { File::create_new(p); }, missing), Kind::Exists);
  EXPECT_TRUE(is_regular_file(missing));
  EXPECT_FALSE(is_regular_file(folder));
}

TEST(PlatformFile, AFolderIsRefusedByName) {
  test::TempDir dir;
  const std::string folder = utf8_path(dir.path());
  EXPECT_EQ(non_regular_kind(folder), "a folder");
  EXPECT_EQ(non_regular_kind(utf8_path(dir / "missing.mdb")), "");
  for (auto open : {&File::open_read, &File::open_write}) {
    try {
      open(folder);
      ADD_FAILURE() << "a folder opened as a file";
    } catch (const FileError& e) {
      EXPECT_EQ(e.kind(), Kind::NotRegular);
      EXPECT_STREQ(e.what(), "not a regular file (a folder)");
    }
  }
  File::create_new(utf8_path(dir / "a.mdb"));
  EXPECT_EQ(non_regular_kind(utf8_path(dir / "a.mdb")), "");
}

// What keeps a second conversion run out of a folder a first one is writing.
TEST(PlatformFileLock, ASecondLockOnTheFolderIsRefusedUntilTheFirstIsLetGo) {
  test::TempDir dir;
  const std::string folder = utf8_path(dir.path()) + "/出力 先";
  std::filesystem::create_directory(fs_path(folder));
  FileLock first, second;
  ASSERT_EQ(first.try_lock(folder), LockResult::Locked) << first.error();
  EXPECT_TRUE(first.held());
  EXPECT_EQ(second.try_lock(folder), LockResult::Busy);
  EXPECT_FALSE(second.held());
  // Files beside the lock are written as usual.
  File::create_new(folder + "/Ruzevuz.mdb").write_at(0, "x", 1);
  first.unlock();
  EXPECT_EQ(second.try_lock(folder), LockResult::Locked) << second.error();
  EXPECT_EQ(first.try_lock(folder), LockResult::Busy);
  second.unlock();
  EXPECT_EQ(first.try_lock(utf8_path(dir / "missing")), LockResult::Failed);
  EXPECT_FALSE(first.error().empty());
  // Nothing is left in the folder but what was written there.
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(fs_path(folder))) names.push_back(utf8_path(e.path().filename()));
  EXPECT_EQ(names, std::vector<std::string>{"Ruzevuz.mdb"});
}

TEST(PlatformFile, PositionedWritesAndReadsMeetInTheMiddle) {
  test::TempDir dir;
  const std::string path = utf8_path(dir / "pages.bin");
  {
    File f = File::create_new(path);
    f.write_at(4096, "tail", 4);
    f.write_at(0, "head", 4);
    f.sync();
    EXPECT_EQ(f.size(), 4100u);
  }
  File r = File::open_read(path);
  char buf[8] = {};
  EXPECT_EQ(r.read_at(4096, buf, sizeof buf), 4u);  // short only at the end
  EXPECT_EQ(std::string(buf, 4), "tail");
  EXPECT_EQ(r.read_at(0, buf, 4), 4u);
  EXPECT_EQ(std::string(buf, 4), "head");
  EXPECT_EQ(r.read_at(100, buf, 4), 4u);
  EXPECT_EQ(std::string(buf, 4), std::string(4, '\0'));  // the gap reads as zeros
}

TEST(PlatformFile, ScratchFileLeavesNothingBehind) {
  test::TempDir dir;
  {
    File t = File::temporary_in(utf8_path(dir.path()), "Ruzevuz.mdb");
    t.write_at(0, "runs", 4);
    char buf[4];
    ASSERT_EQ(t.read_at(0, buf, 4), 4u);
    EXPECT_EQ(std::string(buf, 4), "runs");
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(PlatformPath, JapaneseFolderNamesWithSpacesReachTheSystemIntact) {
  test::TempDir dir;
  const std::string folder = utf8_path(dir.path()) + "/変換 データ";
  std::filesystem::create_directory(fs_path(folder));
  const std::string file = folder + "/管理報.mdb";
  File::create_new(file).write_at(0, "x", 1);
  // The system sees the Japanese name, not a code-page mangling of it.
  bool seen = false;
  for (const auto& e : std::filesystem::directory_iterator(fs_path(folder)))
    seen = seen || utf8_path(e.path().filename()) == "管理報.mdb";
  EXPECT_TRUE(seen);
  EXPECT_TRUE(is_regular_file(file));
  EXPECT_EQ(fs_path(file).parent_path(), fs_path(folder));

  // Two spellings of one file have one identity; another file has another.
  auto a = file_identity(file), b = file_identity(folder + "/../変換 データ/./管理報.mdb");
  ASSERT_TRUE(a && b);
  EXPECT_EQ(*a, *b);
  File::create_new(folder + "/NVData.mdb");
  EXPECT_NE(*a, *file_identity(folder + "/NVData.mdb"));
  EXPECT_FALSE(file_identity(folder + "/none.mdb"));
  remove_file(file);
  EXPECT_FALSE(is_regular_file(file));
}

TEST(PlatformConsole, OutputThatIsNoTerminalTakesNoEscapes) {
  // Under ctest standard output is a pipe: the progress bar is not drawn, and
  // asking for escapes there must neither say yes nor change anything.
  if (stdout_is_terminal()) GTEST_SKIP() << "standard output is a terminal here";
  EXPECT_FALSE(terminal_takes_escapes());
  EXPECT_EQ(terminal_columns(), 0u);
}

TEST(PlatformSortKeys, OnlyWindowsOffersThem) {
  std::vector<std::uint8_t> key;
  bool got = system_sort_key(0x0411, kIgnoreCase | kIgnoreKanaType | kIgnoreWidth, "M_tag", key);
  EXPECT_EQ(got, system_sort_keys_available());
#ifdef _WIN32
  // Letters weigh the same in every generation of Windows' tables; case is ignored.
  const std::vector<std::uint8_t> m_tag = {0x0e, 0x51, 0x07, 0x44, 0x0e, 0x99, 0x0e, 0x02,
                                           0x0e, 0x25, 0x01, 0x01, 0x01, 0x01, 0x00};
  EXPECT_EQ(key, m_tag);
  EXPECT_FALSE(system_sort_key(0x0411, 0, "\xC3", key));  // not UTF-8
#else
  EXPECT_FALSE(system_sort_keys_available());
#endif
}

}  // namespace
}  // namespace mirutone::platform
