#include "oracle/mdbtools.h"

#include <regex>
#include <sstream>
#include <stdexcept>

#include "support/test_support.h"

namespace mirutone::oracle {
namespace {

// Separators no sample text contains, so a split on them is exact. Single
// control characters are not enough: some samples hold every character from
// U+0001 upwards in one value.
const std::string kField = "\x1f<F>\x1f";
const std::string kRecord = "\x1e<R>\x1e";
const std::string kNull = "\x1d<NULL>\x1d";

std::string env_prefix(const std::string& charset) {
  return charset.empty() ? std::string() : "MDB_JET3_CHARSET=" + shell_quote(charset) + " ";
}

std::string run(const std::string& cmd) {
  std::string out;
  int rc = test::run_command(cmd + " 2>/dev/null", &out);
  if (rc != 0) throw std::runtime_error("`" + cmd + "` exited with " + std::to_string(rc));
  return out;
}

std::vector<std::string> split(const std::string& s, const std::string& sep) {
  std::vector<std::string> parts;
  std::string::size_type start = 0;
  for (;;) {
    auto pos = s.find(sep, start);
    if (pos == std::string::npos) {
      parts.push_back(s.substr(start));
      return parts;
    }
    parts.push_back(s.substr(start, pos - start));
    start = pos + sep.size();
  }
}

std::vector<std::string> lines(const std::string& s) {
  std::vector<std::string> out;
  for (auto& l : split(s, "\n")) {
    if (!l.empty() && l.back() == '\r') l.pop_back();
    if (!l.empty()) out.push_back(l);
  }
  return out;
}

}  // namespace

std::string shell_quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'') q += "'\\''";
    else q += c;
  }
  return q + "'";
}

bool mdbtools_available() {
  static const bool found = test::run_command("command -v mdb-export >/dev/null 2>&1", nullptr) == 0;
  return found;
}

ExportedTable mdb_export(const std::string& file, const std::string& table,
                         const std::string& charset) {
  const std::string fmt = shell_quote("%Y-%m-%d %H:%M:%S");
  std::string cmd = env_prefix(charset) + "mdb-export -D " + fmt + " -T " + fmt +
                    " -b hex -Q -0 " + shell_quote(kNull) + " -d " + shell_quote(kField) +
                    " -R " + shell_quote(kRecord) + " " + shell_quote(file) + " " +
                    shell_quote(table);
  std::string out = run(cmd);
  auto records = split(out, kRecord);
  if (records.empty() || !records.back().empty())
    throw std::runtime_error("mdb-export output of " + table + " does not end with a record");
  records.pop_back();
  if (records.empty()) throw std::runtime_error("mdb-export printed no header for " + table);

  ExportedTable t;
  t.columns = split(records[0], kField);
  for (size_t i = 1; i < records.size(); ++i) {
    auto cells = split(records[i], kField);
    if (cells.size() != t.columns.size()) {
      throw std::runtime_error("mdb-export record " + std::to_string(i) + " of " + table +
                               " has " + std::to_string(cells.size()) + " cells, expected " +
                               std::to_string(t.columns.size()));
    }
    std::vector<std::optional<std::string>> row;
    row.reserve(cells.size());
    for (auto& c : cells) {
      if (c == kNull) row.emplace_back(std::nullopt);
      else row.emplace_back(std::move(c));
    }
    t.rows.push_back(std::move(row));
  }
  return t;
}

std::vector<std::string> mdb_tables(const std::string& file, const std::string& charset) {
  return lines(run(env_prefix(charset) + "mdb-tables -1 " + shell_quote(file)));
}

std::vector<std::string> mdb_queries(const std::string& file, const std::string& charset) {
  return lines(run(env_prefix(charset) + "mdb-queries -L -1 " + shell_quote(file)));
}

long mdb_count(const std::string& file, const std::string& table, const std::string& charset) {
  auto out = lines(run(env_prefix(charset) + "mdb-count " + shell_quote(file) + " " +
                       shell_quote(table)));
  if (out.size() != 1) throw std::runtime_error("mdb-count printed " + std::to_string(out.size()) + " lines");
  return std::stol(out[0]);
}

std::vector<SchemaColumn> mdb_schema(const std::string& file, const std::string& table,
                                     const std::string& charset) {
  std::string out = run(env_prefix(charset) + "mdb-schema --no-indexes --no-relations -T " +
                        shell_quote(table) + " " + shell_quote(file) + " access");
  // Column lines look like: <TAB>[name]<TABs>Type (50) NOT NULL,
  static const std::regex column_line(
      R"(^\t\[(.*)\]\t+([A-Za-z /]+?)(?: \(([0-9, ]+)\))?( NOT NULL)?,? ?$)");
  std::vector<SchemaColumn> cols;
  bool inside = false;
  for (const auto& l : lines(out)) {
    if (l.rfind("CREATE TABLE [", 0) == 0) {
      inside = l == "CREATE TABLE [" + table + "]";
      continue;
    }
    if (!inside) continue;
    if (l == ");") break;
    std::smatch m;
    if (!std::regex_match(l, m, column_line)) continue;
    SchemaColumn c;
    c.name = m[1];
    c.type = m[2];
    if (m[3].matched) {
      std::stringstream args(m[3].str());
      std::string part;
      while (std::getline(args, part, ',')) c.args.push_back(std::stoi(part));
    }
    c.not_null = m[4].matched;
    cols.push_back(std::move(c));
  }
  return cols;
}

std::vector<SchemaIndex> mdb_schema_indexes(const std::string& file, const std::string& table,
                                            const std::string& charset) {
  std::string out = run(env_prefix(charset) + "mdb-schema --indexes --no-relations --no-comments -T " +
                        shell_quote(table) + " " + shell_quote(file) + " postgres");
  static const std::regex create(R"re(^CREATE (UNIQUE )?INDEX "(.*)" ON "(.*)" \((.*)\);$)re");
  static const std::regex primary(R"re(^ALTER TABLE "(.*)" ADD CONSTRAINT ".*" PRIMARY KEY \((.*)\);$)re");
  static const std::regex column(R"x("((?:[^"]|"")*)"( DESC)?)x");
  auto columns_of = [](const std::string& list) {
    std::vector<std::string> cols;
    for (std::sregex_iterator it(list.begin(), list.end(), column), end; it != end; ++it)
      cols.push_back((*it)[1].str() + ((*it)[2].matched ? " DESC" : ""));
    return cols;
  };
  std::vector<SchemaIndex> indexes;
  for (const auto& l : lines(out)) {
    std::smatch m;
    if (std::regex_match(l, m, create)) {
      SchemaIndex ix;
      ix.unique = m[1].matched;
      std::string name = m[2], prefix = m[3].str() + "_";
      if (name.rfind(prefix, 0) == 0) name.erase(0, prefix.size());
      if (name.size() > 4 && name.compare(name.size() - 4, 4, "_idx") == 0) name.resize(name.size() - 4);
      ix.name = name;
      ix.columns = columns_of(m[4]);
      indexes.push_back(std::move(ix));
    } else if (std::regex_match(l, m, primary)) {
      SchemaIndex ix;
      ix.primary = ix.unique = true;
      ix.columns = columns_of(m[2]);
      indexes.push_back(std::move(ix));
    }
  }
  return indexes;
}

}  // namespace mirutone::oracle
