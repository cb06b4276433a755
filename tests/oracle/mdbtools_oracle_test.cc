// Every sample file, every user table, every row: our Reader against mdbtools.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "oracle/known_faults.h"
#include "oracle/mdbtools.h"
#include "oracle/oracle_files.h"
#include "oracle/value_match.h"
#include "support/test_support.h"

namespace mirutone::oracle {
namespace {

constexpr int kMaxReportsPerTable = 15;

class MdbTools : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    MIRUTONE_REQUIRE_SAMPLE(GetParam());
    if (!mdbtools_available()) GTEST_SKIP() << "mdbtools is not installed";
    path_ = sample_path(GetParam());
    facts_ = &facts_for(sample_file_name(GetParam()));
    ASSERT_NO_THROW(reader_ = open_sample(path_)) << path_;
    ASSERT_TRUE(reader_);
    charset_ = reader_->format() == jet::Format::Jet3 ? charset_for(reader_->codepage()) : "";
  }

  std::string file() const { return path_.string(); }

  std::filesystem::path path_;
  const FileFacts* facts_ = nullptr;
  std::unique_ptr<jet::Reader> reader_;
  std::string charset_;
};

std::vector<std::vector<jet::Value>> read_all(const jet::Reader& r, const std::string& table) {
  std::vector<std::vector<jet::Value>> rows;
  auto cursor = r.rows(table);
  std::vector<jet::Value> row;
  while (cursor->next(row)) rows.push_back(row);
  return rows;
}

TEST_P(MdbTools, CodePageFollowsHeader) {
  if (reader_->format() != jet::Format::Jet3) return;
  if (facts_->codepage_override != 0) {
    EXPECT_EQ(reader_->codepage(), facts_->codepage_override);
  } else if (reader_->header_codepage() != 0) {
    EXPECT_EQ(reader_->codepage(), reader_->header_codepage());
  } else {
    EXPECT_NE(reader_->codepage(), 0) << "code page 0 must be resolved from the sort order";
  }
}

TEST_P(MdbTools, SameUserTables) {
  auto ours = reader_->table_names(false);
  auto theirs = mdb_tables(file(), charset_);
  std::sort(ours.begin(), ours.end());
  std::sort(theirs.begin(), theirs.end());
  EXPECT_EQ(ours, theirs);
}

// Catalog order is the order of the MSysObjects rows as our own cursor returns
// them. mdbtools (and mdb-reader) can differ: they return a row that was moved
// to another page (0x4000 pointer slot) where it now lies, we return it at its
// pointer's slot, so j3_nwind_full, j3_jackcess_indexcodes and j4_ja_northwind
// list some tables in another order there.
TEST_P(MdbTools, UserTablesInCatalogOrder) {
  const auto& cols = reader_->table("MSysObjects").columns;
  auto col = [&](const char* name) {
    for (size_t i = 0; i < cols.size(); ++i)
      if (cols[i].name == name) return i;
    ADD_FAILURE() << "MSysObjects has no column " << name;
    return size_t{0};
  };
  const size_t name_col = col("Name"), type_col = col("Type");
  std::set<std::string> listed;
  for (const auto& n : reader_->table_names(true)) listed.insert(n);
  std::vector<std::string> in_rows;
  for (const auto& row : read_all(*reader_, "MSysObjects")) {
    auto name = std::get_if<std::string>(&row[name_col]);
    auto type = std::get_if<std::int32_t>(&row[type_col]);
    if (name && type && (*type & 0x7F) == 1 && listed.count(*name)) in_rows.push_back(*name);
  }
  EXPECT_EQ(reader_->table_names(true), in_rows);
}

TEST_P(MdbTools, SystemTablesListed) {
  std::string out;
  auto ours = reader_->table_names(true);
  std::set<std::string> ours_set(ours.begin(), ours.end());
  std::string cmd = (charset_.empty() ? "" : "MDB_JET3_CHARSET=" + charset_ + " ") +
                    "mdb-tables -S -1 " + shell_quote(file());
  ASSERT_EQ(test::run_command(cmd, &out), 0);
  std::set<std::string> theirs;
  std::string line;
  for (char c : out + "\n") {
    if (c == '\n') {
      if (!line.empty()) theirs.insert(line);
      line.clear();
    } else {
      line += c;
    }
  }
  EXPECT_EQ(ours_set, theirs);
  // Hidden tables such as Access 2007's f_<GUID>_Data carry the system flag too.
  for (const auto& name : ours) {
    if (name.rfind("MSys", 0) == 0) EXPECT_TRUE(reader_->table(name).system) << name;
  }
}

