#include "schema/module_state.h"

#include "db/errors.h"

namespace mirutone::schema {

std::string output_path(const ModuleState& state, const std::string& file_name) {
  if (state.strDbFolder.empty()) {
    throw db::Error(db::jet_errors::kInvalidPath, "No output folder has been chosen for '" + file_name + "'");
  }
#ifdef _WIN32
  // The system's own separator, as the user reads it in messages.
  return state.strDbFolder + "\\" + file_name;
#else
  return state.strDbFolder + "/" + file_name;
#endif
}

}  // namespace mirutone::schema
