// The conversion run: the confirmation, the removal of earlier output, the
// three builders, the nineteen copy steps and the closing message.
//
//   schema::ModuleState state;          // strDbFolder from the browse, or empty
//   ConversionRun run(state, ui);
//   RunResult r = run.Command1_Click(text1);
//
// The run talks to its user only through `ui`: the message boxes (titled
// "確認"), the mouse pointer and progress. It may be run on a worker thread;
// then the UserInterface must carry each call over to its own thread.
//
// Where the run differs from a plain transcription of the old program:
// - with no output folder chosen (strDbFolder empty) the outputs go beside
//   the source file, and strDbFolder is left empty afterwards;
// - a source that is one of the two output files is refused before anything
//   is deleted;
// - so is a source that is missing, is not a regular file or does not open
//   as a Jet database: the run then fails before anything is deleted;
// - on failure the recordsets and databases are released, so the files on
//   disk are complete up to the last stored row and can be opened; an
//   output that cannot be written out complete (a full disk) is removed, and
//   the cause says so;
// - the run holds a lock on the output folder from before the deletion to
//   its end; a second run into the same folder fails at once, before it
//   deletes anything;
// - an output path holding something other than a regular file (a FIFO, a
//   folder) is refused before anything is deleted;
// - each output database is written out and closed as soon as its last copy
//   step is done, so a later failure or a killed process cannot take its rows;
// - a source table whose scan reads fewer or more rows than its definition
//   counts is reported (Progress::damage and RunResult::damaged).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "convert/user_interface.h"
#include "schema/module_state.h"

namespace mirutone::convert {

// The run's messages, as the user sees them.
inline constexpr const char* kConfirmPrompt = "コンバートを実行します よろしいですか？";
inline constexpr const char* kCompletedPrompt = "データベースコンバート完了";
inline constexpr const char* kFailedPrompt =
    "コンバートに失敗しました。Norvale7がインストールされているマシンでコンバートして下さい。"
    "Windows7で実施する場合はミルトーネ.EXEのプロパティの互換性にて互換モードをXP-SP3にしておいて下さい。";
inline constexpr const char* kSameFilePrompt =
    "指定されたデータベースはコンバート先のファイルと同じです。"
    "コンバート元のデータベースを別のフォルダーに置いて下さい。";

enum class RunOutcome {
  Declined,   // the confirmation was not answered Yes; nothing changed
  Refused,    // the source is one of the output files; nothing changed
  Completed,  // "データベースコンバート完了" was shown
  Failed,     // the failure message was shown
};

// What went wrong, told after the fixed failure message (on stderr, or in
// the window's status area).
struct FailureCause {
  int step = 0;               // 1..19, or 0 before the copy steps
  std::string stage;          // "opening the source database {1}", ... (English; see i18n::tr)
  std::string stage_path;     // the file the stage names as {1}, if any
  std::string source_table;   // the copy step's source table
  std::string target_table;   // and its target table
  long long row = 0;          // 1-based source row of the step, 0 when not in a row
  std::string field;          // the field being read or set, if any
  std::string value;          // that field's source value as text, if any
  int jet_code = 0;           // Jet's error number, 0 when none applies
  std::string build_failure;  // what made a builder show "ＤＢ作成エラー" earlier, if anything
  std::string message;        // the engine's own text (English)

  // One line naming everything above that is known, in the current language.
  std::string describe() const;
};

// What one copy step did; the run keeps one for every step it began.
struct StepRecord {
  int step = 0;
  std::string source_table, target_table;
  std::string target_file;       // "Ruzevuz.mdb" or "NVData.mdb"
  long long source_rows = 0;     // as the source's table definition counts them
  long long read = 0;            // source rows handled (the failing row included)
  long long copied = 0;          // stored in the target
  long long skipped = 0;         // left out by the step's row test
  std::string skip_rule;         // that test in words (English; see i18n::tr), empty without one
  std::string skip_field;        // the field the test reads ({1} in skip_rule)
  bool done = false;             // ended with every source row handled
};

struct RunResult {
  RunOutcome outcome = RunOutcome::Declined;
  // True when a builder showed "ＤＢ作成エラー", even if the run completed.
  bool builder_error = false;
  std::optional<FailureCause> cause;  // set when outcome is Failed
  std::string kanri_path;             // the two output files of this run
  std::string data_path;
  long long rows_copied = 0;          // target rows stored by the copy steps
  std::vector<TableDamage> damaged;   // source tables whose counts disagree, one entry each
  std::vector<StepRecord> steps;      // every copy step begun, in order
  bool stopped = false;               // ended by request_stop()
};

class ConversionRun {
 public:
  ConversionRun(schema::ModuleState& state, UserInterface& ui) : state_(state), ui_(ui) {}

  // The whole run. `text1` is the source path (the window's path box).
  // Never throws: every failure ends in the failure message and the result.
  RunResult Command1_Click(const std::string& text1);

  // Code page to read a Jet 3 source whose header names the wrong one
  // (0: trust the header).
  void set_source_codepage(int codepage) { source_codepage_ = codepage; }

 private:
  schema::ModuleState& state_;
  UserInterface& ui_;
  int source_codepage_ = 0;
};

// Asks a run under way to stop before its next row; it then ends as a failed
// run does, with its files closed. Safe to call from a signal handler or
// another thread. A run clears the request when it starts.
void request_stop();

// The folder the outputs go to for a source path when no folder was chosen:
// the source's folder, or "." for a bare file name.
std::string folder_of(const std::string& source_path);

}  // namespace mirutone::convert
