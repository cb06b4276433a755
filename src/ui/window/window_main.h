// The window front end: `mirutone` with no arguments.
#pragma once

class QCoreApplication;

namespace mirutone::ui {

// Installs Qt's Japanese translations of its own texts (the file dialog's
// buttons and labels) in `app`; false, with a note on stderr, when they are
// not installed.
bool load_qt_translations(QCoreApplication& app);

// Shows Form1 and runs until it is closed; returns the exit status. Without a
// display it says so on stderr and returns 2.
int run_window(int argc, char** argv);

}  // namespace mirutone::ui
