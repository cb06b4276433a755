// A UserInterface that remembers every box, pointer and progress report it
// was given, and answers a Yes/No box as told (Yes unless told otherwise),
// every other box with OK.
#pragma once

#include <string>
#include <vector>

#include "convert/user_interface.h"

namespace mirutone::test {

class RecordingUi : public convert::UserInterface {
 public:
  explicit RecordingUi(int answer = convert::vbYes) : answer_(answer) {}
  struct Box {
    std::string prompt;
    int buttons;
    std::string title;
  };
  int MsgBox(const std::string& prompt, int buttons, const std::string& title) override {
    boxes.push_back({prompt, buttons, title});
    return buttons == convert::vbYesNo ? answer_ : convert::vbOK;
  }
  void SetMousePointer(int pointer) override { pointers.push_back(pointer); }
  void ReportProgress(const convert::Progress& p) override { progress.push_back(p); }

  std::vector<Box> boxes;
  std::vector<int> pointers;
  std::vector<convert::Progress> progress;

 private:
  int answer_;
};

}  // namespace mirutone::test
