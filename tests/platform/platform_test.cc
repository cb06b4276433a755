// The platform seam, through what its callers rely on: exact failure kinds,
// positioned I/O, scratch files that go away, UTF-8 paths with Japanese and
// spaces, and file identity across spellings.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "platform/file.h"
#include "platform/file_identity.h"
#include "platform/path.h"
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
