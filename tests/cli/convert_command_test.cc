// mirutone convert: the terminal front end of the conversion run, run as a
// program: answers, output folder, progress lines, exit statuses and causes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "convert/sample_source.h"
#include "db/jet/reader.h"
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

// Runs `mirutone convert ARGS` with `input` on stdin (stdout is a pipe, not a terminal).
Outcome convert(const std::string& args, const std::string& input = "") {
  TempDir tmp;
  std::ofstream(tmp / "in.txt") << input;
  Outcome o;
  o.status = run_command(mirutone_binary() + " convert " + args + " <'" + (tmp / "in.txt").string() + "' 2>'" +
                             (tmp / "err.txt").string() + "'",
                         &o.out);
  o.err = slurp(tmp / "err.txt");
  return o;
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
  EXPECT_NE(o.out.find("コンバートを実行します よろしいですか？"), std::string::npos);
  EXPECT_NE(o.out.find("データベースコンバート完了"), std::string::npos);
  EXPECT_NE(o.out.find("step 1/19 TAG情報マスター -> M_TAG: 12 rows copied\n"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("step 15/19 単位情報 -> M_UNIT: 11 rows copied of 12\n"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("step 19/19 年報データ情報 -> D_YDAT:"), std::string::npos) << o.out;
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
  Outcome yes = convert(q(source()), "y\n");
  EXPECT_EQ(yes.status, 0) << yes.err;
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
}

TEST_F(ConvertCommand, FailureTellsTheCauseOnStderr) {
  // A source that is not a database: the outputs are built, then opening fails.
  std::ofstream(dir_ / "broken.mdb") << std::string(4096, 'x');
  Outcome o = convert(q(dir_ / "broken.mdb") + " --yes");
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.out.find("コンバートに失敗しました。"), std::string::npos) << o.out;
  EXPECT_NE(o.err.find("opening the source database"), std::string::npos) << o.err;
  EXPECT_NE(o.err.find("broken.mdb"), std::string::npos) << o.err;
  EXPECT_NE(o.err.find("Jet error 3049"), std::string::npos) << o.err;

  // The source given as one of the outputs is refused and left alone.
  fs::copy_file(source(), dir_ / "Ruzevuz.mdb", fs::copy_options::overwrite_existing);
  const std::string before = slurp(dir_ / "Ruzevuz.mdb");
  o = convert(q(dir_ / "Ruzevuz.mdb") + " --yes");
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

}  // namespace
}  // namespace mirutone::test
