// The window front end: `mirutone` with no arguments.
#pragma once

namespace mirutone::ui {

// Shows Form1 and runs until it is closed; returns the exit status. Without a
// display it says so on stderr and returns 2.
int run_window(int argc, char** argv);

}  // namespace mirutone::ui
