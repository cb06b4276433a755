// The state that the window, the conversion run and the builders share for
// the life of the program: the output folder, the three database handles,
// the SELECT text of the copy step under way and its two recordsets.
#pragma once

#include <string>

#include "db/database.h"
#include "db/recordset.h"

namespace mirutone::schema {

struct ModuleState {
  std::string strDbFolder;  // output folder, without a trailing separator
  db::Database dbSource;
  db::Database dbKanri;
  db::Database dbData;
  std::string strSql;
  db::Recordset rsSource;
  db::Recordset rsTarget;
};

// strDbFolder joined with a file name by '/'. Error 3044 (not a valid path)
// when no output folder has been chosen.
std::string output_path(const ModuleState& state, const std::string& file_name);

}  // namespace mirutone::schema
