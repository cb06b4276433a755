// DBEngine and its workspace: where databases are created and opened.
//
//   Database db = DBEngine::Workspaces(0).CreateDatabase(path, dbLangJapanese);
#pragma once

#include <string>

#include "db/database.h"

namespace mirutone::db {

class Workspace {
 public:
  // A new, empty Jet 3 database with the sort order and code page of
  // `locale` (a connect string such as dbLangJapanese). Error 3204 when a
  // file is already at `path`.
  Database CreateDatabase(const std::string& path, const std::string& locale) const;
  // An existing database, read through the engine's reader and written to
  // (on the first write) by its writer. Error 3024 when the file is missing,
  // 3049 when it is not a database.
  Database OpenDatabase(const std::string& path) const;
  // The same, reading the text of a Jet 3 file in `codepage` whatever its
  // header says (for files whose header names the wrong code page; 0 = the header's).
  Database OpenDatabase(const std::string& path, int codepage) const;
};

class DBEngine {
 public:
  // Error 3001 for any workspace but 0.
  static Workspace Workspaces(int index);
};

}  // namespace mirutone::db
