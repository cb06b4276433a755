// Parameter source for the per-file oracle tests: one readable test name per
// sample file, or a single placeholder that skips when the files are absent.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "db/jet/api/reader.h"

namespace mirutone::oracle {

inline constexpr const char* kNoTestdata = "no_testdata";

// One parameter per sample file of both folders: "name.mdb" for the first,
// "more/name.mdb" for testdata-more; {kNoTestdata} when both are absent.
std::vector<std::string> oracle_file_names();

// The file a parameter names.
std::filesystem::path sample_path(const std::string& param);

// The file name alone, the key of its known facts.
std::string sample_file_name(const std::string& param);

// Skips the calling test when the parameter's folder is absent.
#define MIRUTONE_REQUIRE_SAMPLE(param)                                                        \
  do {                                                                                        \
    if ((param) == ::mirutone::oracle::kNoTestdata)                                           \
      GTEST_SKIP() << "../shared/testdata and testdata-more are absent: sample tests skipped"; \
  } while (0)

// gtest-safe name of a sample file: "j3_nwind_full.mdb" -> "j3_nwind_full",
// "more/j3_psc_sean_11589_db1.mdb" -> "more_j3_psc_sean_11589_db1".
std::string test_name_of(const ::testing::TestParamInfo<std::string>& info);

// The iconv charset name mdbtools needs for Jet 3 text read with `codepage`.
std::string charset_for(int codepage);

// Opens a sample file with the read options its known facts call for.
std::unique_ptr<jet::Reader> open_sample(const std::filesystem::path& path);

}  // namespace mirutone::oracle
