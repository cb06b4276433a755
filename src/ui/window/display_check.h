// Whether the X display named by DISPLAY answers, so that the program can say
// so instead of letting Qt abort when it cannot connect.
#pragma once

#include <string>

namespace mirutone::ui {

// True when a connection to the X server of `display` (":0", "unix:1.0",
// "localhost:10.0", ...) can be opened within a couple of seconds. A display
// name this function does not understand counts as reachable, and Qt decides.
bool x_display_reachable(const std::string& display);

}  // namespace mirutone::ui
