// Memo and OLE values as Jet 3 stores them: inline up to 32 bytes, one LVAL
// row up to 2032, a chain of full-page links beyond; read back through the
// reader's long-value decoder, and spilled out of a row that would be too long.
#include <gtest/gtest.h>

#include "db/jet/row/long_value.h"
#include "writer/row_pages.h"

namespace mirutone::jet {
namespace {

using rowtest::Col;
using rowtest::make_table;
using rowtest::MemoryPages;
using rowtest::RowStore;
using B = std::vector<std::uint8_t>;

B pattern(std::size_t n) {
  B b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 31 + i / 251);
  return b;
}

B read_back(const MemoryPages& pages, const B& ref) {
  LongValueReader reader(pages, fmt::kJet3);
  B out;
  reader.read(ref.data(), ref.size(), out, "test value");
  return out;
}

TEST(LongValueBuilder, SmallValuesStayInline) {
  for (std::size_t n : {0u, 1u, 31u, 32u}) {
    const B data = pattern(n);
    const B ref = inline_long_value(data);
    ASSERT_EQ(ref.size(), 12 + n);
    EXPECT_EQ(fmt::get_u24(ref.data()), n);
    EXPECT_EQ(ref[3], 0x80);
    EXPECT_TRUE(
        std::all_of(ref.begin() + 4, ref.begin() + 12, [](std::uint8_t b) { return b == 0; }));
    EXPECT_TRUE(std::equal(data.begin(), data.end(), ref.begin() + 12));
    MemoryPages none;
    EXPECT_EQ(read_back(none, ref), data);
  }
  EXPECT_TRUE(long_value_fits_inline(32));
  EXPECT_FALSE(long_value_fits_inline(33));
}

TEST(LongValueBuilder, MidSizedValuesTakeOneLvalRowAndSharePages) {
  MemoryPages pages;
  LvalPagePool pool = pages.lval_pool();
  std::vector<std::pair<B, B>> stored;  // data, reference
  for (std::size_t n : {33u, 500u, 1000u, 400u, 2032u, 90u}) {
    const B data = pattern(n);
    const B ref = store_long_value(data, pool, "Notes");
    ASSERT_EQ(ref.size(), 12u);
    EXPECT_EQ(fmt::get_u24(ref.data()), n);
    EXPECT_EQ(ref[3], 0x40);
    EXPECT_EQ(fmt::get_u32(ref.data() + 8), 0u);
    stored.emplace_back(data, ref);
  }
  for (const auto& [data, ref] : stored) EXPECT_EQ(read_back(pages, ref), data);
  // First fit: 33 + 500 + 1000 + 400 (+ slots) on the first page, 2032 alone
  // on the second, 90 back into the 97 bytes left on the first.
  ASSERT_EQ(pool.pages().size(), 2u);
  auto page_of = [&](std::size_t i) {
    return fmt::get_row_pointer(stored[i].second.data() + 4).page;
  };
  EXPECT_EQ(page_of(0), pool.pages()[0]);
  EXPECT_EQ(page_of(3), pool.pages()[0]);
  EXPECT_EQ(page_of(4), pool.pages()[1]);
  EXPECT_EQ(page_of(5), pool.pages()[0]);
  for (std::uint32_t p : pool.pages()) {
    B buf(jet3::kPageSize);
    pages.read_page(p, buf.data());
    EXPECT_EQ(fmt::get_u32(buf.data() + 4), jet3::kLvalOwner);
  }
  // The 2032-byte row leaves its page 2038 - 2034 = 4 bytes, still "room".
  EXPECT_EQ(DataPageBuilder(pages.buffer(pool.pages()[1])).free_space(), 4);
  EXPECT_EQ(pool.pages_with_room(), pool.pages());
}

TEST(LongValueBuilder, LargeValuesChainOverFreshPagesInPageOrder) {
  for (std::size_t n : {2033u, 4064u, 4065u, 22970u}) {
    SCOPED_TRACE(n);
    MemoryPages pages;
    LvalPagePool pool = pages.lval_pool();
    const B data = pattern(n);
    const B ref = store_long_value(data, pool, "Photo");
    EXPECT_EQ(fmt::get_u24(ref.data()), n);
    EXPECT_EQ(ref[3], 0x00);
    EXPECT_EQ(read_back(pages, ref), data);

    const std::size_t links = (n + 2031) / 2032;
    ASSERT_EQ(pool.pages().size(), links);
    EXPECT_TRUE(std::is_sorted(pool.pages().begin(), pool.pages().end()));
    // Walk the chain by hand: link i is row 0 of page i and points to link i+1.
    fmt::RowPointer at = fmt::get_row_pointer(ref.data() + 4);
    for (std::size_t i = 0; i < links; ++i) {
      ASSERT_EQ(at.page, pool.pages()[i]);
      ASSERT_EQ(at.row, 0);
      const std::uint8_t* page = pages.buffer(at.page);
      const int start = fmt::get_u16(page + 10);
      const std::size_t chunk = std::min<std::size_t>(2032, n - i * 2032);
      EXPECT_EQ(jet3::kPageSize - start, static_cast<int>(4 + chunk));
      at = fmt::get_row_pointer(page + start);
    }
    EXPECT_EQ(at.page, 0u);
    EXPECT_EQ(at.row, 0);
    // Full links leave no room; only a partial last link does.
    EXPECT_EQ(pool.pages_with_room().size(), n % 2032 == 0 ? 0u : 1u);
  }
}

TEST(LongValueBuilder, ValuesBeyondTheLengthFieldAreAnError) {
  MemoryPages pages;
  LvalPagePool pool = pages.lval_pool();
  const B huge(0x1000000, 0x41);
  try {
    store_long_value(huge, pool, "Attachment");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("'Attachment'"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(pool.pages().empty());
}

TEST(LongValueInRows, MemoAndOleRoundTripThroughTheTableCursor) {
  RowStore store(make_table(
      {{ColumnType::Long, "id"}, {ColumnType::Memo, "notes"}, {ColumnType::OLE, "photo"}}));
  std::vector<std::vector<Value>> rows;
  for (std::size_t n : {0u, 5u, 32u, 33u, 1500u, 2032u, 2033u, 9000u}) {
    rows.push_back({static_cast<std::int32_t>(n), std::string(n, static_cast<char>('a' + n % 26)),
                    pattern(n)});
  }
  rows.push_back({-1, std::monostate{}, std::monostate{}});
  for (const auto& r : rows) store.add(r);
  EXPECT_EQ(store.read_back(), rows);
}

TEST(LongValueInRows, InlineValuesMoveOutWhenTheRowWouldBeTooLong) {
  // 60 Memo columns of 32 bytes: 60 x 44 bytes inline would pass 2012.
  std::vector<Col> cols;
  for (int i = 0; i < 60; ++i) cols.push_back({ColumnType::Memo, "m" + std::to_string(i)});
  RowStore store(make_table(cols));
  std::vector<Value> row;
  for (int i = 0; i < 60; ++i)
    row.push_back(std::string(i % 2 ? 32 : 30, static_cast<char>('A' + i % 26)));
  const B bytes = store.add(row);
  EXPECT_LE(bytes.size(), 2012u);
  EXPECT_GT(bytes.size(), 1900u);  // as many as fit stay inline
  EXPECT_FALSE(store.lval().pages().empty());
  EXPECT_EQ(store.read_back().at(0), row);
}

TEST(LongValueInRows, NothingIsStoredForARowThatFails) {
  RowStore store(make_table({{ColumnType::Binary, "b", 255}, {ColumnType::Memo, "m"}}));
  try {
    store.add({Bytes(2000, 1), std::string(5000, 'x')});
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.jet_code(), 3047);
    EXPECT_NE(std::string(e.what()).find("'b'"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(store.lval().pages().empty());

  // A value that needs a page, and no pages to put it on.
  CodePage cp(1252);
  RowBuilder rb(make_table({{ColumnType::Memo, "remarks"}}), cp, "T");
  EXPECT_NO_THROW(rb.build(std::vector<Value>{std::string(32, 'x')}));
  try {
    rb.build(std::vector<Value>{std::string(33, 'x')});
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("'remarks'"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace mirutone::jet
