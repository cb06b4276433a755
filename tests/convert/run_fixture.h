// What the conversion tests share: a user that answers the confirmation as
// told and remembers everything it was shown, and a way to read a table back.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "convert/conversion_run.h"
#include "db/jet/reader.h"
#include "support/test_support.h"

namespace mirutone::test {

class ScriptedUi : public convert::UserInterface {
 public:
  explicit ScriptedUi(int answer = convert::vbYes) : answer_(answer) {}
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

using NamedRow = std::map<std::string, jet::Value>;

// Every row of a table in storage order, by column name.
inline std::vector<NamedRow> read_table(const std::filesystem::path& file, const std::string& table) {
  auto r = jet::Reader::open(file.string());
  const auto& info = r->table(table);
  auto cur = r->rows(table);
  std::vector<NamedRow> rows;
  std::vector<jet::Value> row;
  while (cur->next(row)) {
    NamedRow named;
    for (std::size_t i = 0; i < info.columns.size(); ++i) named[info.columns[i].name] = row[i];
    rows.push_back(std::move(named));
  }
  return rows;
}

}  // namespace mirutone::test
