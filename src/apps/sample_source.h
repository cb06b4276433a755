// A made-up NorvalePRO management database to convert: a Jet 3 file in code
// page 932 with every table the conversion reads, filled with a plant's worth
// of tags, report layouts, item and unit lists and report data.
//
// The file is built the way the old product left its databases: numbers where
// the new layout keeps text (有効桁, 最大値, 最小値), text where the new layout
// keeps numbers (パルスMAX, 換算係数, some of it not numeric), pulse kinds 0 to
// 5, rows numbered 1 in the item and unit lists, and a few daily data rows
// whose TAG_ID is Null or empty. Every other value fits the new databases, so
// converting a sample succeeds.
//
// The content depends only on the options: the same options give the same file.
#pragma once

#include <map>
#include <string>

namespace mirutone::convert {

struct SampleOptions {
  int tags = 300;  // rows of TAG情報マスター (0..kMaxTags)
  int days = 365;  // days of daily data from 2024/04/01 (0..kMaxDays)

  static constexpr int kMaxTags = 20000;
  static constexpr int kMaxDays = 3660;
  // tags x days: the daily rows, which a Jet 3 file of at most 1 GB must hold.
  static constexpr long long kMaxDailyRows = 3'000'000;
};

// Rows written, by table name.
struct SampleSummary {
  std::map<std::string, long long> rows;
};

// Writes the sample to `path`. Throws std::invalid_argument for options out of
// range, std::runtime_error when `path` already exists, and the engine's Error
// when the file cannot be written (a partly written file is removed).
SampleSummary make_sample_source(const std::string& path, const SampleOptions& options = {});

// First day of the daily data.
inline constexpr int kSampleStartYear = 2024;
inline constexpr int kSampleStartMonth = 4;
inline constexpr int kSampleStartDay = 1;

}  // namespace mirutone::convert
