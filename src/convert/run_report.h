// What the terminal and the window tell about a run, in the current
// language (i18n::tr): the progress line, the time left, the cause of a
// failure and the closing summary of every copy step. Kept apart from either
// front end so that every window and the terminal say the same.
#pragma once

#include <string>
#include <vector>

#include "convert/conversion_run.h"
#include "convert/user_interface.h"

namespace mirutone::convert {

// "step 17/19 日報データ情報 -> D_DDAT: 1,234 of 50,000 rows" (a building
// report names the database being created). Steps count from 1 everywhere.
std::string progress_text(const Progress& progress);

// Share of this step's source rows handled, 0..1 (1 once the step is done).
double step_fraction(const Progress& progress);

// "about 1 min 20 s left", from the rows handled so far in the whole run and
// the seconds since the copy steps began; empty while too little is known.
std::string time_left(const Progress& progress, double elapsed_seconds);

// Jet's error number with its meaning, e.g. "Jet error 3022 (a duplicate
// value in a primary key)".
std::string jet_error_text(int code);

// True when the run failed because another run holds the output folder.
bool output_in_use(const RunResult& result);

// The closing summary: per step begun, the rows read, copied and skipped,
// with the rule that skipped them; then the steps that never ran.
std::vector<std::string> summary_lines(const RunResult& result);

// The text the window shows under its buttons after a run: the cause of a
// failure, or where the two files are; then the summary.
std::string status_text(const RunResult& result);

}  // namespace mirutone::convert
