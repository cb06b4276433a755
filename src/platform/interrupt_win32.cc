#include <windows.h>

#include <atomic>

#include "platform/interrupt.h"

namespace mirutone::platform {
namespace {

std::atomic<InterruptHandler> installed{nullptr};

BOOL WINAPI on_console_event(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
      if (InterruptHandler h = installed.load()) {
        h();
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

void on_interrupt(InterruptHandler handler) {
  installed.store(handler);
  ::SetConsoleCtrlHandler(on_console_event, TRUE);
}

}  // namespace mirutone::platform
