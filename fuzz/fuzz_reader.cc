// libFuzzer target: any bytes, opened as a database file and read end to end.
// The only acceptable way to fail is a jet::Error; everything else (a crash, a
// sanitizer report, another exception, a timeout) is a finding.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "db/jet/api/reader.h"

namespace {

using mirutone::jet::Reader;
using mirutone::jet::Value;

// The reader works on paths; an anonymous memory file gives it one without
// touching the disk.
class MemoryFile {
 public:
  MemoryFile(const std::uint8_t* data, std::size_t size) {
    fd_ = memfd_create("fuzz.mdb", 0);
    if (fd_ < 0) __builtin_trap();
    std::size_t done = 0;
    while (done < size) {
      ssize_t n = write(fd_, data + done, size - done);
      if (n <= 0) __builtin_trap();
      done += static_cast<std::size_t>(n);
    }
    path_ = "/proc/self/fd/" + std::to_string(fd_);
  }
  ~MemoryFile() { close(fd_); }
  const std::string& path() const { return path_; }

 private:
  int fd_ = -1;
  std::string path_;
};

void walk(const std::string& path, std::size_t size) {
  auto r = Reader::open(path);
  (void)r->codepage();
  (void)r->sort_order();
  for (const auto& name : r->table_names(true)) {
    const auto& t = r->table(name);
    auto cursor = r->rows(name);
    std::vector<Value> row;
    std::size_t n = 0;
    while (cursor->next(row)) {
      // A table cannot hold more rows than the file has bytes: more means a loop.
      if (row.size() != t.columns.size() || ++n > size + 16) __builtin_trap();
    }
  }
  for (const auto& q : r->queries()) (void)q.sql;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  MemoryFile file(data, size);
  try {
    walk(file.path(), size);
  } catch (const mirutone::jet::Error&) {
    // Damaged input, reported the way it should be.
  }
  return 0;
}
