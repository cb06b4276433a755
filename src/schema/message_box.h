// The message boxes of the program: the one title every box has, the
// platform's button flags and answers, and the interface that shows a box.
// The builders need no more of their user than this; the run's
// UserInterface (convert/user_interface.h) adds the pointer and progress.
#pragma once

#include <string>

namespace mirutone::schema {

// Every box has this title and no icon.
inline constexpr const char* kTitle = "確認";

// Button flags and answers, with the platform's values.
inline constexpr int vbOKOnly = 0;
inline constexpr int vbYesNo = 4;
inline constexpr int vbOK = 1;
inline constexpr int vbYes = 6;
inline constexpr int vbNo = 7;

class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  // A modal message box; returns the button pressed (vbOK, vbYes, vbNo).
  virtual int MsgBox(const std::string& prompt, int buttons, const std::string& title) = 0;
};

}  // namespace mirutone::schema
