#include "oracle/mdb_reader.h"

#include <filesystem>
#include <stdexcept>

#include "oracle/mdbtools.h"
#include "support/test_support.h"

namespace mirutone::oracle {
namespace {

std::filesystem::path oracle_dir() { return std::filesystem::path(MIRUTONE_SOURCE_DIR) / "tests" / "oracle"; }

std::string unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 == s.size()) {
      out += s[i];
      continue;
    }
    char n = s[++i];
    out += n == 't' ? '\t' : n == 'r' ? '\r' : n == 'n' ? '\n' : n;
  }
  return out;
}

std::vector<std::string> split_tabs(const std::string& line) {
  std::vector<std::string> parts;
  std::string cur;
  for (char c : line) {
    if (c == '\t') {
      parts.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  parts.push_back(cur);
  return parts;
}

}  // namespace

std::string mdb_reader_unavailable_reason() {
  if (test::run_command("command -v node >/dev/null 2>&1", nullptr) != 0) return "node is not installed";
  if (!std::filesystem::exists(oracle_dir() / "node_modules" / "mdb-reader" / "package.json"))
    return "mdb-reader is not installed (run scripts/setup.sh, or npm ci in tests/oracle)";
  return {};
}

std::vector<MdbReaderTable> mdb_reader_dump(const std::string& file) {
  std::string out;
  std::string cmd = "node " + shell_quote((oracle_dir() / "read_with_mdb_reader.mjs").string()) +
                    " --lines " + shell_quote(file) + " 2>/dev/null";
  int rc = test::run_command(cmd, &out);
  if (rc != 0) throw std::runtime_error("mdb-reader could not read " + file);

  std::vector<MdbReaderTable> tables;
  size_t start = 0;
  while (start < out.size()) {
    size_t end = out.find('\n', start);
    if (end == std::string::npos) end = out.size();
    auto f = split_tabs(out.substr(start, end - start));
    start = end + 1;
    const std::string& kind = f[0];
    if (kind == "T" && f.size() == 4) {
      MdbReaderTable t;
      t.name = unescape(f[1]);
      t.row_count = std::stol(f[2]);
      tables.push_back(std::move(t));
    } else if (tables.empty()) {
      throw std::runtime_error("mdb-reader output starts without a table line");
    } else if (kind == "C" && f.size() == 9) {
      MdbReaderColumn c;
      c.name = unescape(f[1]);
      c.type = f[2];
      c.size = std::stoi(f[3]);
      c.fixed = f[4] == "1";
      c.nullable = f[5] == "1";
      c.auto_long = f[6] == "1";
      c.precision = std::stoi(f[7]);
      c.scale = std::stoi(f[8]);
      tables.back().columns.push_back(std::move(c));
    } else if (kind == "R") {
      std::vector<MdbReaderCell> row;
      for (size_t i = 1; i < f.size(); ++i) {
        if (f[i].empty()) throw std::runtime_error("empty cell in mdb-reader output");
        row.push_back({f[i][0], unescape(f[i].substr(1))});
      }
      tables.back().rows.push_back(std::move(row));
    } else if (kind == "E" && f.size() == 2) {
      tables.back().error = unescape(f[1]);
    } else {
      throw std::runtime_error("unexpected mdb-reader line kind " + kind);
    }
  }
  return tables;
}

}  // namespace mirutone::oracle
