// Row, usage-map and long-value decoding on hand-built pages, including the
// damaged forms a reader must reject cleanly.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "db/jet/api/error.h"
#include "db/jet/format/format.h"
#include "db/jet/row/long_value.h"
#include "db/jet/file/page_file.h"
#include "db/jet/row/row.h"
#include "db/jet/tdef/tdef.h"
#include "db/jet/file/usage_map.h"

namespace mirutone::jet {
namespace {

using Page = std::vector<std::uint8_t>;

// Pages held in memory.
class MemPages : public PageSource {
 public:
  explicit MemPages(const fmt::Layout& lay, std::size_t n) : lay_(lay) {
    pages_.assign(n, Page(static_cast<std::size_t>(lay.page_size), 0));
  }
  const std::string& path() const override { return path_; }
  int page_size() const override { return lay_.page_size; }
  std::uint32_t page_count() const override { return static_cast<std::uint32_t>(pages_.size()); }
  void read_page(std::uint32_t n, std::uint8_t* buf) const override {
    check_page(n, "test");
    std::memcpy(buf, pages_[n].data(), pages_[n].size());
  }
  Page& operator[](std::size_t n) { return pages_[n]; }

 private:
  const fmt::Layout& lay_;
  std::string path_ = "mem.mdb";
  std::vector<Page> pages_;
};

void put16(Page& p, std::size_t at, std::uint16_t v) {
  p[at] = static_cast<std::uint8_t>(v);
  p[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
Page rp(std::uint32_t page, std::uint8_t row) {
  return {row, static_cast<std::uint8_t>(page), static_cast<std::uint8_t>(page >> 8),
          static_cast<std::uint8_t>(page >> 16)};
}
Page cat(Page a, const Page& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A data page holding `rows`, packed from the end of the page downwards.
void make_data_page(Page& p, const fmt::Layout& lay, const std::uint8_t owner[4],
                    const std::vector<Page>& rows) {
  std::fill(p.begin(), p.end(), 0);
  p[0] = fmt::kPageData;
  p[1] = 0x01;
  std::memcpy(p.data() + lay.dp_off_owner, owner, 4);
  put16(p, static_cast<std::size_t>(lay.dp_off_row_count), static_cast<std::uint16_t>(rows.size()));
  std::size_t end = p.size();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    std::size_t start = end - rows[i].size();
    std::memcpy(p.data() + start, rows[i].data(), rows[i].size());
    put16(p, lay.dp_off_row_table + 2 * i, static_cast<std::uint16_t>(start));
    end = start;
  }
}

const std::uint8_t kLval[4] = {'L', 'V', 'A', 'L'};

ColumnDef column(const char* name, ColumnType t, std::uint16_t number, bool fixed,
                 std::uint16_t var_index, std::uint16_t offset, std::uint16_t len) {
  ColumnDef c;
  c.name = name;
  c.type = t;
  c.raw_type = static_cast<std::uint8_t>(t);
  c.number = number;
  c.flags = fixed ? fmt::kColFixed : 0;
  c.var_index = var_index;
  c.fixed_offset = offset;
  c.length = len;
  return c;
}

// Long id (fixed), two Text columns (variable), a Boolean.
TableDef sample_table() {
  TableDef td;
  td.num_columns = 4;
  td.var_columns = 2;
  td.columns = {column("id", ColumnType::Long, 0, true, 0, 0, 4),
                column("a", ColumnType::Text, 1, false, 0, 0, 255),
                column("b", ColumnType::Text, 2, false, 1, 0, 255),
                column("flag", ColumnType::Boolean, 3, true, 0, 0, 1)};
  return td;
}

std::string field(const FieldRef& f) { return std::string(f.data, f.data + f.len); }

TEST(CrackRow, Jet3RowLongerThan256BytesUsesTheJumpTable) {
  // ncols=4, id, a = 200 x 'a', b = 100 x 'b'; eod = 305 crosses one boundary.
  Page row = {4, 7, 0, 0, 0};
  row.insert(row.end(), 200, 'a');
  row.insert(row.end(), 100, 'b');
  // eod (305 & 0xFF), offsets b then a, jump entry (index 2 = eod), nvar, mask.
  Page trailer = {305 & 0xFF, 205, 5, 2, 2, 0x0F};
  row = cat(row, trailer);
  ASSERT_EQ(row.size(), 311u);
  TableDef td = sample_table();
  std::vector<FieldRef> f;
  crack_row(td, fmt::kJet3, row.data(), row.size(), f, RowContext{});
  ASSERT_EQ(f.size(), 4u);
  EXPECT_EQ(fmt::get_u32(f[0].data), 7u);
  EXPECT_EQ(field(f[1]), std::string(200, 'a'));
  EXPECT_EQ(field(f[2]), std::string(100, 'b'));
  EXPECT_TRUE(f[3].present);  // Boolean True lives in the null mask
}

TEST(CrackRow, Jet3FillerJumpByteIsIgnored) {
  // eod = 252 < 256, but the trailer pushes the row to 258 bytes, so Jet adds
  // one 0xFF filler jump byte that the reader must not count.
  Page row = {4, 1, 0, 0, 0};
  row.insert(row.end(), 200, 'x');
  row.insert(row.end(), 47, 'y');
  Page trailer = {252, 205, 5, 0xFF, 2, 0x07};  // Boolean False
  row = cat(row, trailer);
  ASSERT_EQ(row.size(), 258u);
  std::vector<FieldRef> f;
  crack_row(sample_table(), fmt::kJet3, row.data(), row.size(), f, RowContext{});
  EXPECT_EQ(field(f[1]), std::string(200, 'x'));
  EXPECT_EQ(field(f[2]), std::string(47, 'y'));
  EXPECT_FALSE(f[3].present);
}

TEST(CrackRow, Jet4RowWithNullsAndAColumnAddedLater) {
  // ncols u16 = 3 (written before "flag" existed), id, a = "hi" (UCS-2), b NULL.
  Page row = {3, 0, 9, 0, 0, 0, 'h', 0, 'i', 0};
  // eod=10, off b=10, off a=6, nvar=2, mask: id and a present.
  Page trailer = {10, 0, 10, 0, 6, 0, 2, 0, 0x03};
  row = cat(row, trailer);
  std::vector<FieldRef> f;
  crack_row(sample_table(), fmt::kJet4, row.data(), row.size(), f, RowContext{});
  EXPECT_EQ(fmt::get_u32(f[0].data), 9u);
  EXPECT_EQ(f[1].len, 4u);
  EXPECT_FALSE(f[2].present);
  EXPECT_FALSE(f[3].present);  // beyond the row's column count
}

TEST(CrackRow, OffsetsOutsideTheRowAreCorruption) {
  Page row = {3, 0, 9, 0, 0, 0, 'h', 0, 'i', 0, 10, 0, 10, 0, 6, 0, 2, 0, 0x03};
  TableDef td = sample_table();
  std::vector<FieldRef> f;
  std::string file = "x.mdb", table = "T";
  RowContext ctx{&file, &table, 12, 3};
  Page bad = row;
  bad[14] = 60;  // offset of a beyond the data
  try {
    crack_row(td, fmt::kJet4, bad.data(), bad.size(), f, ctx);
    FAIL();
  } catch (const CorruptError& e) {
    std::string m = e.what();
    EXPECT_NE(m.find("x.mdb"), std::string::npos) << m;
    EXPECT_NE(m.find("table 'T', page 12 row 3"), std::string::npos) << m;
    EXPECT_NE(m.find("'a'"), std::string::npos) << m;
  }
  bad = row;
  bad[16] = 200;  // nvar too large for the row
  EXPECT_THROW(crack_row(td, fmt::kJet4, bad.data(), bad.size(), f, ctx), CorruptError);
  td.columns[0].fixed_offset = 30;  // fixed column past the data
  EXPECT_THROW(crack_row(td, fmt::kJet4, row.data(), row.size(), f, ctx), CorruptError);
  // Too short for any structure at all.
  for (std::size_t n = 0; n < 4; ++n)
    EXPECT_THROW(crack_row(sample_table(), fmt::kJet3, row.data(), n, f, ctx), CorruptError) << n;
}

TEST(UsageMap, InlineMapListsSetBitsFromItsStartPage) {
  MemPages src(fmt::kJet3, 40);
  Page map = {fmt::kMapInline, 8, 0, 0, 0, 0x05, 0x80, 0x01};  // bits 0, 2, 15, 16
  auto pages = decode_usage_map(src, fmt::kJet3, map.data(), map.size(), "t");
  EXPECT_EQ(pages, (std::vector<std::uint32_t>{8, 10, 23, 24}));
  map[7] = 0x80;  // bit 23 -> page 31; still inside
  EXPECT_EQ(decode_usage_map(src, fmt::kJet3, map.data(), map.size(), "t").back(), 31u);
  Page beyond = {fmt::kMapInline, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01};  // page 40: beyond the file
  EXPECT_THROW(decode_usage_map(src, fmt::kJet3, beyond.data(), beyond.size(), "t"), CorruptError);
  Page unknown = {0x07, 0, 0, 0, 0};
  EXPECT_THROW(decode_usage_map(src, fmt::kJet3, unknown.data(), unknown.size(), "t"),
               CorruptError);
  EXPECT_THROW(decode_usage_map(src, fmt::kJet3, map.data(), 3, "t"), CorruptError);
}

TEST(UsageMap, ReferenceMapReadsBitmapPages) {
  MemPages src(fmt::kJet3, 20);
  src[5][0] = fmt::kPageUsageBitmap;
  src[5][1] = 0x01;
  src[5][4] = 0x0A;  // pages 1 and 3
  src[5][5] = 0x01;  // page 8
  Page map = cat(Page{fmt::kMapReference}, Page{5, 0, 0, 0});
  map.insert(map.end(), 4 * 32, 0);  // 33 slots on Jet 3, the rest unused
  EXPECT_EQ(decode_usage_map(src, fmt::kJet3, map.data(), map.size(), "t"),
            (std::vector<std::uint32_t>{1, 3, 8}));
  src[5][0] = fmt::kPageData;  // not a bitmap page
  EXPECT_THROW(decode_usage_map(src, fmt::kJet3, map.data(), map.size(), "t"), CorruptError);
  map[1] = 99;  // bitmap page beyond the file
  EXPECT_THROW(decode_usage_map(src, fmt::kJet3, map.data(), map.size(), "t"), CorruptError);
}

TEST(UsageMap, RowSlotsAreValidatedAgainstThePage) {
  MemPages src(fmt::kJet3, 4);
  const std::uint8_t owner[4] = {0, 0, 0, 0};
  make_data_page(src[2], fmt::kJet3, owner, {Page{fmt::kMapInline, 0, 0, 0, 0, 0x04}});
  EXPECT_EQ(read_usage_map(src, fmt::kJet3, {2, 0}, "t"), (std::vector<std::uint32_t>{2}));
  EXPECT_THROW(read_usage_map(src, fmt::kJet3, {2, 1}, "t"), CorruptError);  // no such row
  EXPECT_THROW(read_usage_map(src, fmt::kJet3, {9, 0}, "t"), CorruptError);  // no such page
  put16(src[2], 10, 3);  // row offset inside the header
  EXPECT_THROW(read_usage_map(src, fmt::kJet3, {2, 0}, "t"), CorruptError);
  src[3][0] = fmt::kPageTdef;
  EXPECT_THROW(read_usage_map(src, fmt::kJet3, {3, 0}, "t"), CorruptError);  // not a data page
}

Page lv_ref(std::uint32_t total, std::uint8_t kind, std::uint32_t page, std::uint8_t row) {
  Page r = {static_cast<std::uint8_t>(total), static_cast<std::uint8_t>(total >> 8),
            static_cast<std::uint8_t>(total >> 16), kind};
  r = cat(r, rp(page, row));
  r.insert(r.end(), 4, 0);
  return r;
}

class LongValues : public ::testing::Test {
 protected:
  LongValues() : src(fmt::kJet3, 8), lv(src, fmt::kJet3) {}
  MemPages src;
  LongValueReader lv;
  std::vector<std::uint8_t> out;
};

TEST_F(LongValues, InlineSingleAndChainedValues) {
  Page inl = cat(lv_ref(3, fmt::kLvInline, 0, 0), Page{'a', 'b', 'c'});
  lv.read(inl.data(), inl.size(), out, "v");
  EXPECT_EQ(std::string(out.begin(), out.end()), "abc");

  make_data_page(src[3], fmt::kJet3, kLval, {Page{'s', 'i', 'n', 'g', 'l', 'e'}});
  Page single = lv_ref(6, fmt::kLvSingle, 3, 0);
  lv.read(single.data(), single.size(), out, "v");
  EXPECT_EQ(std::string(out.begin(), out.end()), "single");

  // Chain: page 4 row 1 -> page 5 row 0 -> end.
  make_data_page(src[4], fmt::kJet3, kLval,
                 {Page{'x'}, cat(rp(5, 0), Page{'h', 'e', 'l'})});
  make_data_page(src[5], fmt::kJet3, kLval, {cat(rp(0, 0), Page{'l', 'o', '!', '!'})});
  Page chain = lv_ref(5, fmt::kLvChain, 4, 1);
  lv.read(chain.data(), chain.size(), out, "v");
  EXPECT_EQ(std::string(out.begin(), out.end()), "hello");  // stops at the stated length
}

TEST_F(LongValues, DamagedReferencesAreReportedWithTheirContext) {
  make_data_page(src[4], fmt::kJet3, kLval, {cat(rp(4, 0), Page{'l', 'o', 'o', 'p'})});
  Page loop = lv_ref(100, fmt::kLvChain, 4, 0);
  try {
    lv.read(loop.data(), loop.size(), out, "table 'T', column 'Notes'");
    FAIL();
  } catch (const CorruptError& e) {
    EXPECT_NE(std::string(e.what()).find("column 'Notes'"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("loops"), std::string::npos) << e.what();
  }
  make_data_page(src[5], fmt::kJet3, kLval, {cat(rp(0, 0), Page{'s', 'h'})});
  Page early = lv_ref(100, fmt::kLvChain, 5, 0);
  EXPECT_THROW(lv.read(early.data(), early.size(), out, "v"), CorruptError);

  const std::uint8_t table_owner[4] = {9, 0, 0, 0};
  make_data_page(src[6], fmt::kJet3, table_owner, {Page{'d', 'a', 't', 'a'}});
  Page not_lval = lv_ref(4, fmt::kLvSingle, 6, 0);
  EXPECT_THROW(lv.read(not_lval.data(), not_lval.size(), out, "v"), CorruptError);

  Page too_long = lv_ref(50, fmt::kLvSingle, 5, 0);
  EXPECT_THROW(lv.read(too_long.data(), too_long.size(), out, "v"), CorruptError);
  Page past_eof = lv_ref(4, fmt::kLvSingle, 70, 0);
  EXPECT_THROW(lv.read(past_eof.data(), past_eof.size(), out, "v"), CorruptError);
  Page bad_kind = lv_ref(4, 0x20, 5, 0);
  EXPECT_THROW(lv.read(bad_kind.data(), bad_kind.size(), out, "v"), CorruptError);
  Page short_inline = cat(lv_ref(9, fmt::kLvInline, 0, 0), Page{'a'});
  EXPECT_THROW(lv.read(short_inline.data(), short_inline.size(), out, "v"), CorruptError);
  EXPECT_THROW(lv.read(short_inline.data(), 8, out, "v"), CorruptError);
}

}  // namespace
}  // namespace mirutone::jet
