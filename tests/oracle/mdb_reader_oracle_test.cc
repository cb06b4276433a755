// Our Reader against the npm package mdb-reader on every sample file: structure,
// numbers, dates and (where mdb-reader can decode it) text. mdb-reader always
// decodes Jet 3 text as cp1252, so Jet 3 text is compared only on cp1252 files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>

#include "db/jet/text/codepage.h"
#include "oracle/mdb_reader.h"
#include "oracle/oracle_files.h"
#include "oracle/value_match.h"
#include "support/test_support.h"

namespace mirutone::oracle {
namespace {

constexpr int kMaxReportsPerTable = 15;

class MdbReader : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    MIRUTONE_REQUIRE_SAMPLE(GetParam());
    if (auto why = mdb_reader_unavailable_reason(); !why.empty()) GTEST_SKIP() << why;
    path_ = sample_path(GetParam());
    ASSERT_NO_THROW(reader_ = open_sample(path_)) << path_;
    ASSERT_NO_THROW(theirs_ = mdb_reader_dump(path_.string()));
  }

  void check_tables_and_columns();
  void check_rows();
  // A name as mdb-reader shows it: it decodes Jet 3 names as cp1252 too, so a
  // name in another code page is compared as its bytes read in cp1252.
  std::string seen_by_mdb_reader(const std::string& name) const {
    if (reader_->format() != jet::Format::Jet3 || reader_->codepage() == 1252) return name;
    return jet::CodePage(1252).decode(jet::CodePage(reader_->codepage()).encode(name));
  }

  std::filesystem::path path_;
  std::unique_ptr<jet::Reader> reader_;
  std::vector<MdbReaderTable> theirs_;
  std::map<std::string, std::string> ours_by_seen_;  // table name as mdb-reader shows it -> ours
};

std::string mdb_reader_type(jet::ColumnType t) {
  static const std::map<jet::ColumnType, std::string> names = {
      {jet::ColumnType::Boolean, "boolean"}, {jet::ColumnType::Byte, "byte"},
      {jet::ColumnType::Integer, "integer"}, {jet::ColumnType::Long, "long"},
      {jet::ColumnType::Currency, "currency"}, {jet::ColumnType::Single, "float"},
      {jet::ColumnType::Double, "double"},   {jet::ColumnType::DateTime, "datetime"},
      {jet::ColumnType::Binary, "binary"},   {jet::ColumnType::Text, "text"},
      {jet::ColumnType::OLE, "ole"},         {jet::ColumnType::Memo, "memo"},
      {jet::ColumnType::GUID, "repid"},      {jet::ColumnType::Decimal, "numeric"},
  };
  auto it = names.find(t);
  return it == names.end() ? "?" : it->second;
}

// Empty when they agree; text is compared only when compare_text.
std::string compare_cell(const jet::ColumnInfo& col, const jet::Value& ours, const MdbReaderCell& theirs,
                         bool compare_text) {
  auto differ = [&] { return "ours " + describe(ours) + ", mdb-reader " + theirs.tag + "\"" + theirs.text + "\""; };
  if (theirs.tag == 'N' || jet::is_null(ours)) return jet::is_null(ours) && theirs.tag == 'N' ? "" : differ();
  if (auto b = std::get_if<bool>(&ours)) return theirs.tag == 'b' && theirs.text == (*b ? "1" : "0") ? "" : differ();
  if (auto i = std::get_if<std::int32_t>(&ours))
    return theirs.tag == 'i' && theirs.text == std::to_string(*i) ? "" : differ();
  if (auto c = std::get_if<jet::Currency>(&ours)) {
    auto p = parse_currency(theirs.text);
    return theirs.tag == 'c' && p && *p == c->scaled ? "" : differ();
  }
  if (auto f = std::get_if<float>(&ours))
    return theirs.tag == 'f' && static_cast<float>(std::strtod(theirs.text.c_str(), nullptr)) == *f ? "" : differ();
  if (auto d = std::get_if<double>(&ours))
    return theirs.tag == 'f' && std::strtod(theirs.text.c_str(), nullptr) == *d ? "" : differ();
  if (auto d = std::get_if<jet::DateTime>(&ours)) {
    // mdb-reader works in milliseconds and gets days before 1899-12-30 with a
    // time of day wrong, so compare those only when they are whole days.
    if (d->days < 0 && d->days != std::floor(d->days)) return "";
    double t = std::strtod(theirs.text.c_str(), nullptr);
    return theirs.tag == 'd' && std::fabs(t - d->days) < 1e-7 ? "" : differ();
  }
  if (auto s = std::get_if<std::string>(&ours)) return theirs.tag != 's' || (compare_text && !same_text(*s, theirs.text)) ? differ() : "";
  if (auto b = std::get_if<jet::Bytes>(&ours)) return theirs.tag == 'x' && jet::to_hex(*b) == theirs.text ? "" : differ();
  if (auto g = std::get_if<jet::Guid>(&ours))
    return theirs.tag == 'g' && guid_digits(jet::format_guid(*g)) == guid_digits(theirs.text) ? "" : differ();
  if (auto d = std::get_if<jet::Decimal>(&ours))
    return theirs.tag == 'n' && normalise_decimal(jet::format_decimal(*d)) == normalise_decimal(theirs.text) ? ""
                                                                                                              : differ();
  return "column " + col.name + ": unhandled value " + describe(ours);
}

