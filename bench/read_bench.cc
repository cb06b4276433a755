// Read throughput: every row of the largest sample tables with our Reader,
// against mdb-export writing the same table to /dev/null.
//
//   read_bench [--repeat N] [--testdata DIR] [--no-mdbtools]
//
// Each measurement opens the file and reads the whole table (mdb-export pays
// for process start and open too, so ours includes open). The median of N runs
// is reported as rows per second.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "db/jet/api/reader.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace jet = mirutone::jet;

struct Target {
  std::string file, table, charset;
};

const std::vector<Target> kTargets = {
    {"j3_nwind_full.mdb", "Order Details", "CP1252"},
    {"j3_nwind_full.mdb", "Orders", "CP1252"},
    {"j3_nwind_full.mdb", "Employees", "CP1252"},  // memo and OLE photos
    {"j4_ja_northwind.mdb", "受注明細", ""},
    {"j4_ja_northwind.mdb", "受注", ""},
};

std::string quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Touches every value so nothing is optimised away; returns rows read.
std::size_t read_rows(const jet::Reader& r, const std::string& table, std::size_t& checksum) {
  auto cursor = r.rows(table);
  std::vector<jet::Value> row;
  std::size_t rows = 0;
  while (cursor->next(row)) {
    ++rows;
    for (const auto& v : row) {
      checksum += v.index();
      if (auto s = std::get_if<std::string>(&v)) checksum += s->size();
      if (auto b = std::get_if<jet::Bytes>(&v)) checksum += b->size();
    }
  }
  return rows;
}

std::size_t read_table(const std::string& path, const std::string& table, std::size_t& checksum) {
  return read_rows(*jet::Reader::open(path), table, checksum);
}

// Pads UTF-8 text to `width` columns (CJK characters count as two).
std::string pad(const std::string& s, std::size_t width) {
  std::size_t cols = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if ((c & 0xC0) == 0x80) continue;
    cols += c >= 0xE0 ? 2 : 1;
  }
  return s + std::string(cols < width ? width - cols : 0, ' ');
}

}  // namespace

int main(int argc, char** argv) {
  int repeat = 15;
  std::filesystem::path dir = MIRUTONE_TESTDATA_DIR;
  bool mdbtools = true;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--repeat" && i + 1 < argc) repeat = std::max(1, std::atoi(argv[++i]));
    else if (a == "--testdata" && i + 1 < argc) dir = argv[++i];
    else if (a == "--no-mdbtools") mdbtools = false;
    else {
      std::fprintf(stderr, "usage: read_bench [--repeat N] [--testdata DIR] [--no-mdbtools]\n");
      return 2;
    }
  }
  if (mdbtools && std::system("command -v mdb-export >/dev/null 2>&1") != 0) mdbtools = false;

  std::printf("Median of %d runs. open+read: Reader::open and every row; read: rows of an open Reader;\n"
              "mdb-export: the whole program writing the table to /dev/null.\n\n",
              repeat);
  std::printf("%s %s %7s %14s %14s %14s %9s\n", pad("file", 22).c_str(), pad("table", 14).c_str(), "rows",
              "open+read r/s", "read r/s", "mdb-export r/s", "speed-up");
  std::size_t checksum = 0;
  for (const auto& t : kTargets) {
    auto path = (dir / t.file).string();
    if (!std::filesystem::exists(path)) {
      std::printf("%-22s missing, skipped\n", t.file.c_str());
      continue;
    }
    std::size_t rows = 0;
    std::vector<double> ours, ours_read;
    try {
      read_table(path, t.table, checksum);  // warm the page cache
      for (int i = 0; i < repeat; ++i) {
        auto start = Clock::now();
        rows = read_table(path, t.table, checksum);
        ours.push_back(std::chrono::duration<double>(Clock::now() - start).count());
      }
      auto open = jet::Reader::open(path);
      for (int i = 0; i < repeat; ++i) {
        auto start = Clock::now();
        read_rows(*open, t.table, checksum);
        ours_read.push_back(std::chrono::duration<double>(Clock::now() - start).count());
      }
    } catch (const jet::Error& e) {
      std::printf("%s %s reader failed: %s\n", pad(t.file, 22).c_str(), pad(t.table, 14).c_str(), e.what());
      continue;
    }
    double ours_rate = rows / median(ours);
    double read_rate = rows / median(ours_read);

    double theirs_rate = 0;
    if (mdbtools) {
      std::string cmd = (t.charset.empty() ? "" : "MDB_JET3_CHARSET=" + t.charset + " ") + "mdb-export -b hex " +
                        quote(path) + " " + quote(t.table) + " >/dev/null 2>&1";
      std::vector<double> theirs;
      for (int i = 0; i < repeat; ++i) {
        auto start = Clock::now();
        if (std::system(cmd.c_str()) != 0) break;
        theirs.push_back(std::chrono::duration<double>(Clock::now() - start).count());
      }
      if (!theirs.empty()) theirs_rate = rows / median(theirs);
    }
    std::printf("%s %s %7zu %14.0f %14.0f ", pad(t.file, 22).c_str(), pad(t.table, 14).c_str(), rows, ours_rate,
                read_rate);
    if (theirs_rate > 0) std::printf("%14.0f %8.1fx\n", theirs_rate, ours_rate / theirs_rate);
    else std::printf("%14s %9s\n", "-", "-");
  }
  std::printf("\n(checksum %zu)\n", checksum);
  return 0;
}
