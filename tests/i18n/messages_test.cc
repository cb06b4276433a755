// The message catalogue built into the program, the choice of language, and
// the text helpers the terminal relies on (grouping, wrapping, widths).
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <regex>
#include <set>
#include <sstream>

#include "i18n/messages.h"
#include "platform/language.h"

namespace mirutone::test {
namespace {

using i18n::Language;

std::multiset<std::string> placeholders(const std::string& text) {
  static const std::regex brace(R"(\{[0-9]+\})");
  std::multiset<std::string> found;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), brace); it != std::sregex_iterator(); ++it) {
    found.insert(it->str());
  }
  return found;
}

TEST(Catalogue, EveryJapaneseTextKeepsThePlaceholdersOfItsEnglish) {
  const auto& ja = i18n::catalogue(Language::Japanese);
  ASSERT_GT(ja.size(), 50u);
  for (const auto& [id, text] : ja) {
    EXPECT_EQ(placeholders(text), placeholders(id)) << id << " -> " << text;
  }
  EXPECT_TRUE(i18n::catalogue(Language::English).empty());
}

TEST(Catalogue, DamagedCatalogueIsRefused) {
  EXPECT_THROW(i18n::parse_mo("not a catalogue"), std::runtime_error);
  EXPECT_THROW(i18n::parse_mo(""), std::runtime_error);
  // The magic number, then a count of entries whose tables lie past the end.
  std::string cut("\xde\x12\x04\x95\0\0\0\0\x05\0\0\0\x1c\0\0\0\x44\0\0\0", 20);
  EXPECT_THROW(i18n::parse_mo(cut), std::runtime_error);
}

TEST(Language, ChosenByTheLocaleNameAndUsedByTr) {
  EXPECT_EQ(i18n::language_from_locale_name("ja_JP.UTF-8"), Language::Japanese);
  EXPECT_EQ(i18n::language_from_locale_name("ja"), Language::Japanese);
  for (const char* other : {"C", "C.UTF-8", "en_US.UTF-8", "", "j"}) {
    EXPECT_EQ(i18n::language_from_locale_name(other), Language::English) << other;
  }
  i18n::set_language(Language::Japanese);
  EXPECT_EQ(i18n::tr("step {1}/{2}", 17, 19), "手順 17/19");
  EXPECT_EQ(i18n::tr("an English text no catalogue has {1}", "x"), "an English text no catalogue has x");
  i18n::set_language(Language::English);
  EXPECT_EQ(i18n::tr("step {1}/{2}", 17, 19), "step 17/19");
  // Placeholders in any order; braces that name no argument stay.
  const std::string args[] = {"a", "b"};
  EXPECT_EQ(i18n::substitute("{2}{1} {3} {x} {", args, 2), "ba {3} {x} {");
}

// Sets (or, with nullptr, unsets) a variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    set(value);
  }
  ~ScopedEnv() { set(old_ ? old_->c_str() : nullptr); }

 private:
  void set(const char* value) {
#ifdef _WIN32
    _putenv_s(name_, value ? value : "");
#else
    if (value) ::setenv(name_, value, 1); else ::unsetenv(name_);
#endif
  }
  const char* name_;
  std::optional<std::string> old_;
};

TEST(Language, TheFirstLocaleVariableSetDecidesAndWithoutOneTheSystemDoes) {
  ScopedEnv all("LC_ALL", nullptr), messages("LC_MESSAGES", nullptr), lang("LANG", "ja_JP.UTF-8");
  EXPECT_EQ(i18n::language_from_environment(), Language::Japanese);
  {
    ScopedEnv c("LC_MESSAGES", "C");
    EXPECT_EQ(i18n::language_from_environment(), Language::English);
    ScopedEnv ja("LC_ALL", "ja_JP");
    EXPECT_EQ(i18n::language_from_environment(), Language::Japanese);
  }
  ScopedEnv none("LANG", nullptr);
#ifdef _WIN32
  // As a program started from Explorer: the system's UI language decides.
  const std::string ui = platform::user_interface_language();
  EXPECT_TRUE(ui == "ja" || ui == "en") << ui;
  EXPECT_EQ(i18n::language_from_environment(), ui == "ja" ? Language::Japanese : Language::English);
#else
  EXPECT_EQ(platform::user_interface_language(), "");
  EXPECT_EQ(i18n::language_from_environment(), Language::English);
#endif
  // Japanese whatever the country; any other primary language is English.
  EXPECT_EQ(platform::language_of_language_id(0x0411), "ja");
  EXPECT_EQ(platform::language_of_language_id(0x0011), "ja");
  for (unsigned other : {0x0409u, 0x0804u, 0x0412u, 0x0C04u, 0x0000u})
    EXPECT_EQ(platform::language_of_language_id(other), "en") << std::hex << other;
}

TEST(Text, AProgressLineIsRedrawnOverTheOneBefore) {
  // With escapes the rest of the old line is cleared by the terminal.
  EXPECT_EQ(i18n::redraw_line("[##..] 手順 2/19", 40, true), "\r\033[K[##..] 手順 2/19");
  // Without them (the console of Windows 7) spaces cover what is left of the
  // old line, counted in columns: the Japanese characters take two each.
  const std::string shorter = "[###.] 手順 3/19";
  EXPECT_EQ(i18n::display_width(shorter), 16u);
  EXPECT_EQ(i18n::redraw_line(shorter, 20, false), "\r" + shorter + "    ");
  EXPECT_EQ(i18n::redraw_line(shorter, 10, false), "\r" + shorter);
  EXPECT_EQ(i18n::redraw_line(shorter, 0, false), "\r" + shorter);
}

TEST(Text, NumbersAreGroupedAndLinesWrapAtWordsWithinTheWidth) {
  EXPECT_EQ(i18n::to_text(0), "0");
  EXPECT_EQ(i18n::to_text(999), "999");
  EXPECT_EQ(i18n::to_text(1234567LL), "1,234,567");
  EXPECT_EQ(i18n::to_text(-1000), "-1,000");

  EXPECT_EQ(i18n::display_width("abc"), 3u);
  EXPECT_EQ(i18n::display_width("手順 1"), 6u);
  EXPECT_EQ(i18n::display_width("ｋＰａ"), 6u);  // full-width letters

  const std::string english = "Copy every user table of a Jet 3 or Jet 4 database into a new Jet 3 database.";
  const std::string wrapped = i18n::wrap(english, 20, "  ");
  std::istringstream lines(wrapped);
  std::string line, joined;
  for (bool first = true; std::getline(lines, line); first = false) {
    EXPECT_LE(i18n::display_width(line), first ? 20u : 22u) << line;
    if (!first) {
      EXPECT_EQ(line.rfind("  ", 0), 0u) << line;
      line = line.substr(2);
    }
    joined += (joined.empty() ? "" : " ") + line;
  }
  EXPECT_EQ(joined, english) << "words were split or lost";

  // Japanese breaks between characters, never before a full stop; a word
  // longer than the line stays whole.
  EXPECT_EQ(i18n::wrap("出力ファイルは不完全です。", 8), "出力ファ\nイルは不\n完全で\nす。");
  EXPECT_EQ(i18n::wrap("a verylongword b", 5), "a\nverylongword\nb");
}

}  // namespace
}  // namespace mirutone::test
