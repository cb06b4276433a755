// Code pages, UCS-2 and Jet 4's compressed text.
#include <gtest/gtest.h>

#include <string>

#include "db/jet/text/codepage.h"
#include "db/jet/api/error.h"

namespace mirutone::jet {
namespace {

std::string bytes(std::initializer_list<int> b) {
  std::string s;
  for (int x : b) s.push_back(static_cast<char>(x));
  return s;
}

TEST(CodePageForSortOrder, MapsLcidsToWindowsAnsiCodePages) {
  EXPECT_EQ(codepage_for_sort_order(0x0411), 932);   // Japanese
  EXPECT_EQ(codepage_for_sort_order(0x0404), 950);   // Traditional Chinese
  EXPECT_EQ(codepage_for_sort_order(0x0804), 936);   // Simplified Chinese
  EXPECT_EQ(codepage_for_sort_order(0x0412), 949);   // Korean
  EXPECT_EQ(codepage_for_sort_order(0x0419), 1251);  // Russian
  EXPECT_EQ(codepage_for_sort_order(0x0422), 1251);  // Ukrainian
  EXPECT_EQ(codepage_for_sort_order(1055), 1254);    // Turkish (j3_psc_stale_rowcount.mdb)
  EXPECT_EQ(codepage_for_sort_order(0x0408), 1253);  // Greek
  EXPECT_EQ(codepage_for_sort_order(0x0405), 1250);  // Czech
  EXPECT_EQ(codepage_for_sort_order(0x0415), 1250);  // Polish
  EXPECT_EQ(codepage_for_sort_order(0x0C1A), 1251);  // Serbian Cyrillic
  EXPECT_EQ(codepage_for_sort_order(0x081A), 1250);  // Serbian Latin
  EXPECT_EQ(codepage_for_sort_order(0x040D), 1255);  // Hebrew
  EXPECT_EQ(codepage_for_sort_order(0x0401), 1256);  // Arabic
  EXPECT_EQ(codepage_for_sort_order(0x0425), 1257);  // Estonian
  EXPECT_EQ(codepage_for_sort_order(0x041E), 874);   // Thai
  EXPECT_EQ(codepage_for_sort_order(0x0409), 1252);  // General
  EXPECT_EQ(codepage_for_sort_order(0x0400), 1252);  // Neutral
  EXPECT_EQ(codepage_for_sort_order(0), 1252);
}

TEST(CodePage, Cp932DecodesKanjiKatakanaAndHalfWidthKana) {
  CodePage cp(932);
  EXPECT_FALSE(cp.single_byte());
  // 日本ｱxy as in j3_patched_cp932.mdb
  EXPECT_EQ(cp.decode(bytes({0x93, 0xFA, 0x96, 0x7B, 0xB1, 'x', 'y'})), "日本ｱxy");
  // Windows-31J extensions: circled digit one and the full-width tilde.
  EXPECT_EQ(cp.decode(bytes({0x87, 0x40, 0x81, 0x60})), "①～");
  EXPECT_EQ(cp.decode("plain"), "plain");
}

TEST(CodePage, Cp932EncodeRoundTripsAndRejectsWhatItCannotHold) {
  CodePage cp(932);
  for (const char* s : {"表ソ能abc", "①～", "ｶﾞ", "ASCII only"})
    EXPECT_EQ(cp.decode(cp.encode(s)), s);
  EXPECT_EQ(cp.encode("表"), bytes({0x95, 0x5C}));  // trail byte is '\'
  try {
    cp.encode("ab한");
    FAIL() << "Hangul is not in code page 932";
  } catch (const Error& e) {
    std::string m = e.what();
    EXPECT_NE(m.find("U+D55C"), std::string::npos) << m;
    EXPECT_NE(m.find("932"), std::string::npos) << m;
  }
  // Look-alikes are refused: iconv's would read back as another character
  // (£ as ￡, ‾ as ~, 〜 as ～, — as ―, − as －), Windows' best fit as plain
  // letters (é as e, Ā as A).
  for (const char* s : {"£", "¢", "¬", "‾", "〜", "—", "−", "‖", "é", "Ā"}) {
    EXPECT_THROW(cp.encode(std::string("x") + s), Error) << s;
  }
  // The one deliberate mapping: the yen sign is 0x5C, as on Japanese Windows.
  EXPECT_EQ(cp.encode("¥100"), "\\100");
  EXPECT_STREQ(deliberate_mapping(932, U'¥'), "\\");
  EXPECT_EQ(deliberate_mapping(932, U'£'), nullptr);
  EXPECT_EQ(deliberate_mapping(1252, U'¥'), nullptr);
  EXPECT_EQ(CodePage(1252).encode("£¥"), bytes({0xA3, 0xA5}));
}

TEST(CodePage, InvalidMultiByteSequencesAreErrorsNotQuestionMarks) {
  CodePage cp(932);
  EXPECT_THROW(cp.decode(bytes({'a', 0x81})), Error);        // lead byte at the end
  EXPECT_THROW(cp.decode(bytes({0x81, 0x20, 'b'})), Error);  // bad trail byte
  EXPECT_THROW(cp.encode(bytes({'a', 0xC3})), Error);        // broken UTF-8
}

TEST(CodePage, GbkDecodesSimplifiedChinese) {
  CodePage cp(936);
  EXPECT_EQ(cp.decode(bytes({'G', 'B', 'K', 0xB1, 0xE0, 0xC2, 0xEB})), "GBK编码");
  // The same bytes read as 1252 give the familiar mojibake.
  EXPECT_EQ(CodePage(1252).decode(bytes({'G', 'B', 'K', 0xB1, 0xE0, 0xC2, 0xEB})), "GBK±àÂë");
}

TEST(CodePage, SingleByteCodePagesKeepUnassignedBytes) {
  CodePage cp(1252);
  EXPECT_TRUE(cp.single_byte());
  EXPECT_EQ(cp.decode(bytes({0x80, 0x93, 0x94})), "€“”");
  // 0x81 is unassigned in 1252: it reads as U+0081 and writes back unchanged.
  std::string s = cp.decode(bytes({'A', 0x81, 'A'}));
  EXPECT_EQ(s, "A\xC2\x81" "A");
  EXPECT_EQ(cp.encode(s), bytes({'A', 0x81, 'A'}));
  EXPECT_EQ(cp.encode("€"), bytes({0x80}));
  EXPECT_THROW(cp.encode("日"), Error);
  EXPECT_EQ(CodePage(1251).decode(bytes({0xCC, 0xE8, 0xF0})), "Мир");
  EXPECT_EQ(CodePage(1254).encode("ğış"), bytes({0xF0, 0xFD, 0xFE}));
}

TEST(CodePage, UnknownCodePageIsAnError) { EXPECT_THROW(CodePage(12345), Error); }

TEST(Utf16Text, DecodesSurrogatePairsAndRejectsBrokenInput) {
  std::string out;
  const std::uint8_t mir[] = {0x1C, 0x04, 0x38, 0x04, 0x40, 0x04};
  decode_utf16le(mir, sizeof mir, out);
  EXPECT_EQ(out, "Мир");
  out.clear();
  const std::uint8_t pair[] = {0x3D, 0xD8, 0x00, 0xDE};  // U+1F600
  decode_utf16le(pair, sizeof pair, out);
  EXPECT_EQ(out, "\xF0\x9F\x98\x80");
  const std::uint8_t lone[] = {0x3D, 0xD8, 'a', 0};
  EXPECT_THROW(decode_utf16le(lone, sizeof lone, out), Error);
  EXPECT_THROW(decode_utf16le(mir, 5, out), Error);
}

TEST(Jet4Text, CompressedFormSwitchesBetweenOneAndTwoByteCharacters) {
  std::string out;
  const std::uint8_t plain[] = {'a', 0, 0xE5, 0x65};  // "a日" uncompressed
  decode_jet4_text(plain, sizeof plain, out);
  EXPECT_EQ(out, "a日");

  out.clear();
  const std::uint8_t compressed[] = {0xFF, 0xFE, 'a', 'b', 0xE9};  // "abé"
  decode_jet4_text(compressed, sizeof compressed, out);
  EXPECT_EQ(out, "abé");

  out.clear();
  // "a", switch, U+65E5 (two bytes), switch back, "b".
  const std::uint8_t mixed[] = {0xFF, 0xFE, 'a', 0x00, 0xE5, 0x65, 0x00, 'b'};
  decode_jet4_text(mixed, sizeof mixed, out);
  EXPECT_EQ(out, "a日b");

  out.clear();
  const std::uint8_t empty[] = {0xFF, 0xFE};
  decode_jet4_text(empty, sizeof empty, out);
  EXPECT_EQ(out, "");

  const std::uint8_t cut[] = {0xFF, 0xFE, 'a', 0x00, 0xE5};  // ends inside a character
  EXPECT_THROW(decode_jet4_text(cut, sizeof cut, out), Error);
}

}  // namespace
}  // namespace mirutone::jet
