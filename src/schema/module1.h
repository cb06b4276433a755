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

#include "convert/user_interface.h"
#include "schema/module_state.h"

namespace mirutone::schema {

class Module1 {
 public:
  Module1(ModuleState& state, convert::UserInterface& ui) : state_(state), ui_(ui) {}

  void CreateKanriDb();
  void SeedKanriDb();
  void CreateDataDb();

 private:
  ModuleState& state_;
  convert::UserInterface& ui_;
};

}  // namespace mirutone::schema
