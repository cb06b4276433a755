// The file dialog of a window test, answered from a list: each entry is the
// path the user picks, or nullopt where the user cancels. Both windows' test
// dialogs take their open_file answers from here.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace mirutone::test {

struct ScriptedFileDialog {
  std::deque<std::optional<std::string>> choices;  // nullopt: the user cancels
  std::vector<std::string> presets;                // the file name each opening preset

  std::optional<std::string> pick(const std::string& preset) {
    presets.push_back(preset);
    if (choices.empty()) {
      ADD_FAILURE() << "the file dialog was opened once more than expected";
      return std::nullopt;
    }
    std::optional<std::string> choice = choices.front();
    choices.pop_front();
    return choice;
  }
};

}  // namespace mirutone::test
