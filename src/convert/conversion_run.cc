#include "convert/conversion_run.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "convert/copy_step.h"
#include "db/database_file.h"
#include "db/engine.h"
#include "db/errors.h"
#include "db/value_conversion.h"
#include "i18n/messages.h"
#include "platform/file_lock.h"
#include "platform/regular_file.h"
#include "schema/layouts.h"
#include "schema/module1.h"
#include "platform/file.h"
#include "platform/file_identity.h"
#include "platform/path.h"

namespace mirutone::convert {
namespace {

namespace fs = std::filesystem;

std::atomic<bool> stop_requested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "request_stop() is called from signal handlers");
constexpr long long kProgressEvery = 500;  // rows between progress reports within a step

// Uses the source's folder for the run when no output folder was chosen, and
// leaves strDbFolder as it found it afterwards.
class OutputFolder {
 public:
  OutputFolder(schema::ModuleState& state, const std::string& source) : state_(state) {
    if (state_.strDbFolder.empty()) {
      state_.strDbFolder = folder_of(source);
      borrowed_ = true;
    }
  }
  ~OutputFolder() {
    if (borrowed_) state_.strDbFolder.clear();
  }
  OutputFolder(const OutputFolder&) = delete;
  OutputFolder& operator=(const OutputFolder&) = delete;

