// mirutone convert: the terminal front end of the conversion run, run as a
// program: answers, output folder, progress lines, exit statuses and causes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "apps/sample_source.h"
#include "db/jet/api/reader.h"
#include "i18n/messages.h"
#include "support/test_support.h"

namespace mirutone::test {
namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status = -1;
  std::string out, err;
};

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

constexpr const char* kEnglish = "env -u LC_ALL -u LC_MESSAGES LANG=C.UTF-8 ";
constexpr const char* kJapanese = "env -u LC_ALL -u LC_MESSAGES LANG=ja_JP.UTF-8 ";

// Runs `mirutone ARGS` with `input` on stdin (stdout is a pipe, not a
// terminal) in the locale that `env` sets.
Outcome mirutone(const std::string& args, const std::string& input = "", const std::string& env = kEnglish) {
  TempDir tmp;
  std::ofstream(tmp / "in.txt") << input;
  Outcome o;
  o.status = run_command(env + mirutone_binary() + " " + args + " <'" + (tmp / "in.txt").string() + "' 2>'" +
                             (tmp / "err.txt").string() + "'",
                         &o.out);
  o.err = slurp(tmp / "err.txt");
  return o;
}

Outcome convert(const std::string& args, const std::string& input = "", const std::string& env = kEnglish) {
  return mirutone("convert " + args, input, env);
}

std::string q(const fs::path& p) { return "'" + p.string() + "'"; }

class ConvertCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    convert::SampleOptions o;
    o.tags = 12;
    o.days = 3;
    convert::make_sample_source(source().string(), o);
  }
  fs::path source() const { return dir_ / "管理報.mdb"; }
  TempDir dir_;
};