TEST_P(MdbTools, ColumnsMatchSchema) {
  static const std::map<std::string, jet::ColumnType> types = {
      {"Boolean", jet::ColumnType::Boolean},   {"Byte", jet::ColumnType::Byte},
      {"Integer", jet::ColumnType::Integer},   {"Long Integer", jet::ColumnType::Long},
      {"Currency", jet::ColumnType::Currency}, {"Single", jet::ColumnType::Single},
      {"Double", jet::ColumnType::Double},     {"DateTime", jet::ColumnType::DateTime},
      {"Binary", jet::ColumnType::Binary},     {"Text", jet::ColumnType::Text},
      {"OLE", jet::ColumnType::OLE},           {"Memo/Hyperlink", jet::ColumnType::Memo},
      {"Replication ID", jet::ColumnType::GUID}, {"Numeric", jet::ColumnType::Decimal},
  };
  for (const auto& name : reader_->table_names(false)) {
    SCOPED_TRACE("table " + name);
    const auto& ours = reader_->table(name).columns;
    auto theirs = mdb_schema(file(), name, charset_);
    ASSERT_EQ(ours.size(), theirs.size());
    for (size_t i = 0; i < ours.size(); ++i) {
      SCOPED_TRACE("column " + theirs[i].name);
      EXPECT_EQ(ours[i].name, theirs[i].name);
      auto t = types.find(theirs[i].type);
      ASSERT_NE(t, types.end()) << "mdb-schema type " << theirs[i].type;
      EXPECT_EQ(jet::type_name(ours[i].type), jet::type_name(t->second));
      if (ours[i].type == jet::ColumnType::Text) {
        ASSERT_EQ(theirs[i].args.size(), 1u);
        int chars = theirs[i].args[0];
        EXPECT_EQ(ours[i].size, reader_->format() == jet::Format::Jet4 ? 2 * chars : chars);
      }
      if (ours[i].type == jet::ColumnType::Decimal) {
        ASSERT_EQ(theirs[i].args.size(), 2u);
        EXPECT_EQ(ours[i].precision, theirs[i].args[0]);
        EXPECT_EQ(ours[i].scale, theirs[i].args[1]);
      }
      // mdbtools prints NOT NULL for the Required property, and for every Boolean.
      if (ours[i].type != jet::ColumnType::Boolean) {
        EXPECT_EQ(ours[i].nullable, !theirs[i].not_null);
      }
    }
    // Column numbers grow along the column order (gaps allowed after deletes).
    for (size_t i = 1; i < ours.size(); ++i) EXPECT_LT(ours[i - 1].column_number, ours[i].column_number);
  }
}

std::string lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// "unique name(col, col DESC)" in mdb-schema's lower-case terms.
std::string index_key(const std::string& name, bool unique, const std::vector<std::string>& cols) {
  std::string k = (unique ? "unique " : "") + name + "(";
  for (size_t i = 0; i < cols.size(); ++i) k += (i ? ", " : "") + cols[i];
  return k + ")";
}

TEST_P(MdbTools, IndexesMatchSchema) {
  for (const auto& name : reader_->table_names(false)) {
    SCOPED_TRACE("table " + name);
    std::multiset<std::string> ours, theirs;
    for (const auto& ix : reader_->table(name).indexes) {
      if (ix.foreign_key) continue;
      ASSERT_EQ(ix.columns.size(), ix.ascending.size()) << ix.name;
      std::vector<std::string> cols;
      for (size_t i = 0; i < ix.columns.size(); ++i)
        cols.push_back(lower(ix.columns[i]) + (ix.primary || ix.ascending[i] ? "" : " DESC"));
      // mdbtools prints a primary key without its name, direction or uniqueness.
      ours.insert(ix.primary ? "primary " + index_key("", false, cols) : index_key(lower(ix.name), ix.unique, cols));
    }
    for (const auto& ix : mdb_schema_indexes(file(), name, charset_)) {
      theirs.insert(ix.primary ? "primary " + index_key("", false, ix.columns)
                               : index_key(ix.name, ix.unique, ix.columns));
    }
    EXPECT_EQ(ours, theirs);
  }
}

