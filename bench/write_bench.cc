// Writes a table with a two-column primary key (Text 10, Long) through the
// Jet 3 writer and reports rows per second and peak memory.
//
//   write_bench [ROWS] [OUT.mdb]     (default 1,000,000 rows into a temporary file)
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "db/jet/reader.h"
#include "db/jet/writer.h"

using namespace mirutone::jet;

namespace {

long peak_rss_kib() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
  long rows = argc > 1 ? std::atol(argv[1]) : 1000000;
  std::filesystem::path out =
      argc > 2 ? std::filesystem::path(argv[2]) : std::filesystem::temp_directory_path() / "mirutone-write-bench.mdb";
  std::filesystem::remove(out);
  try {
    auto start = std::chrono::steady_clock::now();
    {
      auto w = Writer::create(out.string(), Locale::japanese());
      w->create_table({"Readings",
                       {{"Area", ColumnType::Text, 10},
                        {"Seq", ColumnType::Long},
                        {"Value", ColumnType::Double},
                        {"Note", ColumnType::Text, 20, false, true}},
                       {{"Readings", {"Area", "Seq"}, true}}});
      const long per_area = 10000;
      for (long i = 0; i < rows; ++i) {
        char area[16];
        std::snprintf(area, sizeof area, "A%04ld", i / per_area);
        w->append_row("Readings", {Value{std::string(area)}, Value{static_cast<std::int32_t>(i % per_area)},
                                   Value{static_cast<double>(i) * 0.25}, Value{std::string("測定値")}});
      }
      w->close();
    }
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("write: %ld rows in %.2f s = %.0f rows/s, file %.1f MiB, peak memory %.1f MiB\n", rows, secs,
                rows / secs, std::filesystem::file_size(out) / 1048576.0, peak_rss_kib() / 1024.0);

    start = std::chrono::steady_clock::now();
    auto r = Reader::open(out.string());
    auto cur = r->rows("Readings");
    std::vector<Value> row;
    long n = 0;
    while (cur->next(row)) ++n;
    secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("read back: %ld rows in %.2f s = %.0f rows/s\n", n, secs, n / secs);
    if (argc <= 2) std::filesystem::remove(out);
    return n == rows ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "write_bench: %s\n", e.what());
    return 1;
  }
}
