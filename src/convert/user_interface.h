// How the conversion run and the builders talk to their user. The window, the
// terminal front end and the tests each implement it; nothing behind it knows
// which one it is talking to.
#pragma once

#include <string>

namespace mirutone::convert {

// Button flags and answers of a message box, with the platform's values.
inline constexpr int vbOKOnly = 0;
inline constexpr int vbYesNo = 4;
inline constexpr int vbOK = 1;
inline constexpr int vbYes = 6;
inline constexpr int vbNo = 7;

// Mouse pointers.
inline constexpr int vbDefault = 0;
inline constexpr int vbHourglass = 11;

// Where a run has got to.
struct Progress {
  int step = 0;         // 1..19 during the copy steps, 0 while building
  int total_steps = 19;
  std::string table;    // the source table being copied, or the database being built
  long long rows = 0;   // source rows handled so far in this step
  long long copied = 0; // of which stored in the target (the others were skipped)
  std::string target;   // the copy step's target table
  bool step_done = false;  // the last report of a copy step
  long long source_rows = 0;  // rows of this step's source table (its definition's count)
  long long all_rows = 0;     // the same summed over the nineteen steps
  long long all_read = 0;     // source rows handled in all steps so far
};

class UserInterface {
 public:
  virtual ~UserInterface() = default;
  // A modal message box; returns the button pressed (vbOK, vbYes, vbNo).
  virtual int MsgBox(const std::string& prompt, int buttons, const std::string& title) = 0;
  // The application-wide mouse pointer (vbDefault or vbHourglass).
  virtual void SetMousePointer(int pointer) = 0;
  // Called as a run moves on; may be called from a worker thread.
  virtual void ReportProgress(const Progress& progress) { (void)progress; }
};

}  // namespace mirutone::convert