TEST_F(ConvertCommand, YesConvertsBesideTheSourceWithALinePerStep) {
  Outcome o = convert(q(source()) + " --yes");
  ASSERT_EQ(o.status, 0) << o.out << o.err;
  const std::string note = "\"Ruzevuz.mdb\" and \"NVData.mdb\" in " + dir_.path().string() + " will be replaced.\n";
  EXPECT_NE(o.out.find(note + "コンバートを実行します よろしいですか？"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("データベースコンバート完了"), std::string::npos);
  EXPECT_NE(o.out.find("step 1/19 TAG情報マスター -> M_TAG: 12 rows copied\n"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("step 15/19 単位情報 -> M_UNIT: 11 rows copied of 12\n"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("step 19/19 年報データ情報 -> D_YDAT:"), std::string::npos) << o.out;
  // The closing summary names the rule that skipped a row.
  const auto summary = o.out.find("Rows per step (read, copied, skipped):\n");
  ASSERT_NE(summary, std::string::npos) << o.out;
  EXPECT_NE(o.out.find("Ruzevuz.mdb:\n  step 1/19 TAG情報マスター -> M_TAG: 12 read, 12 copied, 0 skipped\n", summary),
            std::string::npos)
      << o.out;
  EXPECT_NE(o.out.find("  step 15/19 単位情報 -> M_UNIT: 12 read, 11 copied, 1 skipped (skipped: 単位NO is 1 or "
                       "Null (number 1 is the seed row's))\nNVData.mdb:\n  step 16/19",
                       summary),
            std::string::npos)
      << o.out;
  EXPECT_EQ(o.out.find('\r'), std::string::npos) << "no bar when stdout is not a terminal";
  EXPECT_TRUE(o.err.empty()) << o.err;
  EXPECT_EQ(jet::Reader::open((dir_ / "Ruzevuz.mdb").string())->table_names().size(), 15u);
  EXPECT_EQ(jet::Reader::open((dir_ / "NVData.mdb").string())->table_names().size(), 7u);
}

TEST_F(ConvertCommand, TheAnswerOnStdinDecides) {
  Outcome no = convert(q(source()), "n\n");
  EXPECT_EQ(no.status, 3);
  Outcome eof = convert(q(source()), "");
  EXPECT_EQ(eof.status, 3);
  EXPECT_FALSE(fs::exists(dir_ / "Ruzevuz.mdb"));
  EXPECT_EQ(convert(q(source()), "いいえ\n").status, 3);
  EXPECT_EQ(convert(q(source()), "yesterday\n").status, 3);
  EXPECT_FALSE(fs::exists(dir_ / "Ruzevuz.mdb"));
  for (const char* answer : {"y\n", " Yes\n", "はい\n"}) {
    Outcome yes = convert(q(source()), answer);
    EXPECT_EQ(yes.status, 0) << answer << yes.err;
  }
  EXPECT_TRUE(fs::exists(dir_ / "NVData.mdb"));
}

TEST_F(ConvertCommand, OutFolderAndBadArguments) {
  fs::create_directory(dir_ / "out");
  Outcome o = convert(q(source()) + " --yes --out " + q(dir_ / "out/"));
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_TRUE(fs::exists(dir_ / "out" / "Ruzevuz.mdb"));
  EXPECT_FALSE(fs::exists(dir_ / "Ruzevuz.mdb"));

  EXPECT_EQ(convert("--yes").status, 2);
  EXPECT_EQ(convert(q(source()) + " --yes --out " + q(dir_ / "missing")).status, 2);
  EXPECT_EQ(convert(q(source()) + " --yes --codepage 99999").status, 2);
  EXPECT_EQ(convert(q(source()) + " --yes --bogus").status, 2);
  // Linux has no Windows collation to ask: system keys are refused, not faked.
  EXPECT_EQ(convert(q(source()) + " --yes --sort-keys system").status, 2);
  EXPECT_EQ(convert(q(source()) + " --yes --sort-keys builtin --out " + q(dir_ / "out")).status, 0);
}

TEST_F(ConvertCommand, BadSourceAfterAGoodRunLeavesTheOutputsAndTellsTheCause) {
  ASSERT_EQ(convert(q(source()) + " --yes").status, 0);
  const std::string kanri = slurp(dir_ / "Ruzevuz.mdb"), data = slurp(dir_ / "NVData.mdb");
  std::ofstream(dir_ / "broken.mdb") << std::string(4096, 'x');
  struct Case {
    std::string file, cause;
  };
  for (const Case& c : {Case{"broken.mdb", "Jet error 3049 (not a database, or a damaged one)"},
                        Case{"存在しない.mdb", "Jet error 3024 (the file was not found)"}}) {
    Outcome o = convert(q(dir_ / c.file) + " --yes");
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.out.find("コンバートに失敗しました。"), std::string::npos) << o.out;
    EXPECT_NE(o.err.find("checking the source database " + (dir_ / c.file).string()), std::string::npos) << o.err;
    EXPECT_NE(o.err.find(c.cause), std::string::npos) << o.err;
    EXPECT_EQ(slurp(dir_ / "Ruzevuz.mdb"), kanri);
    EXPECT_EQ(slurp(dir_ / "NVData.mdb"), data);
  }

  // The source given as one of the outputs is refused and left alone.
  fs::copy_file(source(), dir_ / "Ruzevuz.mdb", fs::copy_options::overwrite_existing);
  const std::string before = slurp(dir_ / "Ruzevuz.mdb");
  Outcome o = convert(q(dir_ / "Ruzevuz.mdb") + " --yes");
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("one of the output files"), std::string::npos) << o.err;
  EXPECT_EQ(slurp(dir_ / "Ruzevuz.mdb"), before);
}

TEST_F(ConvertCommand, AFolderAtAnOutputPathIsRefusedBeforeAnythingIsBuilt) {
  fs::create_directory(dir_ / "NVData.mdb");
  Outcome o = convert(q(source()) + " --yes");
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("NVData.mdb is a folder, not a database file; nothing was deleted"), std::string::npos)
      << o.err;
  EXPECT_FALSE(fs::exists(dir_ / "Ruzevuz.mdb"));
}

