// Japanese (0x0411) text keys of values holding control characters, and a
// table keyed by such values.
#include <gtest/gtest.h>

#include <algorithm>

#include "db/jet/index/index_key.h"
#include "db/jet/api/writer.h"
#include "support/test_support.h"
#include "writer/index_check.h"

namespace mirutone::jet {
namespace {

std::string hex_key(const std::string& text) {
  static const auto keys = make_text_key_encoder(Format::Jet3, fmt::kSortJapanese);
  Bytes out;
  keys->append_key(text, out);
  std::string s;
  for (auto b : out) {
    static const char* digits = "0123456789abcdef";
    s += digits[b >> 4];
    s += digits[b & 15];
  }
  return s;
}

TEST(JapaneseControlKeys, ControlsAreSymbolsOrPunctuationAsWordSortHasThem) {
  // TAB..CR are symbols with primary weights of their own, below the space.
  EXPECT_EQ(hex_key("A\tB"), "0e0207050e090101010100");
  EXPECT_EQ(hex_key("A\rB"), "0e0207090e090101010100");
  EXPECT_EQ(hex_key("A B"), "0e0207020e090101010100");
  // Other C0 controls and DEL: no primary weight; a special weight at the
  // end (position -2 = after one primary, AW, case | diacritic << 3).
  EXPECT_EQ(hex_key("A\x01" "B"), "0e020e0901010101fffe031200");
  EXPECT_EQ(hex_key("A\x1f" "B"), "0e020e0901010101fffe1c1200");
  EXPECT_EQ(hex_key("A\x7f" "B"), "0e020e0901010101fffe1d1200");
  // NUL has no weight at all: the value keys as if it were not there.
  EXPECT_EQ(hex_key(std::string("A\0B", 3)), hex_key("AB"));
}

TEST(JapaneseControlKeys, EveryControlGetsADistinctKeyInCodeOrder) {
  std::vector<std::string> texts, keys;
  for (int c = 1; c < 0x20; ++c) texts.push_back(std::string("x") + static_cast<char>(c) + "y");
  texts.push_back("x\x7fy");
  for (const auto& t : texts) keys.push_back(hex_key(t));
  auto sorted = keys;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(std::unique(sorted.begin(), sorted.end()), sorted.end());
  // Within each kind the key follows the code: punctuation in its special
  // weight, symbols in their primary weight.
  for (std::size_t i = 1; i < texts.size(); ++i) {
    const unsigned a = static_cast<unsigned char>(texts[i - 1][1]), b = static_cast<unsigned char>(texts[i][1]);
    const bool sym_a = a >= 9 && a <= 13, sym_b = b >= 9 && b <= 13;
    if (sym_a == sym_b) {
      EXPECT_LT(keys[i - 1], keys[i]) << a << " " << b;
    }
  }
  // A value with a control sorts after the same value without it.
  EXPECT_LT(hex_key("xy"), hex_key("x\x01y"));
}

TEST(JapaneseControlKeys, ATableKeyedByTextWithControlsIsWrittenAndChecked) {
  test::TempDir dir;
  const std::string file = (dir / "ctl.mdb").string();
  auto w = Writer::create(file, Locale::japanese());
  w->create_table({"C", {{"K", ColumnType::Text, 10}}, {{"PrimaryKey", {"K"}, true, false, false, {}}}});
  for (int c = 1; c < 0x20; ++c) w->append_row("C", {Value{std::string("k") + static_cast<char>(c)}});
  w->append_row("C", {Value{std::string("k")}});
  // "k" + NUL keys like "k": a duplicate, as Windows compares them.
  EXPECT_THROW(w->append_row("C", {Value{std::string("k\0", 2)}}), Error);
  w->close();
  auto check = test::check_index(file, "C", 0);
  EXPECT_EQ(check.problem, "");
  EXPECT_EQ(check.entries, 32u);
}

}  // namespace
}  // namespace mirutone::jet
