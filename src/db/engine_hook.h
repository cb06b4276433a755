// A single place every operation of the object model passes before it
// reaches the engine. The product never sets a hook; tests set one to make a
// chosen operation fail, e.g. the first CreateField of a given table.
#pragma once

#include <functional>
#include <string_view>

namespace mirutone::db {

// operation: "CreateDatabase", "OpenDatabase", "CreateTableDef", "CreateField",
// "CreateIndex", "TableDefs.Append", "CreateQueryDef", "OpenRecordset",
// "AddNew", "Update", "Close"; object: the name of the database file, table,
// field or query concerned. An exception thrown by the hook fails the operation.
using EngineCallHook = std::function<void(std::string_view operation, std::string_view object)>;

// Installs `hook` (an empty function removes it).
void set_engine_call_hook(EngineCallHook hook);

// Calls the installed hook, if any.
void engine_call(std::string_view operation, std::string_view object);

// Installs a hook for the life of the object.
class ScopedEngineCallHook {
 public:
  explicit ScopedEngineCallHook(EngineCallHook hook) { set_engine_call_hook(std::move(hook)); }
  ~ScopedEngineCallHook() { set_engine_call_hook({}); }
  ScopedEngineCallHook(const ScopedEngineCallHook&) = delete;
  ScopedEngineCallHook& operator=(const ScopedEngineCallHook&) = delete;
};

}  // namespace mirutone::db
