#include "db/engine_hook.h"

#include <mutex>

namespace mirutone::db {
namespace {

std::mutex& hook_mutex() {
  static std::mutex m;
  return m;
}
EngineCallHook& installed() {
  static EngineCallHook hook;
  return hook;
}

}  // namespace

void set_engine_call_hook(EngineCallHook hook) {
  std::lock_guard lock(hook_mutex());
  installed() = std::move(hook);
}

void engine_call(std::string_view operation, std::string_view object) {
  EngineCallHook hook;
  {
    std::lock_guard lock(hook_mutex());
    hook = installed();
  }
  if (hook) hook(operation, object);
}

}  // namespace mirutone::db
