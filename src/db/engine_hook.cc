#include "db/engine_hook.h"

#include <atomic>
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
// Whether a hook is installed: the product never sets one, and then an
// operation costs one load rather than a lock and a copy of the function.
std::atomic<bool> any_installed{false};

}  // namespace

void set_engine_call_hook(EngineCallHook hook) {
  std::lock_guard lock(hook_mutex());
  any_installed.store(static_cast<bool>(hook), std::memory_order_release);
  installed() = std::move(hook);
}

void engine_call(std::string_view operation, std::string_view object) {
  if (!any_installed.load(std::memory_order_acquire)) return;
  EngineCallHook hook;
  {
    std::lock_guard lock(hook_mutex());
    hook = installed();
  }
  if (hook) hook(operation, object);
}

}  // namespace mirutone::db