 private:
  schema::ModuleState& state_;
  bool borrowed_ = false;
};

// True when both paths name the same file: the same device and inode when
// both exist, otherwise the same path once resolved.
bool same_file(const std::string& a, const std::string& b) {
  auto ia = platform::file_identity(a), ib = platform::file_identity(b);
  if (ia && ib) return *ia == *ib;
  if (ia.has_value() != ib.has_value()) return false;
  std::error_code ec1, ec2;
  const fs::path pa = platform::fs_path(a), pb = platform::fs_path(b);
  fs::path ca = fs::weakly_canonical(pa, ec1), cb = fs::weakly_canonical(pb, ec2);
  if (ec1 || ec2) return fs::absolute(pa, ec1).lexically_normal() == fs::absolute(pb, ec2).lexically_normal();
  return ca == cb;
}

// Deletes `path` when a regular file is there; anything else is left alone.
void remove_if_file(const std::string& path) {
  if (!platform::is_regular_file(path)) return;
  try {
    platform::remove_file(path);
  } catch (const platform::FileError& e) {
    // Jet's "could not delete" for a file in use or a read-only folder.
    throw db::Error(db::jet_errors::kCannotOpenFile, "Cannot delete the earlier output " + path + ": " + e.what());
  }
}

// Deletes an output that cannot be completed; a failure to delete it leaves
// the file, which the cause already calls incomplete.
void discard_output(const std::string& path) {
  try {
    platform::remove_file(path);
  } catch (const platform::FileError&) {
  }
}

// Texts of the failures this program adds to the old run's, for the cause.
std::string output_in_use(const std::string& folder) {
  return "the output files in " + folder +
         " are in use by another conversion run; nothing was deleted. Wait for it to end, or choose "
         "another output folder";
}
std::string output_not_a_file(const std::string& path, const std::string& kind) {
  return path + " is " + kind + ", not a database file; nothing was deleted";
}
std::string output_removed(const std::string& path) {
  return path + " could not be written out complete and was removed";
}

// The folder holding both outputs, as a path that can be opened.
std::string folder_of_output(const std::string& output) {
  fs::path parent = platform::fs_path(output).parent_path();
  return parent.empty() ? std::string(".") : platform::utf8_path(parent);
}

// Writes an output database out and lets go of it. When that fails the file
// is left half written, so it is removed rather than left for someone to
// open, and the failure says so.
void close_output(db::Database& db, const std::string& path) {
  if (db.IsNothing()) return;
  try {
    db.Close();
    db = db::Database();
  } catch (const std::exception& e) {
    int code = 0;
    if (auto* je = dynamic_cast<const jet::Error*>(&e)) code = je->jet_code();
    try {
      db = db::Database();
    } catch (...) {
      // The file was already let go by the failed close.
    }
    // A handle whose file someone else closed has nothing left to write.
    if (code == db::jet_errors::kObjectClosed) throw;
    discard_output(path);
    throw db::Error(code, std::string(e.what()) + "; " + output_removed(path));
  }
}

// Removes an output that a failed write-out left half written, wherever in
// the run that happened (a builder's handle being reassigned, say); returns
// what to tell, or nothing.
std::optional<std::string> remove_if_incomplete(const std::string& path) {
  auto why = db::DatabaseFile::left_incomplete(path);
  if (!why || !platform::is_regular_file(path)) return std::nullopt;
  discard_output(path);
  return output_removed(path) + " (" + *why + ")";
}

// Holds the rows a step read against what the source table's own structures
// count; nothing when they agree.
std::optional<TableDamage> check_counts(const db::Database& source, const CopyStep& step, long long rows_read) {
  TableDamage d;
  d.step = step.number;
  d.table = step.source_table();
  d.rows_read = rows_read;
  try {
    d.definition_rows = source.TableCounts(d.table).definition_rows;
  } catch (const std::exception&) {
    return std::nullopt;  // a source that is not a plain table: nothing to hold it against
  }
  if (d.definition_rows == rows_read) return std::nullopt;
  // Only now walk the primary index: it is the costly part.
  try {
    d.primary_index_entries = source.TableCounts(d.table, true).primary_index_entries;
  } catch (const std::exception& e) {
    d.index_problem = e.what();
  }
  return d;
}

// Refuses, before anything is deleted, a source that the copy could not
// read: a missing path, something other than a regular file (looked at
// without opening it, so a FIFO cannot hold the run), or a file that does
// not open as a Jet database.
void check_source(const db::Workspace& ws, const std::string& path, int codepage) {
  if (path.empty()) throw db::Error(db::jet_errors::kFileNotFound, "No source database was given");
  std::error_code ec;
  const fs::file_status st = fs::status(platform::fs_path(path), ec);
  if (ec || !fs::exists(st)) {
    throw db::Error(db::jet_errors::kFileNotFound, "Could not find file '" + path + "': " +
                              (ec ? ec.message() : std::string("No such file or directory")));
  }
  if (!fs::is_regular_file(st)) {
    throw db::Error(db::jet_errors::kCannotOpenDatabase, "'" + path + "' is not a regular file (" + platform::non_regular_kind(path) + ")");
  }
  db::Database probe = ws.OpenDatabase(path, codepage);
  probe.Close();
}

// Where the run has got to, for the failure report.
struct Position {
  std::string stage;       // English, with {1} for `path`
  std::string path;
  const CopyStep* step = nullptr;
  long long row = 0;
  const RowCopy* copy = nullptr;
};

FailureCause cause_of(const Position& at, const std::exception& e) {
  FailureCause c;
  c.stage = at.stage;
  c.stage_path = at.path;
  c.message = e.what();
  if (auto* je = dynamic_cast<const jet::Error*>(&e)) c.jet_code = je->jet_code();
  if (at.step) {
    c.step = at.step->number;
    c.source_table = at.step->source_table();
    c.target_table = at.step->target_table();
  }
  c.row = at.row;
  if (at.copy) {
    c.field = at.copy->field();
    if (!c.field.empty()) {
      if (auto v = at.copy->source_value()) c.value = jet::is_null(*v) ? "Null" : db::vb_text(*v);
    }
  }
  return c;
}

// Rows the source's table definition counts for each step; 0 for a table it
// lacks (that step fails when it opens the table).
std::vector<long long> source_row_counts(const db::Database& source, const std::vector<CopyStep>& steps) {
  std::vector<long long> counts;
  for (const CopyStep& step : steps) {
    long long n = 0;
    try {
      n = source.TableDefs()(step.source_table()).RecordCount;
    } catch (const std::exception&) {
    }
    counts.push_back(n);
  }
  return counts;
}

}  // namespace

void request_stop() { stop_requested.store(true, std::memory_order_relaxed); }

std::string folder_of(const std::string& source_path) {
  if (source_path.empty()) return "";
  fs::path parent = platform::fs_path(source_path).parent_path();
  if (parent.empty()) return ".";
  return platform::utf8_path(parent);
}

std::string TableDamage::describe() const {
  std::ostringstream out;
  out << "warning: table " << table << ": " << rows_read << " rows read, but its definition counts "
      << definition_rows;
  if (primary_index_entries) out << " and its primary index holds " << *primary_index_entries << " entries";
  if (!index_problem.empty()) out << " (its primary index could not be read: " << index_problem << ")";
  out << ". Rows may have been lost to damage: compact the source database in Access and convert again";
  return out.str();
}

