// How the conversion run and the builders talk to their user. The window, the
// terminal front end and the tests each implement it; nothing behind it knows
// which one it is talking to.
#pragma once

#include <optional>
#include <string>

#include "schema/message_box.h"

namespace mirutone::convert {

// Message boxes: their title, button flags and answers.
using schema::kTitle;
using schema::vbNo;
using schema::vbOK;
using schema::vbOKOnly;
using schema::vbYes;
using schema::vbYesNo;

// Mouse pointers.
inline constexpr int vbDefault = 0;
inline constexpr int vbHourglass = 11;

// A source table whose scan read a different number of rows than its own
// definition counts: rows lost to a damaged page, or only a stale count.
struct TableDamage {
  int step = 0;                        // the first copy step that read the table
  std::string table;                   // the source table
  long long rows_read = 0;             // rows the step could read
  long long definition_rows = 0;       // rows the table definition counts
  std::optional<long long> primary_index_entries;  // entries its primary index holds
  std::string index_problem;           // why the primary index could not be counted, if so

  // The warning, in one line, with the advice to compact the source.
  std::string describe() const;
};

// Where a run has got to.
struct Progress {
  int step = 0;         // 1..19 during the copy steps, 0 while building
  int total_steps = 19;
  std::string table;    // the source table being copied, or the database being built
  long long rows = 0;   // source rows handled so far in this step
  long long copied = 0; // of which stored in the target (the others were skipped)
  std::string target;   // the copy step's target table
  bool step_done = false;  // the last report of a copy step
  std::optional<TableDamage> damage;  // on the last report, when the source table looks damaged
  long long source_rows = 0;  // rows of this step's source table (its definition's count)
  long long all_rows = 0;     // the same summed over the nineteen steps
  long long all_read = 0;     // source rows handled in all steps so far
};

class UserInterface : public schema::MessageBoxes {
 public:
  // The application-wide mouse pointer (vbDefault or vbHourglass).
  virtual void SetMousePointer(int pointer) = 0;
  // Called as a run moves on; may be called from a worker thread.
  virtual void ReportProgress(const Progress& progress) { (void)progress; }
};

}  // namespace mirutone::convert
