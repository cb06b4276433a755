// A UserInterface that answers every box with OK and remembers what it showed.
#pragma once

#include <string>
#include <vector>

#include "convert/user_interface.h"

namespace mirutone::test {

class RecordingUi : public convert::UserInterface {
 public:
  struct Box {
    std::string prompt;
    int buttons;
    std::string title;
  };
  int MsgBox(const std::string& prompt, int buttons, const std::string& title) override {
    boxes.push_back({prompt, buttons, title});
    return convert::vbOK;
  }
  void SetMousePointer(int pointer) override { pointers.push_back(pointer); }

  std::vector<Box> boxes;
  std::vector<int> pointers;
};

}  // namespace mirutone::test
