// The builders of the two new databases. Each works on the shared state and
// talks to the user only through the UserInterface.
//
//   CreateKanriDb  "Ruzevuz.mdb": fifteen tables, then the ten stored queries;
//   SeedKanriDb    one row (number 1, zero-length 名称) in each of the four
//                  item and unit tables;
//   CreateDataDb   "NVData.mdb": seven tables.
//
// CreateKanriDb and CreateDataDb catch their own failures: they show
// "ＤＢ作成エラー" and return normally, leaving the partial file on disk.
// SeedKanriDb lets a failure through to its caller.
#pragma once

#include <string>

#include "schema/message_box.h"
#include "schema/module_state.h"

namespace mirutone::schema {

class Module1 {
 public:
  Module1(ModuleState& state, MessageBoxes& ui) : state_(state), ui_(ui) {}

  void CreateKanriDb();
  void SeedKanriDb();
  void CreateDataDb();

  // What made the last builder show "ＤＢ作成エラー" (the file and the
  // engine's text), or empty. A later failure of the run is often only its
  // consequence (a handle left holding nothing), so the run reports this too.
  const std::string& build_failure() const { return build_failure_; }
  // True once any builder has shown "ＤＢ作成エラー".
  bool failed() const { return failed_; }

 private:
  void build_failed(const char* file_name);

  ModuleState& state_;
  MessageBoxes& ui_;
  std::string build_failure_;
  bool failed_ = false;
};

}  // namespace mirutone::schema
