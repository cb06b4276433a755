#include "oracle/oracle_files.h"

#include "oracle/known_faults.h"
#include "support/test_support.h"

namespace mirutone::oracle {

namespace {
constexpr std::string_view kMore = "more/";
}

std::vector<std::string> oracle_file_names() {
  std::vector<std::string> names;
  for (const auto& f : test::testdata_files()) names.push_back(f.filename().string());
  for (const auto& f : test::testdata_more_files()) names.push_back(std::string(kMore) + f.filename().string());
  if (names.empty()) names.push_back(kNoTestdata);
  return names;
}

std::filesystem::path sample_path(const std::string& param) {
  if (param.rfind(kMore, 0) == 0) return test::testdata_more_dir() / param.substr(kMore.size());
  return test::testdata_dir() / param;
}

std::string sample_file_name(const std::string& param) {
  return std::filesystem::path(param).filename().string();
}

std::string test_name_of(const ::testing::TestParamInfo<std::string>& info) {
  std::string name = std::filesystem::path(info.param).replace_extension().string();
  for (auto& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

std::string charset_for(int codepage) {
  if (codepage == 936) return "GBK";
  return "CP" + std::to_string(codepage);
}

std::unique_ptr<jet::Reader> open_sample(const std::filesystem::path& path) {
  jet::ReadOptions opts;
  opts.codepage_override = facts_for(path.filename().string()).codepage_override;
  return jet::Reader::open(path.string(), opts);
}

}  // namespace mirutone::oracle
