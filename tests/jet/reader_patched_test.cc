// Real pages with single bytes changed: deleted rows, overflow rows and
// damaged structures must read as Jet would, or fail with a clear error.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "db/jet/text/codepage.h"
#include "db/jet/api/error.h"
#include "db/jet/format/format.h"
#include "db/jet/file/page_file.h"
#include "db/jet/api/reader.h"
#include "db/jet/row/table_cursor.h"
#include "db/jet/tdef/tdef.h"
#include "support/test_support.h"

namespace mirutone::jet {
namespace {

constexpr int kPage = 2048;  // Jet 3
// j3_jackcess_test.mdb: Table1 has its TDEF on page 29 and its two rows on
// one data page, found below through the TDEF's usage map.
constexpr std::uint32_t kTdef = 29;

class PatchedJet3 : public ::testing::Test {
 protected:
  void SetUp() override {
    MIRUTONE_REQUIRE_TESTDATA();
    std::ifstream in(test::testdata_dir() / "j3_jackcess_test.mdb", std::ios::binary);
    bytes_.assign(std::istreambuf_iterator<char>(in), {});
    ASSERT_GT(bytes_.size(), static_cast<std::size_t>(kPage * 40));
    // Owned-map row pointer at TDEF offset 35; the map is an inline map.
    fmt::RowPointer map = fmt::get_row_pointer(at(kTdef, 35));
    const std::uint8_t* mp = at(map.page, 0);
    std::size_t start = fmt::get_u16(mp + 10 + 2 * map.row) & fmt::kSlotOffsetMask;
    ASSERT_EQ(mp[start], fmt::kMapInline);
    for (int i = 0; i < 128 * 8 && data_page_ == 0; ++i)
      if (mp[start + 5 + i / 8] & (1 << (i % 8))) data_page_ = fmt::get_u32(mp + start + 1) + i;
    ASSERT_NE(data_page_, 0u);
    ASSERT_EQ(fmt::get_u16(at(data_page_, 8)), 2);  // two row slots
  }

  const std::uint8_t* at(std::uint32_t page, int off) const {
    return reinterpret_cast<const std::uint8_t*>(bytes_.data()) + page * kPage + off;
  }
  std::uint8_t& byte(std::uint32_t page, int off) {
    return reinterpret_cast<std::uint8_t&>(bytes_[page * kPage + off]);
  }
  std::uint16_t slot(int row) const { return fmt::get_u16(at(data_page_, 10 + 2 * row)); }
  void set_slot(int row, std::uint16_t v) {
    byte(data_page_, 10 + 2 * row) = static_cast<std::uint8_t>(v);
    byte(data_page_, 11 + 2 * row) = static_cast<std::uint8_t>(v >> 8);
  }
  // Writes a 4-byte row pointer at the start of row `row`.
  void point_row_at(int row, std::uint32_t page, std::uint8_t target) {
    int off = slot(row) & fmt::kSlotOffsetMask;
    byte(data_page_, off) = target;
    byte(data_page_, off + 1) = static_cast<std::uint8_t>(page);
    byte(data_page_, off + 2) = static_cast<std::uint8_t>(page >> 8);
    byte(data_page_, off + 3) = static_cast<std::uint8_t>(page >> 16);
  }

  std::vector<std::vector<Value>> read_table1() {
    auto path = (dir_ / "patched.mdb").string();
    std::ofstream(path, std::ios::binary).write(bytes_.data(), static_cast<std::streamsize>(bytes_.size()));
    auto r = Reader::open(path);
    std::vector<std::vector<Value>> rows;
    auto cur = r->rows("Table1");
    std::vector<Value> row;
    while (cur->next(row)) rows.push_back(row);
    return rows;
  }

  std::string error_reading_table1() {
    try {
      read_table1();
    } catch (const CorruptError& e) {
      return e.what();
    }
    return "no error";
  }

