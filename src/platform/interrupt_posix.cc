#include <signal.h>

#include <atomic>

#include "platform/interrupt.h"

namespace mirutone::platform {
namespace {
std::atomic<InterruptHandler> installed{nullptr};
}

void on_interrupt(InterruptHandler handler) {
  installed.store(handler);
  struct sigaction on_stop {};
  on_stop.sa_handler = [](int) {
    if (InterruptHandler h = installed.load()) h();
  };
  sigemptyset(&on_stop.sa_mask);
  ::sigaction(SIGINT, &on_stop, nullptr);
  ::sigaction(SIGTERM, &on_stop, nullptr);
}

}  // namespace mirutone::platform
