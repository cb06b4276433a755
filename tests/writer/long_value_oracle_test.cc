// Memo and OLE values of every storage form (empty, inline, one LVAL row,
// chains of one to several links) written into a real file and read back by
// mdbtools and mdb-reader.
#include <gtest/gtest.h>

#include <sstream>

#include "db/jet/api/writer.h"
#include "support/test_support.h"
#include "writer/oracle_util.h"

namespace mirutone::jet {
namespace {

std::string upper_hex(const Bytes& b) {
  std::string s = to_hex(b);
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

TEST(LongValueOracle, EveryStorageFormReadsBackWithMdbtoolsAndMdbReader) {
  const std::vector<std::size_t> sizes = {0, 1, 32, 33, 700, 2032, 2033, 4064, 4065, 9000};
  test::TempDir dir;
  const std::string file = (dir / "lv.mdb").string();
  auto memo = [](std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s.push_back(static_cast<char>('a' + (i * 7 + i / 26) % 26));
    return s;
  };
  auto ole = [](std::size_t n) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 13 + 5);
    return b;
  };
  {
    auto w = Writer::create(file, Locale::general());
    w->create_table({"Docs",
                     {{"Id", ColumnType::Long},
                      {"Body", ColumnType::Memo, 0, false, true},
                      {"Blob", ColumnType::OLE}},
                     {}});
    for (std::size_t i = 0; i < sizes.size(); ++i)
      w->append_row("Docs", {static_cast<std::int32_t>(i), memo(sizes[i]), ole(sizes[i])});
    w->close();
  }
  std::ostringstream csv_want, lines_want;
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    // mdb-export prints zero-length values like Nulls; mdb-reader tells them apart.
    if (sizes[i] > 0)
      csv_want << i << ",\"" << memo(sizes[i]) << "\",\"" << upper_hex(ole(sizes[i])) << "\"\n";
    lines_want << "R\ti" << i << "\ts" << memo(sizes[i]) << "\tx" << to_hex(ole(sizes[i])) << "\n";
  }
  std::string csv = test::mdbtool("mdb-export", file, "-H -b hex", "Docs");
  ASSERT_EQ(csv.substr(0, 2), "0,");
  EXPECT_EQ(csv.substr(csv.find('\n') + 1), csv_want.str());

  const std::string lines = test::mdb_reader_lines(file, "");
  std::istringstream in(lines);
  std::string line, got;
  while (std::getline(in, line))
    if (line.rfind("R\t", 0) == 0 || line.rfind("E\t", 0) == 0) got += line + "\n";
  EXPECT_EQ(got, lines_want.str());
}

}  // namespace
}  // namespace mirutone::jet