RunResult ConversionRun::Command1_Click(const std::string& text1) {
  RunResult result;
  stop_requested.store(false, std::memory_order_relaxed);
  UserInterface& ui = ui_;
  Position at;
  platform::FileLock output_lock;  // the output folder, held to the end of the run
  schema::Module1 builders(state_, ui);
  // Declared here so that the failure report can still look at them.
  const std::vector<CopyStep> steps = all_copy_steps();
  RowCopy copy(state_.rsSource, state_.rsTarget);
  // The last step writing each output: after it the database is written out.
  int last_kanri_step = 0, last_data_step = 0;
  for (const CopyStep& step : steps) (step.target == TargetDb::Kanri ? last_kanri_step : last_data_step) = step.number;
  try {
    if (ui.MsgBox(kConfirmPrompt, vbYesNo, kTitle) != vbYes) {
      result.outcome = RunOutcome::Declined;
      return result;
    }
    OutputFolder folder(state_, text1);
    at.stage = i18n::N_("choosing the output files");
    const db::Workspace ws = db::DBEngine::Workspaces(0);
    result.kanri_path = schema::output_path(state_, schema::kKanriFileName);
    result.data_path = schema::output_path(state_, schema::kDataFileName);
    if (same_file(text1, result.kanri_path) || same_file(text1, result.data_path)) {
      ui.MsgBox(kSameFilePrompt, vbOKOnly, kTitle);
      result.outcome = RunOutcome::Refused;
      return result;
    }
    at = Position{i18n::N_("checking the source database {1}"), text1};
    check_source(ws, text1, source_codepage_);

    ui.SetMousePointer(vbHourglass);
    at = Position{i18n::N_("taking the output folder {1}")};
    const std::string out_folder = folder_of_output(result.kanri_path);
    at.path = out_folder;
    switch (output_lock.try_lock(out_folder)) {
      case platform::LockResult::Locked: break;
      case platform::LockResult::Busy: throw db::Error(db::jet_errors::kFileInUse, output_in_use(out_folder));
      case platform::LockResult::Failed:
        throw db::Error(db::jet_errors::kInvalidPath, "cannot open the output folder " + out_folder + ": " + output_lock.error());
    }
    for (const std::string* out : {&result.kanri_path, &result.data_path}) {
      std::string kind = platform::non_regular_kind(*out);
      if (!kind.empty()) throw db::Error(db::jet_errors::kCannotOpenFile, output_not_a_file(*out, kind));
    }
    at = Position{i18n::N_("removing earlier output")};
    remove_if_file(result.kanri_path);
    remove_if_file(result.data_path);

    at = Position{i18n::N_("creating {1}"), result.kanri_path};
    ui.ReportProgress({0, 19, schema::kKanriFileName, 0});
    builders.CreateKanriDb();
    at = Position{i18n::N_("adding the first rows to {1}"), result.kanri_path};
    builders.SeedKanriDb();
    at = Position{i18n::N_("creating {1}"), result.data_path};
    ui.ReportProgress({0, 19, schema::kDataFileName, 0});
    builders.CreateDataDb();
    result.builder_error = builders.failed();

    at = Position{i18n::N_("opening the source database {1}"), text1};
    state_.dbSource = ws.OpenDatabase(text1, source_codepage_);
    at = Position{i18n::N_("opening {1}"), result.kanri_path};
    state_.dbKanri = ws.OpenDatabase(result.kanri_path);
    at = Position{i18n::N_("opening {1}"), result.data_path};
    state_.dbData = ws.OpenDatabase(result.data_path);

    const std::vector<long long> counts = source_row_counts(state_.dbSource, steps);
    long long all_rows = 0;
    for (long long n : counts) all_rows += n;
    long long all_read = 0;

    for (const CopyStep& step : steps) {
      at = Position{i18n::N_("copying"), "", &step, 0, nullptr};
      const db::Database& target = step.target == TargetDb::Kanri ? state_.dbKanri : state_.dbData;
      Progress progress{step.number, static_cast<int>(steps.size()), step.source_table(), 0};
      progress.target = step.target_table();
      progress.source_rows = counts[result.steps.size()];
      progress.all_rows = all_rows;
      progress.all_read = all_read;
      StepRecord& record = result.steps.emplace_back();
      record.step = step.number;
      record.source_table = step.source_table();
      record.target_table = step.target_table();
      record.target_file = step.target == TargetDb::Kanri ? schema::kKanriFileName : schema::kDataFileName;
      record.source_rows = progress.source_rows;
      record.skip_rule = step.skip_rule;
      record.skip_field = step.skip_field;
      const long long copied_before = result.rows_copied;
      ui.ReportProgress(progress);

      state_.strSql = step.source_sql;
      state_.rsSource = state_.dbSource.OpenRecordset(state_.strSql, db::dbOpenSnapshot);
      if (step.target_sql != step.source_sql) state_.strSql = step.target_sql;
      state_.rsTarget = target.OpenRecordset(state_.strSql, db::dbOpenDynaset);

      copy.forget_fields();
      at.copy = &copy;
      while (!state_.rsSource.Eof()) {
        ++at.row;
        if (stop_requested.load(std::memory_order_relaxed)) {
          result.stopped = true;
          throw std::runtime_error("stopped by the user before this row was copied");
        }
        ++record.read;
        copy.clear();
        if (!step.row_test || step.row_test(copy)) {
          state_.rsTarget.AddNew();
          step.assign(copy);
          copy.clear();
          state_.rsTarget.Update();
          ++result.rows_copied;
          ++record.copied;
        } else {
          ++record.skipped;
        }
        state_.rsSource.MoveNext();
        if (at.row % kProgressEvery == 0) {
          progress.rows = at.row;
          progress.copied = record.copied;
          progress.all_read = all_read + at.row;
          ui.ReportProgress(progress);
        }
      }
      at.copy = nullptr;
      state_.rsSource.Close();
      state_.rsTarget.Close();
      record.done = true;
      all_read += at.row;
      progress.rows = at.row;
      progress.copied = result.rows_copied - copied_before;
      progress.all_read = all_read;
      progress.step_done = true;
      if (auto damage = check_counts(state_.dbSource, step, at.row)) {
        bool seen = false;
        for (const auto& d : result.damaged) seen = seen || d.table == damage->table;
        if (!seen) result.damaged.push_back(*damage);
        progress.damage = std::move(damage);
      }
      ui.ReportProgress(progress);
      // A database whose steps are all done goes to disk now, complete, so
      // that nothing later in the run (a full disk, a killed process) can
      // take its rows.
      if (step.number == last_kanri_step) {
        at = Position{i18n::N_("writing out {1}"), result.kanri_path, &step};
        close_output(state_.dbKanri, result.kanri_path);
      }
      if (step.number == last_data_step) {
        at = Position{i18n::N_("writing out {1}"), result.data_path, &step};
        close_output(state_.dbData, result.data_path);
      }
    }

    at = Position{i18n::N_("closing the databases")};
    state_.dbSource.Close();
    close_output(state_.dbKanri, result.kanri_path);
    close_output(state_.dbData, result.data_path);
    for (const std::string* out : {&result.kanri_path, &result.data_path}) {
      if (auto removed = remove_if_incomplete(*out)) throw db::Error(0, *removed);
    }
    ui.SetMousePointer(vbDefault);
    ui.MsgBox(kCompletedPrompt, vbOKOnly, kTitle);
    result.outcome = RunOutcome::Completed;
    return result;
  } catch (const std::exception& e) {
    result.cause = cause_of(at, e);
  } catch (...) {
    result.cause = cause_of(at, std::runtime_error("unknown failure"));
  }
  result.cause->build_failure = builders.build_failure();

  // The failure ending. Unlike the old program, let go of the recordsets and
  // databases first: a pending new row is dropped, and each output file is
  // written out complete up to its last stored row, so it can be opened, and
  // deleted by the next run.
  result.builder_error = builders.failed();
  auto release = [&](auto& handle, const char* what) {
    try {
      if (!handle.IsNothing()) handle.Close();
      handle = std::decay_t<decltype(handle)>();
    } catch (const std::exception& e) {
      result.cause->message += std::string("; then closing ") + what + " failed: " + e.what();
    }
  };
  release(state_.rsSource, "the source recordset");
  release(state_.rsTarget, "the target recordset");
  release(state_.dbSource, "the source database");
  auto release_output = [&](db::Database& handle, const std::string& path) {
    try {
      close_output(handle, path);
    } catch (const std::exception& e) {
      result.cause->message += std::string("; then ") + e.what();
    }
  };
  release_output(state_.dbKanri, result.kanri_path);
  release_output(state_.dbData, result.data_path);
  for (const std::string* out : {&result.kanri_path, &result.data_path}) {
    if (out->empty()) continue;
    if (auto removed = remove_if_incomplete(*out)) result.cause->message += "; " + *removed;
  }
  ui.SetMousePointer(vbDefault);
  ui.MsgBox(kFailedPrompt, vbOKOnly, kTitle);
  result.outcome = RunOutcome::Failed;
  return result;
}

}  // namespace mirutone::convert
