// Helpers shared by the test suites.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace mirutone::test {

// Folder of the sample .mdb files (../shared/testdata, or $MIRUTONE_TESTDATA);
// empty when it is not there.
std::filesystem::path testdata_dir();

// Every *.mdb in the testdata folder, sorted by name; empty when absent.
std::vector<std::filesystem::path> testdata_files();

// The second folder of real files (../shared/testdata-more, or
// $MIRUTONE_TESTDATA_MORE), and its *.mdb files; empty when absent.
std::filesystem::path testdata_more_dir();
std::vector<std::filesystem::path> testdata_more_files();

// The files of both folders, the first folder's first.
std::vector<std::filesystem::path> all_sample_files();

// Skips the calling test (GTEST_SKIP) when the testdata folder is absent.
#define MIRUTONE_REQUIRE_TESTDATA()                                                   \
  do {                                                                                \
    if (::mirutone::test::testdata_dir().empty())                                     \
      GTEST_SKIP() << "../shared/testdata is not present: sample-file tests skipped"; \
  } while (0)

// A fresh empty temporary folder, removed when the object dies.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Runs a shell command, returns its exit status and captures stdout.
int run_command(const std::string& cmd, std::string* out);

// Path of the built mirutone executable.
std::string mirutone_binary();

}  // namespace mirutone::test
