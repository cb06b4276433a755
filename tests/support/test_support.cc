#include "support/test_support.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <random>
#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace mirutone::test {

namespace {

std::filesystem::path folder(const char* env_name, const char* configured) {
  namespace fs = std::filesystem;
  if (const char* env = std::getenv(env_name); env && *env) {
    return fs::is_directory(env) ? fs::path(env) : fs::path();
  }
  fs::path p = configured;
  std::error_code ec;
  if (fs::is_directory(p, ec)) return fs::canonical(p, ec);
  return {};
}

std::vector<std::filesystem::path> mdb_files(const std::filesystem::path& dir) {
  std::vector<std::filesystem::path> files;
  if (dir.empty()) return files;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    if (e.is_regular_file() && e.path().extension() == ".mdb") files.push_back(e.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

std::filesystem::path testdata_dir() { return folder("MIRUTONE_TESTDATA", MIRUTONE_TESTDATA_DIR); }
std::vector<std::filesystem::path> testdata_files() { return mdb_files(testdata_dir()); }

std::filesystem::path testdata_more_dir() {
  return folder("MIRUTONE_TESTDATA_MORE", MIRUTONE_TESTDATA_MORE_DIR);
}
std::vector<std::filesystem::path> testdata_more_files() { return mdb_files(testdata_more_dir()); }

std::vector<std::filesystem::path> all_sample_files() {
  auto files = testdata_files();
  for (auto& f : testdata_more_files()) files.push_back(std::move(f));
  return files;
}

TempDir::TempDir() {
  std::random_device rd;
  for (int i = 0;; ++i) {
    auto p = std::filesystem::temp_directory_path() /
             ("mirutone-test-" + std::to_string(rd()) + std::to_string(i));
    if (std::filesystem::create_directory(p)) {
      path_ = p;
      break;
    }
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

int run_command(const std::string& cmd, std::string* out) {
#ifdef _WIN32
  FILE* p = _popen(cmd.c_str(), "rb");
#else
  FILE* p = popen(cmd.c_str(), "r");
#endif
  if (!p) return -1;
  std::array<char, 65536> buf;
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) {
    if (out) out->append(buf.data(), n);
  }
#ifdef _WIN32
  return _pclose(p);
#else
  int st = pclose(p);
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
#endif
}

std::string mirutone_binary() { return MIRUTONE_BINARY; }

}  // namespace mirutone::test