  test::TempDir dir_;
  std::string bytes_;
  std::uint32_t data_page_ = 0;
};

TEST_F(PatchedJet3, DeletedRowIsSkipped) {
  set_slot(0, slot(0) | 0xC000);
  auto rows = read_table1();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(std::get<std::string>(rows[0][0]), "abcdefg");
}

TEST_F(PatchedJet3, OverflowPointerIsFollowedAndItsTargetReadOnce) {
  // Row 0 becomes the target of an overflow pointer stored in row 1.
  set_slot(0, slot(0) | fmt::kSlotDeleted);
  set_slot(1, slot(1) | fmt::kSlotOverflow);
  point_row_at(1, data_page_, 0);
  auto rows = read_table1();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(std::get<std::string>(rows[0][0]), "a");
  EXPECT_EQ(format_datetime(std::get<DateTime>(rows[0][6])), "1981-12-12T00:00:00");
}

TEST_F(PatchedJet3, OverflowLoopsAndWildPointersAreErrors) {
  set_slot(1, slot(1) | fmt::kSlotOverflow);
  point_row_at(1, data_page_, 1);  // points at itself
  std::string m = error_reading_table1();
  EXPECT_NE(m.find("overflow"), std::string::npos) << m;
  EXPECT_NE(m.find("Table1"), std::string::npos) << m;

  point_row_at(1, 0x7FFFFF, 0);  // beyond the end of the file
  m = error_reading_table1();
  EXPECT_NE(m.find("patched.mdb"), std::string::npos) << m;
  EXPECT_NE(m.find("8388607"), std::string::npos) << m;

  point_row_at(1, kTdef, 0);  // not a data page
  m = error_reading_table1();
  EXPECT_NE(m.find("not a data page"), std::string::npos) << m;
}

TEST_F(PatchedJet3, UsageMapPageOfAnotherTableIsReported) {
  byte(data_page_, 4) = 0x34;  // owner field: some other TDEF
  std::string m = error_reading_table1();
  EXPECT_NE(m.find("table 'Table1'"), std::string::npos) << m;
  EXPECT_NE(m.find("page " + std::to_string(data_page_)), std::string::npos) << m;
}

TEST_F(PatchedJet3, BadRowOffsetsAndCountsAreReported) {
  byte(data_page_, 8) = 0xFF;  // 65535 slots cannot fit on a page
  byte(data_page_, 9) = 0xFF;
  EXPECT_NE(error_reading_table1().find("Table1"), std::string::npos);
}

TEST_F(PatchedJet3, TableDefinitionChainLoopIsReported) {
  byte(kTdef, 4) = static_cast<std::uint8_t>(kTdef);  // next TDEF page = itself
  std::string m = error_reading_table1();
  EXPECT_NE(m.find("loops"), std::string::npos) << m;
}

TEST_F(PatchedJet3, DamagedPropertiesFailOnlyTheirOwnTable) {
  // Find Table1's MSysObjects row and break the kind byte of its LvProp reference.
  auto pf = PageFile::open((test::testdata_dir() / "j3_jackcess_test.mdb").string());
  pf->configure(kPage, 0);
  CodePage cp(1252);
  auto td = std::make_shared<TableDef>(read_tdef(*pf, fmt::kJet3, cp, 2, "MSysObjects"));
  std::size_t c_name = 0, c_prop = 0;
  for (std::size_t i = 0; i < td->columns.size(); ++i) {
    if (td->columns[i].name == "Name") c_name = i;
    if (td->columns[i].name == "LvProp") c_prop = i;
  }
  TableCursor cur(*pf, fmt::kJet3, td, cp, "MSysObjects");
  std::string ref;
  std::uint32_t page = 0;
  Value name;
  while (cur.next_fields()) {
    cur.convert_field(c_name, name);
    const FieldRef& f = cur.fields()[c_prop];
    if (std::get<std::string>(name) == "Table1" && f.present) {
      ref.assign(reinterpret_cast<const char*>(f.data), 12);
      page = cur.page();
    }
  }
  ASSERT_EQ(ref.size(), 12u);
  std::size_t at = bytes_.find(ref, page * kPage);
  ASSERT_LT(at, (page + 1) * kPage);
  bytes_[at + 3] = 0x20;  // no such long-value kind

  auto path = (dir_ / "props.mdb").string();
  std::ofstream(path, std::ios::binary).write(bytes_.data(), static_cast<std::streamsize>(bytes_.size()));
  auto r = Reader::open(path);
  try {
    r->table("Table1");
    FAIL();
  } catch (const CorruptError& e) {
    EXPECT_NE(std::string(e.what()).find("properties of table 'Table1'"), std::string::npos)
        << e.what();
  }
  EXPECT_EQ(r->table("Table2").columns.size(), 89u);  // the others still read
}

}  // namespace
}  // namespace mirutone::jet
