#include "convert/run_report.h"

#include <algorithm>
#include <cmath>

#include "db/errors.h"
#include "i18n/messages.h"

namespace mirutone::convert {

using i18n::tr;

namespace {

namespace jet_errors = db::jet_errors;

const char* jet_error_meaning(int code) {
  switch (code) {
    case jet_errors::kDuplicateKey: return i18n::N_("a duplicate value in a primary key");
    case jet_errors::kFileNotFound: return i18n::N_("the file was not found");
    case jet_errors::kCannotOpenDatabase: return i18n::N_("not a database, or a damaged one");
    case jet_errors::kCannotOpenFile: return i18n::N_("the file could not be deleted or opened for writing");
    case jet_errors::kNullInPrimaryKey: return i18n::N_("Null in a primary key field");
    case jet_errors::kUnknownTable: return i18n::N_("no table of that name");
    case jet_errors::kFieldTooSmall: return i18n::N_("the value is too long for the field");
    case jet_errors::kUnknownField: return i18n::N_("no field of that name");
    case jet_errors::kRequired: return i18n::N_("the field needs a value");
    case jet_errors::kZeroLengthNotAllowed: return i18n::N_("the field refuses empty text");
    case jet_errors::kNumericOverflow: return i18n::N_("the number does not fit the field");
    case jet_errors::kTypeConversion: return i18n::N_("the value does not convert to the field's type");
    case jet_errors::kTypeMismatch: return i18n::N_("the value's type does not match");
    default: return nullptr;
  }
}

std::string step_name(int step, int total, const std::string& source, const std::string& target) {
  return tr("step {1}/{2} {3} -> {4}", step, total, source, target);
}

}  // namespace

std::string progress_text(const Progress& p) {
  if (p.step == 0) return tr("Creating {1}", p.table);
  std::string rows = p.source_rows > 0 ? tr("{1} of {2} rows", p.rows, std::max(p.source_rows, p.rows))
                                      : tr("{1} rows", p.rows);
  if (p.rows != p.copied) rows += tr(" ({1} copied)", p.copied);
  return tr("{1}: {2}", step_name(p.step, p.total_steps, p.table, p.target), rows);
}

double step_fraction(const Progress& p) {
  if (p.step_done) return 1.0;
  if (p.source_rows <= 0) return 0.0;
  return std::clamp(static_cast<double>(p.rows) / static_cast<double>(p.source_rows), 0.0, 1.0);
}

std::string time_left(const Progress& p, double elapsed_seconds) {
  if (p.all_rows <= 0 || p.all_read <= 0 || elapsed_seconds < 1.0) return "";
  const long long rest = std::max(0LL, p.all_rows - p.all_read);
  const long long seconds = std::llround(elapsed_seconds * static_cast<double>(rest) / p.all_read);
  if (seconds < 60) return tr("about {1} s left", seconds);
  return tr("about {1} min {2} s left", seconds / 60, seconds % 60);
}

bool output_in_use(const RunResult& result) {
  return result.outcome == RunOutcome::Failed && result.cause && result.cause->jet_code == jet_errors::kFileInUse;
}

std::string jet_error_text(int code) {
  if (const char* meaning = jet_error_meaning(code)) return tr("Jet error {1} ({2})", std::to_string(code), tr(meaning));
  return tr("Jet error {1}", std::to_string(code));
}

std::string FailureCause::describe() const {
  std::string out;
  if (step > 0) {
    out = step_name(step, 19, source_table, target_table);
    if (row > 0) out += tr(", source row {1}", row);
    if (!field.empty()) out += tr(", field {1}", field);
    if (!value.empty()) out += tr(" = '{1}'", value);
  } else {
    out = stage.empty() ? tr("the run") : tr(stage, stage_path);
  }
  if (jet_code != 0) out = tr("{1}: {2}", out, jet_error_text(jet_code));
  out = tr("{1}: {2}", out, message);
  if (!build_failure.empty()) out = tr("{1}; then {2}", build_failure, out);
  return out;
}

std::vector<std::string> summary_lines(const RunResult& result) {
  std::vector<std::string> lines;
  lines.push_back(tr("Rows per step (read, copied, skipped):"));
  int last = 0;
  std::string file;
  for (const StepRecord& s : result.steps) {
    if (s.target_file != file) {
      file = s.target_file;
      lines.push_back(tr("{1}:", file));
    }
    std::string line = "  " + tr("{1}: {2}", step_name(s.step, 19, s.source_table, s.target_table),
                                 tr("{1} read, {2} copied, {3} skipped", s.read, s.copied, s.skipped));
    if (s.skipped > 0 && !s.skip_rule.empty()) line += tr(" (skipped: {1})", tr(s.skip_rule, s.skip_field));
    if (!s.done) line += tr("; not finished");
    lines.push_back(std::move(line));
    last = s.step;
  }
  if (last < 19) {
    lines.push_back(last == 18 ? tr("step 19 was not run") : tr("steps {1} to 19 were not run", last + 1));
  }
  return lines;
}

std::string status_text(const RunResult& result) {
  std::string text;
  switch (result.outcome) {
    case RunOutcome::Declined:
      return "";
    case RunOutcome::Refused:
      return tr("The source is one of the output files; nothing was changed.");
    case RunOutcome::Failed:
      text = tr("Cause: {1}", result.cause ? result.cause->describe() : tr("unknown"));
      if (result.stopped) text += "\n" + tr("The output files are incomplete: do not use them.");
      if (result.builder_error) text += "\n" + tr("Creating the new databases had already failed.");
      break;
    case RunOutcome::Completed:
      if (result.builder_error) {
        text = tr("Creating the new databases failed; the output is incomplete.") + "\n";
      }
      text += tr("Written: {1}", result.kanri_path) + "\n" + tr("Written: {1}", result.data_path);
      break;
  }
  if (result.outcome == RunOutcome::Failed && result.steps.empty()) {
    // Failed before the copy steps: there is nothing to count.
    return text;
  }
  for (const std::string& line : summary_lines(result)) text += "\n" + line;
  for (const TableDamage& d : result.damaged) text += "\n" + d.describe();
  return text;
}

}  // namespace mirutone::convert
