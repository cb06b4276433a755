// Jet 3 data pages: the empty page, free-space accounting as Jet keeps it,
// the limits on room and row count, and Access-made pages rebuilt from their
// rows byte for byte.
#include <gtest/gtest.h>

#include "support/test_support.h"
#include "writer/row_pages.h"

namespace mirutone::jet {
namespace {

using B = std::vector<std::uint8_t>;

TEST(DataPageBuilder, EmptyPageHasHeaderOwnerAndFullFreeSpace) {
  B page(jet3::kPageSize, 0xEE);
  start_data_page(page.data(), 0x1234);
  // 01 01, free 2038 = 0x07F6, owner 0x1234, no rows; the rest zero.
  const B head = {0x01, 0x01, 0xF6, 0x07, 0x34, 0x12, 0x00, 0x00, 0x00, 0x00};
  EXPECT_TRUE(std::equal(head.begin(), head.end(), page.begin()));
  EXPECT_TRUE(std::all_of(page.begin() + 10, page.end(), [](std::uint8_t b) { return b == 0; }));

  B lval(jet3::kPageSize);
  start_data_page(lval.data(), jet3::kLvalOwner);
  EXPECT_EQ(std::string(lval.begin() + 4, lval.begin() + 8), "LVAL");
}

TEST(DataPageBuilder, RowsPackDownFromThePageEndAndEachCostsItsLengthPlusTwo) {
  B page(jet3::kPageSize);
  start_data_page(page.data(), 7);
  DataPageBuilder b(page.data());
  EXPECT_EQ(b.add_row(B(100, 0xA1)), 0);
  EXPECT_EQ(b.add_row(B(50, 0xB2)), 1);
  EXPECT_EQ(b.row_count(), 2);
  EXPECT_EQ(b.free_space(), 2038 - 102 - 52);
  // Slots: row 0 at 2048 - 100 = 1948 (0x079C), row 1 at 1898 (0x076A).
  EXPECT_EQ(page[8], 2);
  EXPECT_EQ(page[10], 0x9C);
  EXPECT_EQ(page[11], 0x07);
  EXPECT_EQ(page[12], 0x6A);
  EXPECT_EQ(page[13], 0x07);
  EXPECT_EQ(page[1948], 0xA1);
  EXPECT_EQ(page[2047], 0xA1);
  EXPECT_EQ(page[1898], 0xB2);
  EXPECT_EQ(page[1947], 0xB2);
  EXPECT_EQ(page[1897], 0x00);
  EXPECT_EQ(b.owner(), 7u);
}

TEST(DataPageBuilder, RefusesRowsWithoutRoomAndLeavesThePageAlone) {
  B page(jet3::kPageSize);
  start_data_page(page.data(), 3);
  DataPageBuilder b(page.data());
  // The largest single row: 2038 - 2 = 2036 bytes.
  EXPECT_FALSE(b.has_room(2037));
  EXPECT_TRUE(b.has_room(2036));
  ASSERT_TRUE(b.add_row(B(2000, 1)).has_value());
  const B before = page;
  EXPECT_EQ(b.free_space(), 36);
  EXPECT_FALSE(b.add_row(B(35, 2)).has_value());
  EXPECT_EQ(page, before);
  EXPECT_FALSE(b.add_row(B()).has_value());  // empty rows are not stored
  EXPECT_EQ(b.add_row(B(34, 3)), 1);
  EXPECT_EQ(b.free_space(), 0);
  EXPECT_FALSE(b.has_room(1));

  // A row number is one byte: 255 rows at most, however small.
  start_data_page(page.data(), 3);
  DataPageBuilder many(page.data());
  for (int i = 0; i < 255; ++i) ASSERT_EQ(many.add_row(B(1, static_cast<std::uint8_t>(i))), i);
  EXPECT_EQ(many.free_space(), 2038 - 255 * 3);
  EXPECT_FALSE(many.add_row(B(1, 0)).has_value());
}

TEST(DataPageBuilder, AccessPagesRebuildFromTheirRows) {
  MIRUTONE_REQUIRE_TESTDATA();
  int rebuilt = 0, lval = 0;
  for (const char* name :
       {"j3_jackcess_test.mdb", "j3_jackcess_test2.mdb", "j3_jackcess_compindex.mdb",
        "j3_nwind_full.mdb", "j3_jackcess_indexcodes.mdb"}) {
    SCOPED_TRACE(name);
    auto src = PageFile::open((test::testdata_dir() / name).string());
    src->configure(jet3::kPageSize, 0);
    B page(jet3::kPageSize), mine(jet3::kPageSize);
    for (std::uint32_t n = 1; n < src->page_count(); ++n) {
      src->read_page(n, page.data());
      if (page[0] != fmt::kPageData || page[1] != 0x01) continue;
      const int rows = fmt::get_u16(page.data() + 8);
      bool flagged = false;
      for (int r = 0; r < rows; ++r)
        flagged |= (fmt::get_u16(page.data() + 10 + 2 * r) & ~fmt::kSlotOffsetMask) != 0;
      if (flagged) continue;  // deleted or moved rows: not something a new file has

      start_data_page(mine.data(), fmt::get_u32(page.data() + 4));
      DataPageBuilder b(mine.data());
      int end = jet3::kPageSize;
      for (int r = 0; r < rows; ++r) {
        const int start = fmt::get_u16(page.data() + 10 + 2 * r);
        ASSERT_EQ(b.add_row(std::span(page.data() + start, static_cast<std::size_t>(end - start))),
                  r);
        end = start;
      }
      // Jet does not clear the bytes between the slot table and the rows.
      std::fill(page.begin() + 10 + 2 * rows, page.begin() + end, 0);
      ASSERT_EQ(mine, page) << "page " << n;
      ++rebuilt;
      if (fmt::get_u32(page.data() + 4) == jet3::kLvalOwner) ++lval;
    }
  }
  EXPECT_GT(rebuilt, 700);
  EXPECT_GT(lval, 300);
}

}  // namespace
}  // namespace mirutone::jet