// One test per file: starting node and mdb-reader costs most of a second.
TEST_P(MdbReader, SameTablesColumnsAndRows) {
  check_tables_and_columns();
  if (HasFatalFailure()) return;
  check_rows();
}

void MdbReader::check_tables_and_columns() {
  // Order is checked against mdbtools; here only the set.
  std::vector<std::string> names;
  for (const auto& t : theirs_) names.push_back(t.name);
  std::vector<std::string> ours_names;
  for (const auto& n : reader_->table_names(false)) ours_names.push_back(seen_by_mdb_reader(n));
  std::sort(names.begin(), names.end());
  std::sort(ours_names.begin(), ours_names.end());
  ASSERT_EQ(ours_names, names);
  for (const auto& n : reader_->table_names(false)) ours_by_seen_[seen_by_mdb_reader(n)] = n;
  for (const auto& t : theirs_) {
    SCOPED_TRACE("table " + t.name);
    const auto& info = reader_->table(ours_by_seen_.at(t.name));
    EXPECT_EQ(static_cast<long>(info.stored_row_count), t.row_count);
    ASSERT_EQ(info.columns.size(), t.columns.size());
    for (size_t c = 0; c < t.columns.size(); ++c) {
      const auto& ours = info.columns[c];
      const auto& them = t.columns[c];
      SCOPED_TRACE("column " + them.name);
      EXPECT_EQ(seen_by_mdb_reader(ours.name), them.name);
      EXPECT_EQ(mdb_reader_type(ours.type), them.type);
      // mdb-reader reports 0 for Boolean and the long-value types, the stored length otherwise.
      if (ours.type != jet::ColumnType::Memo && ours.type != jet::ColumnType::OLE &&
          ours.type != jet::ColumnType::Boolean) {
        EXPECT_EQ(ours.size, them.size);
      }
      EXPECT_EQ(ours.fixed, them.fixed);
      if (ours.type == jet::ColumnType::Long) {
        EXPECT_EQ(ours.autonumber, them.auto_long);
      }
      if (ours.type == jet::ColumnType::Decimal) {
        EXPECT_EQ(ours.precision, them.precision);
        EXPECT_EQ(ours.scale, them.scale);
      }
    }
  }
}

void MdbReader::check_rows() {
  const bool compare_text = reader_->format() == jet::Format::Jet4 || reader_->codepage() == 1252;
  for (const auto& t : theirs_) {
    SCOPED_TRACE("table " + t.name);
    EXPECT_FALSE(t.error) << "mdb-reader failed on " << t.name << ": " << t.error.value_or("");
    const std::string ours = ours_by_seen_.at(t.name);
    const auto& info = reader_->table(ours);
    auto cursor = reader_->rows(ours);
    std::vector<jet::Value> row;
    size_t r = 0;
    int reports = 0;
    for (; cursor->next(row); ++r) {
      if (r >= t.rows.size()) continue;
      ASSERT_EQ(row.size(), t.rows[r].size());
      for (size_t c = 0; c < row.size(); ++c) {
        auto diff = compare_cell(info.columns[c], row[c], t.rows[r][c], compare_text);
        if (!diff.empty() && reports++ < kMaxReportsPerTable)
          ADD_FAILURE() << GetParam() << " / " << t.name << " / row " << r << " / " << info.columns[c].name
                        << ": " << diff;
      }
    }
    EXPECT_EQ(r, t.rows.size()) << "rows read";
    EXPECT_EQ(reports, 0) << "cells that differ in " << t.name;
  }
}

INSTANTIATE_TEST_SUITE_P(Samples, MdbReader, ::testing::ValuesIn(oracle_file_names()), test_name_of);

}  // namespace
}  // namespace mirutone::oracle
