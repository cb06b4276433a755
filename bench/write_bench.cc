// Writes one large table through the Jet 3 writer and reports rows per second
// and peak memory.
//
//   write_bench [--ddat] [--sort-memory MIB] [--reopen] [ROWS] [OUT.mdb]
//
// Default: ROWS (1,000,000) rows of a table with a two-column primary key
// (Text 10, Long) into a temporary file. --ddat writes the daily-data table
// of the conversion instead: TAG_ID Long, DATE Text(10), DATA_1..DATA_24,
// TOTAL, AVE, MAX, MIN Text(12), primary key (DATE, TAG_ID), rows in tag
// order (1,000 tags, one row per tag and day) so the key arrives unsorted.
// --sort-memory sets the memory each table may use for its index entries.
// --reopen then opens the file again and adds one row, which loads the
// whole primary key back from its tree (timed and measured with the rest).
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "db/jet/api/reader.h"
#include "db/jet/api/writer.h"

using namespace mirutone::jet;

namespace {

long peak_rss_kib() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

long rss_kib() {
  long pages = 0, resident = 0;
  if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// "yyyy/mm/dd" of the day `n` days after 2009/01/01.
std::string date_text(long n) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int y = 2009, m = 1;
  for (;;) {
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    const int in_year = leap ? 366 : 365;
    if (n < in_year) break;
    n -= in_year;
    ++y;
  }
  for (;;) {
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    const int in_month = kDays[m - 1] + (m == 2 && leap ? 1 : 0);
    if (n < in_month) break;
    n -= in_month;
    ++m;
  }
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d/%02d/%02d", y % 10000, m % 100, static_cast<int>(n + 1) % 100);
  return buf;
}

// Measured values as the source holds them: text such as "1234.57", from a
// pool made once so that the benchmark times the writer, not the formatting.
const std::string& number_text(long seed) {
  static const std::vector<std::string> pool = [] {
    std::vector<std::string> p;
    for (int i = 0; i < 4096; ++i) {
      char buf[24];
      std::snprintf(buf, sizeof buf, "%.2f", static_cast<double>(i * 7919 % 100000) / 7.0);
      p.emplace_back(buf);
    }
    return p;
  }();
  return pool[static_cast<std::size_t>(seed) % pool.size()];
}

const char* kTable = "Readings";

void write_readings(Writer& w, long rows) {
  w.create_table({kTable,
                  {{"Area", ColumnType::Text, 10},
                   {"Seq", ColumnType::Long},
                   {"Value", ColumnType::Double},
                   {"Note", ColumnType::Text, 20, false, true}},
                  {{"Readings", {"Area", "Seq"}, true, false, false, {}}}});
  const long per_area = 10000;
  for (long i = 0; i < rows; ++i) {
    char area[24];
    std::snprintf(area, sizeof area, "A%04ld", (i / per_area) % 10000);
    w.append_row(kTable, {Value{std::string(area)}, Value{static_cast<std::int32_t>(i % per_area)},
                          Value{static_cast<double>(i) * 0.25}, Value{std::string("測定値")}});
  }
}

void write_ddat(Writer& w, long rows) {
  TableDesign t{"D_DDAT", {{"TAG_ID", ColumnType::Long}, {"DATE", ColumnType::Text, 10}}, {}};
  for (int h = 1; h <= 24; ++h) t.columns.push_back({"DATA_" + std::to_string(h), ColumnType::Text, 12});
  for (const char* c : {"TOTAL", "AVE", "MAX", "MIN"}) t.columns.push_back({c, ColumnType::Text, 12});
  t.indexes.push_back({"PrimaryKey", {"DATE", "TAG_ID"}, true, false, false, {}});
  w.create_table(t);
  kTable = "D_DDAT";
  const long tags = 1000;
  const long days = (rows + tags - 1) / tags;
  std::vector<std::string> dates;
  for (long day = 0; day < days; ++day) dates.push_back(date_text(day));
  long written = 0;
  for (long tag = 1; tag <= tags && written < rows; ++tag) {
    for (long day = 0; day < days && written < rows; ++day, ++written) {
      std::vector<Value> v;
      v.reserve(t.columns.size());
      v.emplace_back(static_cast<std::int32_t>(tag));
      v.emplace_back(dates[static_cast<std::size_t>(day)]);
      for (int h = 0; h < 28; ++h) v.emplace_back(number_text(written * 31 + h * 7));
      w.append_row("D_DDAT", std::move(v));
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  bool ddat = false, reopen = false;
  long sort_mib = -1;
  std::vector<const char*> args;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--ddat") == 0) {
      ddat = true;
    } else if (std::strcmp(argv[i], "--reopen") == 0) {
      reopen = true;
    } else if (std::strcmp(argv[i], "--sort-memory") == 0 && i + 1 < argc) {
      sort_mib = std::atol(argv[++i]);
    } else {
      args.push_back(argv[i]);
    }
  }
  long rows = !args.empty() ? std::atol(args[0]) : 1000000;
  std::filesystem::path out = args.size() > 1 ? std::filesystem::path(args[1])
                                              : std::filesystem::temp_directory_path() / "mirutone-write-bench.mdb";
  std::filesystem::remove(out);
  try {
    auto start = std::chrono::steady_clock::now();
    {
      auto w = Writer::create(out.string(), Locale::japanese());
      if (sort_mib >= 0) w->set_sort_memory(static_cast<std::size_t>(sort_mib) << 20);
      if (ddat) {
        write_ddat(*w, rows);
      } else {
        write_readings(*w, rows);
      }
      w->close();
    }
    if (reopen) {
      std::printf("first pass: peak memory %.1f MiB, now %.1f MiB\n", peak_rss_kib() / 1024.0, rss_kib() / 1024.0);
      auto w = Writer::open(out.string());
      if (sort_mib >= 0) w->set_sort_memory(static_cast<std::size_t>(sort_mib) << 20);
      std::vector<Value> row(w->definition(kTable).columns.size());
      if (ddat) {
        row[0] = std::int32_t(1000000);
        row[1] = std::string("2000/01/01");
      } else {
        row[0] = std::string("B0000");
        row[1] = std::int32_t(0);
      }
      w->append_row(kTable, std::move(row));
      w->close();
      ++rows;
    }
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("write %s: %ld rows in %.2f s = %.0f rows/s, file %.1f MiB, peak memory %.1f MiB\n", kTable, rows,
                secs, rows / secs, std::filesystem::file_size(out) / 1048576.0, peak_rss_kib() / 1024.0);

    start = std::chrono::steady_clock::now();
    auto r = Reader::open(out.string());
    auto cur = r->rows(kTable);
    std::vector<Value> row;
    long n = 0;
    while (cur->next(row)) ++n;
    secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("read back: %ld rows in %.2f s = %.0f rows/s\n", n, secs, n / secs);
    if (args.size() <= 1) std::filesystem::remove(out);
    return n == rows ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "write_bench: %s\n", e.what());
    return 1;
  }
}
