// Jet 3 rows built from values: exact layouts worked out by hand from the
// format, round trips through the reader's row decoder and table cursor, the
// jump table around 256-byte boundaries, and the errors a bad value raises.
#include <gtest/gtest.h>

#include <climits>

#include "db/jet/row/row.h"
#include "writer/row_pages.h"

namespace mirutone::jet {
namespace {

using rowtest::Col;
using rowtest::make_table;
using rowtest::RowStore;
using B = std::vector<std::uint8_t>;

B bytes_of(std::initializer_list<int> v) {
  B out;
  for (int x : v) out.push_back(static_cast<std::uint8_t>(x));
  return out;
}

Bytes filled(std::size_t n, std::uint8_t seed) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(seed + i * 7);
  return b;
}

// Splits `row` with the reader's decoder.
std::vector<FieldRef> crack(const TableDef& td, const B& row) {
  std::vector<FieldRef> fields;
  crack_row(td, fmt::kJet3, row.data(), row.size(), fields, RowContext{});
  return fields;
}

TEST(RowBuilderLayout, SmallRowsMatchTheFormatByteForByte) {
  CodePage cp(1252);
  // Long, Text, Boolean, Text: 4 columns, fixed area 4 bytes, 2 variable columns.
  RowBuilder rb(make_table({{ColumnType::Long, "id"},
                            {ColumnType::Text, "a", 10},
                            {ColumnType::Boolean, "flag"},
                            {ColumnType::Text, "b", 10}}),
                cp, "T");
  EXPECT_EQ(rb.fixed_area_size(), 4);
  EXPECT_EQ(rb.var_count(), 2);

  // Everything NULL but a True Boolean: fixed area kept (zeros), both
  // offsets equal to eod, and only the Boolean's bit set.
  EXPECT_EQ(
      rb.build(std::vector<Value>{std::monostate{}, std::monostate{}, true, std::monostate{}}),
      bytes_of({0x04, 0, 0, 0, 0, 0x05, 0x05, 0x05, 0x02, 0x04}));

  // id = 0x01020304, a = "xy", flag False, b = "" (present but empty).
  EXPECT_EQ(rb.build(std::vector<Value>{0x01020304, std::string("xy"), false, std::string()}),
            bytes_of({0x04, 0x04, 0x03, 0x02, 0x01, 'x', 'y', 0x07, 0x07, 0x05, 0x02, 0x0B}));

  // A NULL Boolean is False, never NULL.
  EXPECT_EQ(rb.build(std::vector<Value>{std::monostate{}, std::monostate{}, std::monostate{},
                                        std::monostate{}})
                .back(),
            0x00);
}

TEST(RowBuilderLayout, TableWithoutVariableColumnsHasNoTrailer) {
  CodePage cp(1252);
  RowBuilder rb(
      make_table(
          {{ColumnType::Integer, "i"}, {ColumnType::Boolean, "b"}, {ColumnType::Currency, "c"}}),
      cp, "T");
  EXPECT_EQ(rb.var_count(), 0);
  // Currency 1.5 is stored as 15000 = 0x3A98; Integer -2 as FE FF.
  EXPECT_EQ(rb.build(std::vector<Value>{-2, true, Currency{15000}}),
            bytes_of({0x03, 0xFE, 0xFF, 0x98, 0x3A, 0, 0, 0, 0, 0, 0, 0x07}));
  EXPECT_EQ(rb.build(std::vector<Value>{std::monostate{}, false, std::monostate{}}),
            bytes_of({0x03, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00}));
}

TEST(RowBuilderLayout, ColumnNumbersWithGapsKeepTheirMaskBits) {
  // A table whose columns 1 and 3 were deleted: ncols stays at 5 and each
  // column keeps its own bit.
  TableDef td =
      make_table({{ColumnType::Byte, "a"}, {ColumnType::Text, "b", 5}, {ColumnType::Boolean, "c"}});
  td.columns[1].number = 2;
  td.columns[2].number = 4;
  td.max_columns = 5;
  CodePage cp(1252);
  RowBuilder rb(td, cp, "T");
  const B row = rb.build(std::vector<Value>{7, std::string("q"), true});
  EXPECT_EQ(row, bytes_of({0x05, 0x07, 'q', 0x03, 0x02, 0x01, 0x15}));
  auto f = crack(td, row);
  ASSERT_EQ(f.size(), 3u);
  EXPECT_TRUE(f[2].present);
  ASSERT_EQ(f[1].len, 1u);
  EXPECT_EQ(f[1].data[0], 'q');
}

TEST(RowBuilderLayout, JumpTableCasesWorkedOutByHand) {
  // One variable column from 1 to 300: one real jump, entry 1 (eod) crosses 256.
  EXPECT_EQ(jet3_var_trailer(std::vector<int>{1, 300}, 1), bytes_of({0x2C, 0x01, 0x01, 0x01}));
  // eod 252: the row is exactly 256 bytes, no jump byte.
  EXPECT_EQ(jet3_var_trailer(std::vector<int>{1, 252}, 1), bytes_of({0xFC, 0x01, 0x01}));
  // eod 253 and 255: the trailer pushes the row past 256 bytes, so a pad byte
  // (0xFF) joins it although no offset reaches 256.
  EXPECT_EQ(jet3_var_trailer(std::vector<int>{1, 253}, 1), bytes_of({0xFD, 0x01, 0xFF, 0x01}));
  EXPECT_EQ(jet3_var_trailer(std::vector<int>{1, 255}, 1), bytes_of({0xFF, 0x01, 0xFF, 0x01}));
  // Offsets exactly on 256 and 512: entry 1 first reaches 256, eod (entry 2)
  // first reaches 512; the jump for 512 is stored first, the one for 256 next
  // to the count.
  EXPECT_EQ(jet3_var_trailer(std::vector<int>{1, 256, 512}, 1),
            bytes_of({0x00, 0x00, 0x01, 0x02, 0x01, 0x02}));
  // One column crossing two boundaries at once: its index is written twice.
  EXPECT_EQ(jet3_var_trailer(std::vector<int>{1, 10, 600}, 1),
            bytes_of({0x58, 0x0A, 0x01, 0x02, 0x02, 0x02}));
  // Offsets at 511: one real jump (entry 1 reaches 256), but the trailer
  // carries the row past 512, so a pad byte goes farthest from the count.
  EXPECT_EQ(jet3_var_trailer(std::vector<int>{1, 511, 511}, 1),
            bytes_of({0xFF, 0xFF, 0x01, 0xFF, 0x01, 0x02}));
}

// Every amount of variable data from 0 to 1700 bytes, split three ways, over
// 1 to 250 variable columns (so trailers of 4 to 284 bytes), must come back
// unchanged through the reader's decoder, and the row length must agree with
// the number of jump bytes the way the readers count them.
TEST(RowBuilderJumpTable, ReaderRecoversEveryOffsetAcrossBoundaries) {
  CodePage cp(1252);
  for (int nvar : {1, 2, 5, 30, 89, 200, 250}) {
    std::vector<Col> cols;
    cols.push_back({ColumnType::Long, "id"});
    for (int i = 0; i < nvar; ++i)
      cols.push_back({ColumnType::Binary, "v" + std::to_string(i), 255});
    const TableDef td = make_table(cols);
    RowBuilder rb(td, cp, "T");
    const int mask = (nvar + 1 + 7) / 8;
    for (int total = 0; total <= 1700; ++total) {
      for (int split = 0; split < 3; ++split) {
        std::vector<Value> values{static_cast<std::int32_t>(total)};
        for (int i = 0; i < nvar; ++i) {
          std::size_t n = 0;
          if (split == 0)
            n = (i == nvar - 1) ? total : 0;  // all in the last
          else if (split == 1)
            n = (i == 0) ? total : 0;  // all in the first
          else
            n = total / nvar + (i < total % nvar ? 1 : 0);  // spread evenly
          if (i % 3 == 1 && n == 0)
            values.push_back(std::monostate{});
          else
            values.push_back(filled(n, static_cast<std::uint8_t>(i)));
        }
        B row;
        try {
          row = rb.build(values);
        } catch (const Error& e) {
          EXPECT_EQ(e.jet_code(), 3047) << e.what();
          continue;
        }
        SCOPED_TRACE("nvar " + std::to_string(nvar) + " total " + std::to_string(total) +
                     " split " + std::to_string(split));
        const int eod = 1 + 4 + total;
        const int jumps = static_cast<int>(row.size()) - eod - (1 + nvar + 1 + mask);
        ASSERT_GE(jumps, eod / 256);
        ASSERT_EQ((static_cast<int>(row.size()) - 1) / 256, jumps);
        auto f = crack(td, row);
        ASSERT_EQ(f.size(), values.size());
        for (std::size_t c = 1; c < values.size(); ++c) {
          if (is_null(values[c])) {
            EXPECT_FALSE(f[c].present);
            continue;
          }
          const Bytes& want = std::get<Bytes>(values[c]);
          ASSERT_TRUE(f[c].present);
          ASSERT_EQ(f[c].len, want.size()) << "column " << c;
          EXPECT_TRUE(std::equal(want.begin(), want.end(), f[c].data)) << "column " << c;
        }
      }
    }
  }
}

TEST(RowBuilderRoundTrip, EveryJet3TypeThroughTheTableCursor) {
  RowStore store(make_table({{ColumnType::Boolean, "yes"},
                             {ColumnType::Byte, "byte"},
                             {ColumnType::Integer, "int"},
                             {ColumnType::Long, "long"},
                             {ColumnType::Currency, "money"},
                             {ColumnType::Single, "single"},
                             {ColumnType::Double, "double"},
                             {ColumnType::DateTime, "when"},
                             {ColumnType::GUID, "guid"},
                             {ColumnType::Text, "text", 50},
                             {ColumnType::Binary, "bin", 20},
                             {ColumnType::Memo, "memo"},
                             {ColumnType::OLE, "ole"},
                             {ColumnType::Boolean, "no"}}));
  Guid g;
  for (int i = 0; i < 16; ++i)
    g.bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(0xA0 + i);
  const Value null = std::monostate{};
  std::vector<std::vector<Value>> rows = {
      {true, 255, -32768, INT_MIN, Currency{-922337203685477580LL}, 1.5f, -2.25, DateTime{36526.5},
       g, std::string("Hello, world"), filled(20, 1), std::string("short memo"), filled(40, 9),
       false},
      {false, 0, 32767, INT_MAX, Currency{15000}, -0.0f, 1e300, DateTime{-1.25}, null,
       std::string(), Bytes{}, std::string(200, 'm'), filled(5000, 3), true},
      {false, null, null, null, null, null, null, null, null, null, null, null, null, false},
      {true, 1, 2, 3, Currency{4}, 5.0f, 6.0, DateTime{7}, g, std::string(255, 'x'), filled(255, 0),
       std::string(), Bytes{}, true},
  };
  for (auto& r : rows) store.add(r);
  const auto back = store.read_back();
  ASSERT_EQ(back.size(), rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    for (std::size_t c = 0; c < rows[i].size(); ++c) {
      EXPECT_EQ(back[i][c], rows[i][c]) << "row " << i << " column " << c;
    }
  }
  // A NULL Boolean reads back as False.
  RowStore nulls(make_table({{ColumnType::Boolean, "b"}, {ColumnType::Text, "t", 5}}));
  nulls.add({std::monostate{}, std::monostate{}});
  EXPECT_EQ(nulls.read_back().at(0), (std::vector<Value>{false, std::monostate{}}));
}

TEST(RowBuilderRoundTrip, WidenedNumbersAreStoredInTheColumnType) {
  RowStore store(make_table({{ColumnType::Currency, "c"},
                             {ColumnType::Single, "s"},
                             {ColumnType::Double, "d"},
                             {ColumnType::DateTime, "t"},
                             {ColumnType::Boolean, "b"}}));
  store.add({12, 3, 2.5f, 40000.25, 1});
  EXPECT_EQ(store.read_back().at(0),
            (std::vector<Value>{Currency{120000}, 3.0f, 2.5, DateTime{40000.25}, true}));
}

TEST(RowBuilderText, Cp932KanjiAndHalfWidthKanaAreStoredAsShiftJisBytes) {
  RowStore store(make_table({{ColumnType::Text, "名前", 20}, {ColumnType::Memo, "備考"}}), 932);
  const B row = store.add({std::string("日本ｱxy"), std::string("表ソ能abc")});
  // 日 93FA, 本 967B, half-width ｱ B1; 表 955C, ソ 835C, 能 945C (0x5C trail bytes).
  const B name = bytes_of({0x93, 0xFA, 0x96, 0x7B, 0xB1, 'x', 'y'});
  EXPECT_NE(std::search(row.begin(), row.end(), name.begin(), name.end()), row.end());
  const B memo = bytes_of({0x95, 0x5C, 0x83, 0x5C, 0x94, 0x5C, 'a', 'b', 'c'});
  EXPECT_NE(std::search(row.begin(), row.end(), memo.begin(), memo.end()), row.end());
  EXPECT_EQ(store.read_back().at(0),
            (std::vector<Value>{std::string("日本ｱxy"), std::string("表ソ能abc")}));
}

TEST(RowBuilderText, TextLongerThanItsDeclaredSizeIsStoredWhole) {
  RowStore store(make_table({{ColumnType::Text, "t", 5}}));
  store.add({std::string("abcdefghij")});
  EXPECT_EQ(store.read_back().at(0), (std::vector<Value>{std::string("abcdefghij")}));
}

// The Error for `values`, or a failure when there is none.
Error build_error(const TableDef& td, const std::vector<Value>& values, int codepage = 1252) {
  CodePage cp(codepage);
  RowBuilder rb(td, cp, "Orders");
  try {
    rb.build(values);
  } catch (const Error& e) {
    return e;
  }
  ADD_FAILURE() << "no error";
  return Error(-1, "", "");
}

TEST(RowBuilderErrors, BadValuesNameTheColumnAndTable) {
  const TableDef td = make_table({{ColumnType::Byte, "qty"},
                                  {ColumnType::Integer, "small"},
                                  {ColumnType::Text, "customer", 40},
                                  {ColumnType::Long, "id"}});
  const Value n = std::monostate{};
  struct Case {
    std::vector<Value> values;
    int code;
    std::string column;
    int codepage;
  };
  const std::vector<Case> cases = {
      {{256, n, n, n}, 3349, "qty", 1252},
      {{-1, n, n, n}, 3349, "qty", 1252},
      {{n, 40000, n, n}, 3349, "small", 1252},
      {{n, -32769, n, n}, 3349, "small", 1252},
      {{n, n, 12, n}, 3421, "customer", 1252},
      {{n, n, n, std::string("7")}, 3421, "id", 1252},
      {{n, n, n, 1.5}, 3421, "id", 1252},
      {{n, std::string(), n, n}, 3421, "small", 1252},
      // Hangul and the euro sign have no CP932 code.
      {{n, n, std::string("한국"), n}, 0, "customer", 932},
      {{n, n, std::string("a€"), n}, 0, "customer", 932},
  };
  for (const Case& c : cases) {
    const Error e = build_error(td, c.values, c.codepage);
    EXPECT_EQ(e.jet_code(), c.code) << e.what();
    EXPECT_NE(std::string(e.what()).find("'" + c.column + "'"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("'Orders'"), std::string::npos) << e.what();
  }
  const Error hangul = build_error(td, {n, n, std::string("x한"), n}, 932);
  EXPECT_NE(std::string(hangul.what()).find("U+D55C"), std::string::npos) << hangul.what();

  // Decimal has no Jet 3 column, and a row needs one value per column.
  const Error dec = build_error(make_table({{ColumnType::Double, "d"}}), {Decimal{}});
  EXPECT_EQ(dec.jet_code(), 3421);
  const Error count = build_error(td, {n, n});
  EXPECT_NE(std::string(count.what()).find("needs 4 values"), std::string::npos) << count.what();
}

TEST(RowBuilderErrors, RowsUpTo2012BytesPassAndLongerOnesNameTheLargestColumn) {
  const TableDef td = make_table({{ColumnType::Long, "id"},
                                  {ColumnType::Text, "note", 255},
                                  {ColumnType::Binary, "blob", 255}});
  CodePage cp(1252);
  RowBuilder rb(td, cp, "T");
  std::size_t largest_ok = 0;
  int failures = 0;
  for (std::size_t n = 1800; n < 2000 && failures < 3; ++n) {
    try {
      const B row = rb.build(std::vector<Value>{1, std::string(100, 'n'), Bytes(n, 0x5A)});
      EXPECT_LE(row.size(), 2012u);
      EXPECT_EQ(failures, 0) << "a larger row passed after a smaller one failed";
      largest_ok = row.size();
    } catch (const Error& e) {
      ++failures;
      EXPECT_EQ(e.jet_code(), 3047);
      EXPECT_NE(std::string(e.what()).find("'blob'"), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(failures, 3);
  // The trailer grows by one pad byte at some lengths, so the largest row is
  // 2012 or (when 2012 cannot be reached exactly) 2011 bytes.
  EXPECT_GE(largest_ok, 2011u);
}

}  // namespace
}  // namespace mirutone::jet
