// Files Access made that the first sample folder has no example of: tables
// that lost columns, and a workgroup file. Read from ../shared/testdata-more.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "db/jet/api/error.h"
#include "db/jet/format/format.h"
#include "db/jet/api/reader.h"
#include "support/test_support.h"

namespace mirutone::jet {
namespace {

namespace fs = std::filesystem;

#define REQUIRE_MORE(file)                                                           \
  do {                                                                               \
    if (test::testdata_more_dir().empty() || !fs::exists(more(file)))                \
      GTEST_SKIP() << "../shared/testdata-more/" << (file) << " is not present";     \
  } while (0)

fs::path more(const std::string& name) { return test::testdata_more_dir() / name; }

std::vector<std::vector<Value>> read_all(const Reader& r, const std::string& table) {
  std::vector<std::vector<Value>> rows;
  auto cur = r.rows(table);
  std::vector<Value> row;
  while (cur->next(row)) rows.push_back(row);
  return rows;
}

std::string text(const Value& v) {
  const auto* s = std::get_if<std::string>(&v);
  return s ? *s : "<not text>";
}

// The TDEF of tbldata (page 30) counts 23 variable columns and 25 columns
// ever; 4 remain, numbered 21..24 with variable slots 20..22. Every row still
// carries 25 null-mask bits and 23 variable offsets.
constexpr const char* kDarren = "j3_psc_darren_27629_database.mdb";
constexpr int kPage = 2048;
constexpr std::uint32_t kDarrenTdef = 30;
constexpr std::uint32_t kDarrenData = 35;

TEST(DeletedColumns, RowsReadThroughTheSlotsOfDeletedColumns) {
  REQUIRE_MORE(kDarren);
  auto r = Reader::open(more(kDarren).string());
  const TableInfo& t = r->table("tbldata");
  ASSERT_EQ(t.columns.size(), 4u);
  EXPECT_EQ(t.columns[0].column_number, 21);
  EXPECT_EQ(t.columns[3].column_number, 24);
  auto rows = read_all(*r, "tbldata");
  ASSERT_EQ(rows.size(), 6u);
  EXPECT_EQ(rows[0][0], Value(std::int32_t{1}));
  EXPECT_EQ(text(rows[0][1]), "Jones");
  EXPECT_EQ(text(rows[0][2]), "Andrew");
  EXPECT_EQ(text(rows[0][3]), "01483564231");
  EXPECT_EQ(text(rows[1][1]), "Clark");

  // Gaps at the front and in the middle of the numbers (3 and 16 remain of 17).
  const char* sean = "j3_psc_sean_11589_db1.mdb";
  if (!fs::exists(more(sean))) return;
  auto s = Reader::open(more(sean).string());
  auto another = read_all(*s, "AnotherTable");
  ASSERT_EQ(another.size(), 4u);
  EXPECT_EQ(text(another[0][1]), "yet even more data in this field");
  EXPECT_EQ(text(another[1][1]), "more data");
}

class PatchedDarren : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_MORE(kDarren);
    std::ifstream in(more(kDarren), std::ios::binary);
    bytes_.assign(std::istreambuf_iterator<char>(in), {});
    ASSERT_GE(bytes_.size(), static_cast<std::size_t>(kPage) * (kDarrenData + 1));
  }
  std::uint8_t& at(std::uint32_t page, std::size_t off) {
    return reinterpret_cast<std::uint8_t&>(bytes_[page * kPage + off]);
  }
  // The error reading tbldata, or "" when it reads.
  std::string error() {
    const auto path = (dir_ / "patched.mdb").string();
    std::ofstream(path, std::ios::binary).write(bytes_.data(), static_cast<std::streamsize>(bytes_.size()));
    try {
      auto r = Reader::open(path);
      read_all(*r, "tbldata");
    } catch (const CorruptError& e) {
      return e.what();
    }
    return "";
  }
  std::string bytes_;
  test::TempDir dir_;
};

TEST_F(PatchedDarren, VariableCountBeyondEveryColumnTheTableHadIsDamage) {
  at(kDarrenTdef, 23) = 26;  // variable columns; the table never had more than 25
  std::string e = error();
  EXPECT_NE(e.find("table 'tbldata'"), std::string::npos) << e;
  EXPECT_NE(e.find("26 variable columns"), std::string::npos) << e;
}

TEST_F(PatchedDarren, RowOffsetCountsThatDoNotFitTheRowAreDamage) {
  // The row at the end of the data page: its nvar byte precedes the 4-byte
  // null mask, its one-byte offsets precede nvar (no jump bytes below 256).
  const std::size_t nvar_at = kPage - 1 - 4;
  ASSERT_EQ(at(kDarrenData, nvar_at), 23) << "row layout changed";
  at(kDarrenData, nvar_at) = 200;
  std::string e = error();
  EXPECT_NE(e.find("variable-column count 200"), std::string::npos) << e;
  EXPECT_NE(e.find("tbldata"), std::string::npos) << e;
  // Slot 20 (Surname) starting past its end.
  at(kDarrenData, nvar_at) = 23;
  at(kDarrenData, nvar_at - 1 - 20) = 0xF0;
  e = error();
  EXPECT_NE(e.find("'Surname' has invalid offsets 240"), std::string::npos) << e;
}

TEST(Workgroup, SystemFileReadsLikeADatabase) {
  const char* file = "j3_ENCODED_WORKGROUP_krlitoss_system.mdb";
  REQUIRE_MORE(file);
  auto r = Reader::open(more(file).string());
  EXPECT_EQ(r->format(), Format::Jet3);
  EXPECT_TRUE(r->encoded());
  EXPECT_EQ(r->table_names(false), std::vector<std::string>{"AccessPreferences"});
  EXPECT_TRUE(read_all(*r, "AccessPreferences").empty());
  // Its system tables hold the accounts.
  EXPECT_FALSE(read_all(*r, "MSysObjects").empty());
}

}  // namespace
}  // namespace mirutone::jet
