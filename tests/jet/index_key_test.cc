// Index keys: the byte forms of every column type, the Access 97 General text
// keys and the Japanese (0x0411) text keys. Expected bytes come from index
// pages Jet wrote (numeric and General keys; the sample-file walk in
// index_page_test.cc checks thousands more) and, for 0x0411, from Windows'
// own sort keys for the same strings (LCMapString as the current weight
// generation computes them). Orderings are checked against what Japanese
// collation is known to do, including the order of every JIS X 0208 kanji in
// the Japanese Northwind sample written by Access.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>

#include "db/jet/catalog/catalog.h"
#include "db/jet/text/codepage.h"
#include "db/jet/file/header.h"
#include "db/jet/index/index_key.h"
#include "db/jet/index/sort_japanese.h"
#include "db/jet/index/index_page.h"
#include "db/jet/file/page_file.h"
#include "db/jet/row/table_cursor.h"
#include "db/jet/tdef/tdef.h"
#include "jet/index_samples.h"
#include "support/test_support.h"

namespace mirutone::jet {
namespace {

std::string key_hex(ColumnType t, bool asc, const Value& v, const TextKeyEncoder* text = nullptr) {
  Bytes out;
  append_key_column(out, t, asc, v, text);
  return to_hex(out);
}

Value i32(std::int32_t v) { return Value{v}; }

TEST(IndexKey, IntegerTypesAsJetStoresThem) {
  EXPECT_EQ(key_hex(ColumnType::Long, true, i32(1)), "7f80000001");
  EXPECT_EQ(key_hex(ColumnType::Long, true, i32(std::numeric_limits<std::int32_t>::min())),
            "7f00000000");
  EXPECT_EQ(key_hex(ColumnType::Long, true, i32(0x0F000001)), "7f8f000001");
  EXPECT_EQ(key_hex(ColumnType::Long, false, i32(1)), "807ffffffe");
  EXPECT_EQ(key_hex(ColumnType::Byte, true, i32(0)), "7f00");
  EXPECT_EQ(key_hex(ColumnType::Byte, false, i32(0)), "80ff");
  EXPECT_EQ(key_hex(ColumnType::Integer, true, i32(-1)), "7f7fff");
  EXPECT_EQ(key_hex(ColumnType::Currency, true, Value{Currency{15000}}), "7f8000000000003a98");
  EXPECT_EQ(key_hex(ColumnType::Currency, true, Value{Currency{-1}}), "7f7fffffffffffffff");
}

TEST(IndexKey, FloatsDatesAndBooleans) {
  EXPECT_EQ(key_hex(ColumnType::Double, true, Value{1.0}), "7fbff0000000000000");
  EXPECT_EQ(key_hex(ColumnType::Double, true, Value{-1.0}), "7f400fffffffffffff");
  EXPECT_EQ(key_hex(ColumnType::Double, false, Value{1.0}), "80400fffffffffffff");
  EXPECT_EQ(key_hex(ColumnType::Double, false, Value{-1.0}), "80bff0000000000000");
  EXPECT_EQ(key_hex(ColumnType::Single, true, Value{0.0f}), "7f80000000");
  EXPECT_EQ(key_hex(ColumnType::Single, true, Value{-2.0f}), "7f3fffffff");
  EXPECT_EQ(key_hex(ColumnType::DateTime, true, Value{DateTime{36526.5}}),
            key_hex(ColumnType::Double, true, Value{36526.5}));
  EXPECT_EQ(key_hex(ColumnType::Boolean, true, Value{true}), "7f00");
  EXPECT_EQ(key_hex(ColumnType::Boolean, true, Value{false}), "7fff");
  EXPECT_EQ(key_hex(ColumnType::Boolean, false, Value{true}), "80ff");
  EXPECT_EQ(key_hex(ColumnType::Boolean, true, Value{}), "7fff");  // no Null Booleans in Jet
}

TEST(IndexKey, NumericKeysSortLikeTheirValues) {
  const std::vector<double> values = {-1e300, -2.5, -1.0, -1e-300, 0.0, 1e-300, 0.5, 1.0, 3.0, 1e300};
  for (bool asc : {true, false}) {
    for (std::size_t i = 1; i < values.size(); ++i) {
      const std::string a = key_hex(ColumnType::Double, asc, Value{values[i - 1]});
      const std::string b = key_hex(ColumnType::Double, asc, Value{values[i]});
      EXPECT_EQ(asc, a < b) << values[i - 1] << " vs " << values[i];
      const std::string fa = key_hex(ColumnType::Single, asc, Value{static_cast<float>(values[i - 1])});
      const std::string fb = key_hex(ColumnType::Single, asc, Value{static_cast<float>(values[i])});
      if (static_cast<float>(values[i - 1]) != static_cast<float>(values[i])) {
        EXPECT_EQ(asc, fa < fb) << values[i - 1] << " vs " << values[i];
      }
    }
  }
  const std::vector<std::int32_t> ints = {-2147483647 - 1, -70000, -1, 0, 1, 255, 70000, 2147483647};
  for (std::size_t i = 1; i < ints.size(); ++i)
    EXPECT_LT(key_hex(ColumnType::Long, true, i32(ints[i - 1])),
              key_hex(ColumnType::Long, true, i32(ints[i])));
}

TEST(IndexKey, NullsAndMultiColumnKeys) {
  EXPECT_EQ(key_hex(ColumnType::Long, true, Value{}), "00");
  EXPECT_EQ(key_hex(ColumnType::Text, false, Value{}), "ff");
  auto general = make_text_key_encoder(Format::Jet3, fmt::kSortGeneral);
  // MSysObjects (ParentId, Name): 7f + ParentId, then 7f + the name's key.
  IndexKeyEncoder keys({{ColumnType::Long, true}, {ColumnType::Text, true}}, general);
  const std::vector<Value> row = {i32(0x0F000001), Value{std::string("MSysObjects")}};
  EXPECT_EQ(to_hex(keys.encode(row)), "7f8f0000017f6f767d7672616b6662777600");
  EXPECT_THROW(keys.encode(std::vector<Value>{i32(1)}), Error);
  EXPECT_THROW(IndexKeyEncoder({}, general), Error);
}

TEST(IndexKey, BinaryAndGuidSegments) {
  EXPECT_EQ(key_hex(ColumnType::Binary, true, Value{Bytes{0, 0, 0, 1}}), "7f000000010000000004");
  const Bytes nine = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  EXPECT_EQ(key_hex(ColumnType::Binary, true, Value{nine}), "7f010203040506070809090000000000000001");
  // Descending: data and length inverted, the 0x09 marker kept.
  EXPECT_EQ(key_hex(ColumnType::Binary, false, Value{nine}), "80fefdfcfbfaf9f8f709f6fffffffffffffffe");
  Guid g;
  for (int i = 0; i < 16; ++i) g.bytes[i] = static_cast<std::uint8_t>(i);
  EXPECT_EQ(key_hex(ColumnType::GUID, true, Value{g}), "7f03020100050407060908090a0b0c0d0e0f08");
}

TEST(IndexKey, RefusesValuesThatCannotBeKeyed) {
  EXPECT_THROW(key_hex(ColumnType::Long, true, Value{std::string("1")}), Error);
  EXPECT_THROW(key_hex(ColumnType::Byte, true, i32(256)), Error);
  EXPECT_THROW(key_hex(ColumnType::Integer, true, i32(40000)), Error);
  EXPECT_THROW(key_hex(ColumnType::OLE, true, Value{Bytes{1}}), Error);
  EXPECT_THROW(key_hex(ColumnType::Decimal, true, Value{Decimal{}}), Error);
  EXPECT_THROW(key_hex(ColumnType::Text, true, Value{std::string("a")}), Error);  // no encoder
  EXPECT_THROW(make_text_key_encoder(Format::Jet3, 0x041F), Error);  // Turkish
  EXPECT_THROW(make_text_key_encoder(Format::Jet4, fmt::kSortGeneral), Error);
  EXPECT_THROW(make_text_key_encoder(Format::Jet4, fmt::kSortJapanese), Error);
}

// ---- General (Access 97) ------------------------------------------------------

std::string general_key(const std::string& s, bool asc = true) {
  static auto enc = make_text_key_encoder(Format::Jet3, fmt::kSortGeneral);
  return key_hex(ColumnType::Text, asc, Value{s}, enc.get());
}

TEST(GeneralTextKeys, KeysJetWrote) {
  EXPECT_EQ(general_key("Table1"), "7f7760616d665700");
  EXPECT_EQ(general_key("MSysObjects"), "7f6f767d7672616b6662777600");
  EXPECT_EQ(general_key("Table1", false), "80889f9e9299a8ff");
  EXPECT_EQ(general_key(""), "7f00");
  EXPECT_EQ(general_key("A-B"), "7f601e6100");
}

TEST(GeneralTextKeys, TrailingSpacesDoNotCountButInnerOnesDo) {
  // Jet wrote e.g. a Northwind customer name ending in a space without it.
  EXPECT_EQ(general_key("Ana Trujillo  "), general_key("Ana Trujillo"));
  EXPECT_NE(general_key("Ana  Trujillo"), general_key("Ana Trujillo"));
  EXPECT_EQ(general_key("   "), "7f00");
  EXPECT_EQ(general_key(std::string("Lock\0", 5)), "7f6d72626c1000");  // NUL keyed as a control
}

TEST(GeneralTextKeys, CaseFoldsAndAccentsComeLast) {
  EXPECT_EQ(general_key("CAFE"), general_key("cafe"));
  EXPECT_EQ(general_key("CAFE"), "7f6260676600");
  EXPECT_EQ(general_key("Caf\u00e9"), "7f62606766022400");
  EXPECT_EQ(general_key("Z\u00fcrich"), "7f7e78756a62690600");
  // cafe < café < cafes: the accent only breaks the tie.
  EXPECT_LT(general_key("cafe"), general_key("caf\u00e9"));
  EXPECT_LT(general_key("caf\u00e9"), general_key("cafes"));
  // Windows-1252 characters beyond Latin-1 go through their code page byte:
  // U+201C is 0x93, U+0192 is 0x83, U+0160 (S caron) is 0x8A, an S with accent 0xA.
  EXPECT_EQ(general_key("\u201c"), "7f1300");
  EXPECT_EQ(general_key("\u0192"), "7f3200");
  EXPECT_EQ(general_key("\u0160"), "7f760a00");
}

TEST(GeneralTextKeys, RefusesTextOutsideWindows1252) {
  EXPECT_THROW(general_key("\u65e5\u672c"), Error);
  EXPECT_THROW(general_key(std::string("\xff\xfe", 2)), Error);  // not UTF-8
  EXPECT_THROW(general_key(std::string("\xc3", 1)), Error);      // cut short
}


// ---- Japanese (0x0411) ------------------------------------------------------

std::string ja_key(const std::string& s, bool asc = true) {
  // The built-in table, whatever the platform's default source of keys.
  static const JapaneseTextKeys enc;
  return key_hex(ColumnType::Text, asc, Value{s}, &enc);
}

std::string unspaced(std::string s) {
  s.erase(std::remove(s.begin(), s.end(), ' '), s.end());
  return s;
}

// Windows' sort keys for these strings (LCMapString, LCID 0x0411, ignoring
// case, kana type and width; current weight generation), with Jet's 7f.
TEST(JapaneseTextKeys, WindowsSortKeysForCatalogNamesAndDates) {
  EXPECT_EQ(ja_key("M_TAG"), unspaced("7f 0e51 0744 0e99 0e02 0e25 01 01 01 01 00"));
  EXPECT_EQ(ja_key("D_DDAT"), unspaced("7f 0e1a 0744 0e1a 0e1a 0e02 0e99 01 01 01 01 00"));
  EXPECT_EQ(ja_key("MSysObjects"),
            unspaced("7f 0e51 0e91 0ea7 0e91 0e7c 0e09 0e35 0e21 0e0a 0e99 0e91 01 01 01 01 00"));
  EXPECT_EQ(ja_key("M_UNITGET"),
            unspaced("7f 0e51 0744 0e9f 0e70 0e32 0e99 0e25 0e21 0e99 01 01 01 01 00"));
  EXPECT_EQ(ja_key("2009/01/31"),
            unspaced("7f 0d1c 0d03 0d03 0d2a 0735 0d03 0d1a 0735 0d1e 0d1a 01 01 01 01 00"));
  EXPECT_EQ(ja_key("2009"), unspaced("7f 0d1c 0d03 0d03 0d2a 01 01 01 01 00"));
  EXPECT_EQ(ja_key("2009 "), ja_key("2009"));
  // Apostrophe and hyphen: no primary weight, a special weight at the end
  // holding -(primary weights before it) - 1.
  EXPECT_EQ(ja_key("A-B"), unspaced("7f 0e02 0e09 01 01 01 01 fffe 82 12 00"));
  EXPECT_EQ(ja_key("AB'"), unspaced("7f 0e02 0e09 01 01 01 01 fffd 80 12 00"));
}

TEST(JapaneseTextKeys, WindowsSortKeysForKanaAndKanjiNames) {
  const std::string c4x7 = "c4c4c4c4c4c4c4";
  EXPECT_EQ(ja_key("\u30d1\u30eb\u30b9\u30c6\u30fc\u30d6\u30eb"),  // パルステーブル
            unspaced("7f 222a 2244 2214 221d 2205 222c 2244 01 0402020202 03 01 01 ff 0303030305 02") +
                c4x7 + "ff" + c4x7 + "ff0100");
  EXPECT_EQ(ja_key("\u65e5\u5831\u30da\u30fc\u30b8\u30bf\u30a4\u30c8\u30eb"),  // 日報ページタイトル
            unspaced("7f cd04 ce88 222d 2205 2213 221a 2203 221e 2244 01 0202040203 01 01 ff 0305 02") +
                c4x7 + "ff" + c4x7 + "ff0100");
  EXPECT_EQ(ja_key("\u5927\u9805\u76ee\u60c5\u5831"),  // 大項目情報
            unspaced("7f cb55 c7ca cf35 c9dc ce88 01 01 01 01 00"));
  EXPECT_EQ(ja_key("\u65e5\u5831\u60c5\u5831\u30bd\u30fc\u30c8"),  // 日報情報ソート
            unspaced("7f cd04 ce88 c9dc ce88 2216 2206 221e 01 01 01 ff 0305 02 c4c4c4 ff c4c4c4 ff 01 00"));
}

TEST(JapaneseTextKeys, FoldsCaseWidthAndKanaTypeButKeepsSmallKanaAndVoicing) {
  EXPECT_EQ(ja_key("abc"), ja_key("ABC"));
  EXPECT_EQ(ja_key("ABC"), ja_key("\uff21\uff22\uff23"));      // full-width Latin
  EXPECT_EQ(ja_key("2009"), ja_key("\uff12\uff10\uff10\uff19"));  // full-width digits
  EXPECT_EQ(ja_key("\u30a2\u30a4"), ja_key("\u3042\u3044"));     // アイ = あい
  EXPECT_EQ(ja_key("\u30a2\u30a4"), ja_key("\uff71\uff72"));     // アイ = ｱｲ
  EXPECT_LT(ja_key("\u3041"), ja_key("\u3042"));                 // ぁ < あ
  EXPECT_LT(ja_key("\u304b"), ja_key("\u304c"));                 // か < が
  EXPECT_LT(ja_key("\u304c"), ja_key("\u304d"));                 // が < き
  EXPECT_LT(ja_key("\u30cf"), ja_key("\u30d0"));                 // ハ < バ < パ
  EXPECT_LT(ja_key("\u30d0"), ja_key("\u30d1"));
  // A trailing prolonged sound mark repeats the vowel: ター sorts with タア.
  EXPECT_EQ(ja_key("\u30bf\u30fc").substr(0, 10), ja_key("\u30bf\u30a2").substr(0, 10));
}

TEST(JapaneseTextKeys, OrdersScriptsAsJapaneseCollationDoes) {
  // Symbols, digits, Latin, kana, kanji; kana in gojuon order; kanji in JIS order.
  const std::vector<std::string> ordered = {
      " ", "/", "_", "0", "1", "10", "2", "9", "A", "a b", "ab", "B", "Z",
      "\u3042",  // あ
      "\u3044",  // い
      "\u30a6",  // ウ
      "\uff76",  // ｶ
      "\u304c",  // が
      "\u3055",  // さ
      "\u3093",  // ん
      "\u4e9c",  // 亜 (first JIS level 1 kanji)
      "\u5927",  // 大
      "\u65e5",  // 日
      "\u65e5\u5831",  // 日報
      "\u672c",  // 本
      "\u8155",  // 腕 (last JIS level 1 kanji)
      "\u5f0c",  // 弌 (first JIS level 2 kanji)
  };
  for (std::size_t i = 1; i < ordered.size(); ++i)
    EXPECT_LT(ja_key(ordered[i - 1]), ja_key(ordered[i])) << i;
  // Dates as the converter stores them sort chronologically.
  const std::vector<std::string> dates = {"2009", "2009/01", "2009/01/31", "2009/02", "2009/12/01", "2010"};
  for (std::size_t i = 1; i < dates.size(); ++i) EXPECT_LT(ja_key(dates[i - 1]), ja_key(dates[i]));
  // Descending keys invert the order.
  EXPECT_GT(ja_key("\u3042", false), ja_key("\u3044", false));
}

TEST(JapaneseTextKeys, EveryJisKanjiHasAWeightRisingInShiftJisOrder) {
  // Level 1 kanji are in reading order and level 2 in radical order, both in
  // Shift_JIS code order: their keys must rise strictly in that order.
  CodePage sjis(932);
  std::string prev;
  int count = 0;
  for (int hi = 0x88; hi <= 0xEA; ++hi) {
    if (hi > 0x9F && hi < 0xE0) continue;
    for (int lo = 0x40; lo <= 0xFC; ++lo) {
      if (lo == 0x7F) continue;
      const int code = hi << 8 | lo;
      if (code < 0x889F || code > 0xEAA4 || (code > 0x9872 && code < 0x989F)) continue;
      const char bytes[2] = {static_cast<char>(hi), static_cast<char>(lo)};
      const std::string text = sjis.decode(std::string_view(bytes, 2));
      const std::string key = ja_key(text);
      if (!prev.empty()) {
        EXPECT_LT(prev, key) << std::hex << code;
      }
      prev = key;
      ++count;
    }
  }
  EXPECT_EQ(count, 6355);
}

TEST(JapaneseTextKeys, RefusesCharactersWithoutAWeight) {
  EXPECT_THROW(ja_key("\ue000"), Error);          // user-defined (private use)
  EXPECT_THROW(ja_key("\u338e"), Error);          // ㎎ expands to two characters
  EXPECT_THROW(ja_key("\U0001F600"), Error);      // beyond code page 932
  EXPECT_THROW(ja_key(std::string("\xe3\x81", 2)), Error);  // cut-off UTF-8
}

// Access wrote the indexes of the Japanese Northwind (Jet 4, sort order 1041)
// in Windows' Japanese collation order. Jet 4 stores another key shape, but
// the order is the collation's: our keys, computed from the rows in the order
// Jet's index lists them, must never decrease (MSysObjects' 150-odd object
// names, company and product names in kanji and kana, addresses, postcodes).
TEST(JapaneseTextKeys, OrderAgreesWithAccessJapaneseNorthwind) {
  MIRUTONE_REQUIRE_TESTDATA();
  SampleDb db("j4_ja_northwind.mdb");
  ASSERT_EQ(db.header.sort_order, fmt::kSortJapanese);
  auto ja = make_text_key_encoder(Format::Jet3, fmt::kSortJapanese);
  int text_indexes = 0, pairs = 0, japanese_values = 0;
  for (const CatalogEntry& e : db.catalog) {
    if (e.kind() != fmt::kObjectTypeTable) continue;
    auto td = std::make_shared<const TableDef>(
        read_tdef(*db.file, db.lay(), *db.text, e.tdef_page(), e.name));
    const std::vector<LiveRow> rows = live_rows(db, td, e.name);
    for (const RealIndexDef& idx : td->real_indexes) {
      std::vector<IndexKeyColumn> cols;
      std::vector<std::size_t> pos;
      bool has_text = false;
      for (const auto& c : idx.columns) {
        const ColumnDef* cd = td->column_by_number(c.number);
        ASSERT_NE(cd, nullptr);
        pos.push_back(static_cast<std::size_t>(cd - td->columns.data()));
        cols.push_back({cd->type, c.ascending});
        if (cd->type == ColumnType::Text) has_text = cd->sort_order == fmt::kSortJapanese;
      }
      if (!has_text) continue;
      ++text_indexes;
      IndexKeyEncoder keys(cols, ja);
      const IndexTree tree = read_index_tree(*db.file, Format::Jet4, idx.first_page, e.tdef_page());
      std::string prev, prev_text;
      for (const auto& t : tree.entries) {
        auto row = std::find_if(rows.begin(), rows.end(), [&](const LiveRow& r) {
          return r.page == t.page && r.row == t.row;
        });
        ASSERT_NE(row, rows.end());
        std::vector<Value> v;
        std::string text;
        for (std::size_t p : pos) {
          v.push_back(row->values[p]);
          if (auto s = std::get_if<std::string>(&row->values[p])) {
            text += *s + "|";
            japanese_values += std::any_of(s->begin(), s->end(), [](char c) { return c & 0x80; });
          }
        }
        const std::string key = to_hex(keys.encode(v));
        if (!prev.empty()) {
          ++pairs;
          EXPECT_LE(prev, key) << e.name << ": \"" << prev_text << "\" before \"" << text << "\"";
        }
        prev = key;
        prev_text = text;
      }
    }
  }
  EXPECT_GE(text_indexes, 15);
  EXPECT_GE(pairs, 1000);
  EXPECT_GE(japanese_values, 500);
}

// Jet 4 keys for 1041 carry the same kanji weights in their primary part,
// two bytes each, with the script byte 0x43 lower than the current table's
// (jet-japanese-sort.md 2.2). Every kanji of every Japanese index entry Access
// wrote into the Northwind sample must have exactly our weight, shifted so.
TEST(JapaneseTextKeys, KanjiWeightsMatchAccessJapaneseNorthwind) {
  MIRUTONE_REQUIRE_TESTDATA();
  SampleDb db("j4_ja_northwind.mdb");
  auto ja = make_text_key_encoder(Format::Jet3, fmt::kSortJapanese);
  constexpr std::uint8_t kFirstKanjiScript = 0xC4, kJet4Shift = 0x43;
  // Two-byte weights with a script byte in the kanji range, up to the end of
  // the primary weights (the first 01 where a weight would start).
  auto kanji_weights = [](const Bytes& k, std::size_t at, bool jet4) {
    std::vector<std::uint16_t> out;
    while (at < k.size() && k[at] != 0x01) {
      const std::uint8_t b = k[at];
      const bool two = !jet4 || b >= 0x7F || b == 0x2B;
      if (two && at + 1 < k.size() && b != 0xFF) {
        const std::uint8_t script = jet4 ? b + kJet4Shift : b;
        if (script >= kFirstKanjiScript) out.push_back(static_cast<std::uint16_t>(script << 8 | k[at + 1]));
      }
      at += two ? 2 : 1;
    }
    return out;
  };
  std::set<std::uint16_t> distinct;
  int entries = 0;
  for (const CatalogEntry& e : db.catalog) {
    if (e.kind() != fmt::kObjectTypeTable) continue;
    auto td = std::make_shared<const TableDef>(
        read_tdef(*db.file, db.lay(), *db.text, e.tdef_page(), e.name));
    const std::vector<LiveRow> rows = live_rows(db, td, e.name);
    for (const RealIndexDef& idx : td->real_indexes) {
      // The first text column and the number of key bytes before it.
      std::size_t skip = 0, text_pos = SIZE_MAX;
      bool fixed_before = true;
      for (const auto& c : idx.columns) {
        const ColumnDef* cd = td->column_by_number(c.number);
        if (cd->type == ColumnType::Text && cd->sort_order == fmt::kSortJapanese && c.ascending) {
          text_pos = static_cast<std::size_t>(cd - td->columns.data());
          break;
        }
        if (cd->type != ColumnType::Long) fixed_before = false;
        skip += 5;
      }
      if (text_pos == SIZE_MAX || !fixed_before) continue;
      for (const auto& t : read_index_tree(*db.file, Format::Jet4, idx.first_page).entries) {
        auto row = std::find_if(rows.begin(), rows.end(),
                                [&](const LiveRow& r) { return r.page == t.page && r.row == t.row; });
        ASSERT_NE(row, rows.end());
        const auto* text = std::get_if<std::string>(&row->values[text_pos]);
        if (!text || t.key.size() <= skip || t.key[skip] != kKeyFlagAscending) continue;
        // Only texts of kanji, kana, ASCII letters, digits and spaces: the
        // one-byte forms of other symbols in Jet 4 keys are not decoded here.
        bool plain = true;
        for (char32_t c : decode_utf8(*text)) {
          std::string utf8;
          append_utf8(utf8, c);
          Bytes one;
          ja->append_key(utf8, one);
          const std::uint8_t script = one.empty() ? 0 : one[0];
          plain &= c == U' ' || script == 0x0D || script == 0x0E || script == 0x22 ||
                   script >= kFirstKanjiScript;
        }
        if (!plain) continue;
        Bytes ours;
        ja->append_key(*text, ours);
        const auto expected = kanji_weights(ours, 0, false);
        if (expected.empty()) continue;
        EXPECT_EQ(kanji_weights(t.key, skip + 1, true), expected) << e.name << ": " << *text;
        distinct.insert(expected.begin(), expected.end());
        ++entries;
      }
    }
  }
  EXPECT_GE(entries, 300);
  EXPECT_GE(distinct.size(), 300u);
}

}  // namespace
}  // namespace mirutone::jet
