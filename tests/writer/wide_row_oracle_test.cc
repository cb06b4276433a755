// Rows longer than 256 bytes, whose variable offsets need the Jet 3 jump
// table, written into a real file and read by mdbtools and mdb-reader: every
// value must come back with both, for data ending just before, on and just
// after each 256-byte boundary.
#include <gtest/gtest.h>

#include <sstream>

#include "db/jet/api/writer.h"
#include "support/test_support.h"
#include "writer/oracle_util.h"

namespace mirutone::jet {
namespace {

using Texts = std::vector<std::string>;

// Text of `total` bytes spread over `columns` columns: packed from the last
// column backwards, from the first forwards, or evenly. Empty ones are Null.
Texts spread(int total, int how, int columns) {
  Texts cols(static_cast<std::size_t>(columns));
  int left = total;
  for (int k = 0; k < columns && left > 0; ++k) {
    const int i = how == 0 ? columns - 1 - k : k;
    const int n = how == 2 ? total / columns + (k < total % columns ? 1 : 0) : std::min(left, 255);
    for (int j = 0; j < n; ++j)
      cols[static_cast<std::size_t>(i)].push_back(static_cast<char>('A' + (i + j) % 26));
    left -= n;
  }
  return cols;
}

// Writes table "Wide" (a Long, then `columns` Text(255) columns) with one row
// per entry of `rows` and compares what both readers return.
void write_and_compare(int columns, const std::vector<Texts>& rows) {
  test::TempDir dir;
  const std::string file = (dir / "wide.mdb").string();
  {
    auto w = Writer::create(file, Locale::general());
    TableDesign wide{"Wide", {{"Id", ColumnType::Long}}, {}};
    for (int i = 0; i < columns; ++i)
      wide.columns.push_back({"t" + std::to_string(i), ColumnType::Text, 255});
    w->create_table(wide);
    for (std::size_t r = 0; r < rows.size(); ++r) {
      std::vector<Value> values{static_cast<std::int32_t>(r)};
      for (const std::string& s : rows[r]) values.push_back(s.empty() ? Value{} : Value{s});
      w->append_row("Wide", values);
    }
    w->close();
  }

  std::ostringstream csv_want, lines_want;
  for (std::size_t r = 0; r < rows.size(); ++r) {
    csv_want << r;
    lines_want << "R\ti" << r;
    for (const std::string& s : rows[r]) {
      csv_want << ',' << (s.empty() ? "" : "\"" + s + "\"");
      lines_want << '\t' << (s.empty() ? "N" : "s" + s);
    }
    csv_want << '\n';
    lines_want << '\n';
  }
  EXPECT_EQ(test::mdbtool("mdb-export", file, "-H", "Wide"), csv_want.str());

  std::istringstream in(test::mdb_reader_lines(file, ""));
  std::string line, got;
  while (std::getline(in, line))
    if (line.rfind("R\t", 0) == 0 || line.rfind("E\t", 0) == 0) got += line + "\n";
  EXPECT_EQ(got, lines_want.str());
}

TEST(WideRowOracle, JumpTablesReadBackWithMdbtoolsAndMdbReader) {
  // 40 text columns: eod = 1 + 4 (the Long) + text bytes; the trailer adds 48.
  std::vector<Texts> rows;
  for (int boundary : {256, 512, 768, 1024, 1536}) {
    for (int eod = boundary - 60; eod <= boundary + 3; ++eod) {
      if (eod > boundary - 50 && eod < boundary - 4) continue;
      for (int how = 0; how < 3; ++how) rows.push_back(spread(eod - 5, how, 40));
    }
  }
  rows.push_back(spread(1900, 1, 40));
  write_and_compare(40, rows);
}

TEST(WideRowOracle, LongTrailersWithTwoPadBytesReadBack) {
  // 250 text columns: a 284-byte trailer, so data ending between 229 and 255
  // needs two pad bytes, and just past 256 one real jump and one pad.
  std::vector<Texts> rows;
  for (int eod : {200, 228, 229, 240, 255, 256, 257, 300, 480, 500, 511, 512, 513}) {
    rows.push_back(spread(eod - 5, 0, 250));
    rows.push_back(spread(eod - 5, 2, 250));
  }
  write_and_compare(250, rows);
}

}  // namespace
}  // namespace mirutone::jet
