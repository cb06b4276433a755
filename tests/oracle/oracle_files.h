// Parameter source for the per-file oracle tests: one readable test name per
// sample file, or a single placeholder that skips when the files are absent.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "db/jet/reader.h"

namespace mirutone::oracle {

inline constexpr const char* kNoTestdata = "no_testdata";

// Sample file names (without directory), or {kNoTestdata}.
std::vector<std::string> oracle_file_names();

// gtest-safe name of a sample file: "j3_nwind_full.mdb" -> "j3_nwind_full".
std::string test_name_of(const ::testing::TestParamInfo<std::string>& info);

// The iconv charset name mdbtools needs for Jet 3 text read with `codepage`.
std::string charset_for(int codepage);

// Opens a sample file with the read options its known facts call for.
std::unique_ptr<jet::Reader> open_sample(const std::filesystem::path& path);

}  // namespace mirutone::oracle
