#include "db/engine.h"

#include <filesystem>

#include "db/database_file.h"
#include "db/engine_hook.h"
#include "db/errors.h"
#include "db/locale_string.h"
#include "platform/path.h"

namespace mirutone::db {

Workspace DBEngine::Workspaces(int index) {
  if (index != 0) throw Error(jet_errors::kInvalidArgument, "There is no workspace " + std::to_string(index));
  return Workspace();
}

Database Workspace::CreateDatabase(const std::string& path, const std::string& locale) const {
  engine_call("CreateDatabase", path);
  jet::Locale l = parse_locale_string(locale);
  std::error_code ec;
  if (std::filesystem::symlink_status(platform::fs_path(path), ec).type() != std::filesystem::file_type::not_found) {
    throw Error(jet_errors::kDatabaseExists, "Database '" + path + "' already exists");
  }
  try {
    return Database(DatabaseFile::create(path, l));
  } catch (const jet::Error& e) {
    throw Error(e.jet_code(), std::string("Cannot create database '") + path + "': " + e.what());
  }
}

Database Workspace::OpenDatabase(const std::string& path) const { return OpenDatabase(path, 0); }

Database Workspace::OpenDatabase(const std::string& path, int codepage) const {
  engine_call("OpenDatabase", path);
  try {
    return Database(DatabaseFile::open(path, codepage));
  } catch (const jet::Error& e) {
    throw Error(e.jet_code(), std::string("Cannot open database '") + path + "': " + e.what());
  }
}

}  // namespace mirutone::db