TEST_F(ConvertCommand, JapaneseLocaleSpeaksJapaneseAndTheOthersEnglish) {
  Outcome ja = convert(q(source()) + " --yes", "", kJapanese);
  ASSERT_EQ(ja.status, 0) << ja.err;
  EXPECT_NE(ja.out.find("手順 15/19 単位情報 → M_UNIT：11 行をコピー（読込 12 行）\n"), std::string::npos) << ja.out;
  EXPECT_NE(ja.out.find("  手順 15/19 単位情報 → M_UNIT：読込 12、コピー 11、スキップ 1（スキップの条件："
                        "単位NO が 1 または Null（1 番は初期行のもの））\nNVData.mdb：\n"),
            std::string::npos)
      << ja.out;
  EXPECT_EQ(ja.out.find("rows"), std::string::npos) << ja.out;
  Outcome missing = convert(q(dir_ / "存在しない.mdb") + " --yes", "", kJapanese);
  EXPECT_NE(missing.err.find("の確認中：Jet エラー 3024（ファイルが見つかりません）"), std::string::npos) << missing.err;

  // LC_ALL wins over LANG, and an empty one does not count.
  Outcome c = convert(q(source()) + " --yes", "", "env LC_ALL=C LANG=ja_JP.UTF-8 ");
  EXPECT_NE(c.out.find("step 15/19"), std::string::npos) << c.out;
  Outcome empty = convert(q(source()) + " --yes", "", "env LC_ALL= LC_MESSAGES=ja_JP.UTF-8 LANG=C ");
  EXPECT_NE(empty.out.find("手順 15/19"), std::string::npos) << empty.out;
}

// Every line of `text` fits in `columns` terminal columns.
void expect_fits(const std::string& text, std::size_t columns) {
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    EXPECT_LE(i18n::display_width(line), columns) << line;
  }
}

TEST(Help, NamesTheWindowTheCommandsAndTheExitStatusesInEitherLanguage) {
  Outcome top = mirutone("--help");
  EXPECT_EQ(top.status, 0);
  EXPECT_EQ(top.out.rfind("mirutone: converts", 0), 0u) << top.out;
  EXPECT_NE(top.out.find("Usage: mirutone "), std::string::npos) << top.out;
  EXPECT_NE(top.out.find("Without a command, mirutone opens the window."), std::string::npos) << top.out;
  expect_fits(top.out, 80);

  Outcome convert_help = mirutone("convert --help");
  EXPECT_NE(convert_help.out.find("Usage: mirutone convert "), std::string::npos) << convert_help.out;
  EXPECT_NE(convert_help.out.find("Exit status: 0 completed; 1 failed"), std::string::npos) << convert_help.out;
  expect_fits(convert_help.out, 80);
  // A long description breaks between words, not inside one.
  Outcome copy_help = mirutone("copy --help");
  EXPECT_NE(copy_help.out.find("Copy every user table"), std::string::npos);
  EXPECT_EQ(copy_help.out.find("Repl\n"), std::string::npos);
  expect_fits(copy_help.out, 80);

  Outcome ja = mirutone("convert --help", "", kJapanese);
  EXPECT_NE(ja.out.find("使い方: mirutone convert "), std::string::npos) << ja.out;
  EXPECT_NE(ja.out.find("終了ステータス：0 完了"), std::string::npos) << ja.out;
  expect_fits(ja.out, 80);
  expect_fits(mirutone("copy --help", "", kJapanese).out, 80);

  Outcome typo = mirutone("convrt x.mdb");
  EXPECT_EQ(typo.status, 2);
  EXPECT_NE(typo.err.find("there is no command 'convrt'; the commands are convert, inspect, query, copy, make-sample"),
            std::string::npos)
      << typo.err;
  Outcome bad = mirutone("convert --bogus", "", kJapanese);
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("引数が正しくありません"), std::string::npos) << bad.err;
}

}  // namespace
}  // namespace mirutone::test