TEST_P(MdbTools, StoredRowCountsMatchMdbCount) {
  for (const auto& name : reader_->table_names(false)) {
    EXPECT_EQ(static_cast<long>(reader_->table(name).stored_row_count), mdb_count(file(), name, charset_))
        << name;
  }
}

TEST_P(MdbTools, EveryRowMatchesMdbExport) {
  for (const auto& name : reader_->table_names(false)) {
    SCOPED_TRACE("table " + name);
    const auto& info = reader_->table(name);
    std::vector<std::vector<jet::Value>> ours;
    ASSERT_NO_THROW(ours = read_all(*reader_, name));
    ExportedTable theirs;
    ASSERT_NO_THROW(theirs = mdb_export(file(), name, charset_));

    ASSERT_EQ(theirs.columns.size(), info.columns.size());
    for (size_t c = 0; c < info.columns.size(); ++c) EXPECT_EQ(info.columns[c].name, theirs.columns[c]);
    EXPECT_EQ(ours.size(), theirs.rows.size()) << "rows read";

    int reports = 0;
    for (size_t r = 0; r < std::min(ours.size(), theirs.rows.size()); ++r) {
      ASSERT_EQ(ours[r].size(), info.columns.size()) << "row " << r;
      for (size_t c = 0; c < info.columns.size(); ++c) {
        const auto& col = info.columns[c];
        std::string diff;
        if (auto days = true_date(*facts_, name, r, col.name)) {
          auto d = std::get_if<jet::DateTime>(&ours[r][c]);
          if (!d || d->days != *days)
            diff = "ours " + describe(ours[r][c]) + ", true days " + std::to_string(*days);
        } else {
          diff = compare_with_mdb_export(col, ours[r][c], theirs.rows[r][c]);
        }
        if (!diff.empty() && reports++ < kMaxReportsPerTable)
          ADD_FAILURE() << GetParam() << " / " << name << " / row " << r << " / " << col.name << ": "
                        << diff;
      }
    }
    EXPECT_EQ(reports, 0) << "cells that differ in " << name;
  }
}

TEST_P(MdbTools, TrueValuesFromManifest) {
  for (const auto& [table, count] : facts_->true_row_counts) {
    EXPECT_EQ(read_all(*reader_, table).size(), count) << table;
  }
  for (const auto& [table, text] : facts_->expected_text) {
    bool found = false;
    for (const auto& row : read_all(*reader_, table))
      for (const auto& v : row)
        if (auto s = std::get_if<std::string>(&v); s && s->find(text) != std::string::npos) found = true;
    EXPECT_TRUE(found) << "\"" << text << "\" not found in " << table;
  }
  for (const auto& d : facts_->true_dates) {
    auto rows = read_all(*reader_, d.table);
    const auto& cols = reader_->table(d.table).columns;
    auto it = std::find_if(cols.begin(), cols.end(), [&](const auto& c) { return c.name == d.column; });
    ASSERT_NE(it, cols.end()) << d.column;
    ASSERT_LT(d.row, rows.size());
    auto v = std::get_if<jet::DateTime>(&rows[d.row][it - cols.begin()]);
    ASSERT_TRUE(v) << d.table << " row " << d.row << " " << d.column;
    EXPECT_EQ(v->days, d.days) << d.table << " row " << d.row << " " << d.column;
  }
}

TEST_P(MdbTools, QueryNamesMatchMdbQueries) {
  std::vector<std::string> ours;
  for (const auto& q : reader_->queries()) ours.push_back(q.name);
  auto theirs = mdb_queries(file(), charset_);
  std::sort(ours.begin(), ours.end());
  std::sort(theirs.begin(), theirs.end());
  EXPECT_EQ(ours, theirs);
}

INSTANTIATE_TEST_SUITE_P(Samples, MdbTools, ::testing::ValuesIn(oracle_file_names()), test_name_of);

}  // namespace
}  // namespace mirutone::oracle
