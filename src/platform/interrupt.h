// Ctrl-C (and, where the system has one, a termination request) calls
// `handler` instead of ending the process. The handler runs on a signal or
// on a system thread: it may only set a flag.
#pragma once

namespace mirutone::platform {

using InterruptHandler = void (*)();
void on_interrupt(InterruptHandler handler);

}  // namespace mirutone::platform
