// The application object and scripted stand-ins for the window's boxes.
#pragma once

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "convert/user_interface.h"
#include "support/scripted_file_dialog.h"
#include "ui/window/dialogs.h"
#include "ui/window/form1.h"

namespace mirutone::test {

// One QApplication for the whole suite, on the offscreen platform unless the
// environment names another.
inline QApplication& application() {
  static int argc = 1;
  static char name[] = "window_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    return new QApplication(argc, argv);
  }();
  return *app;
}

// A box as the window showed it, with what was true while it was up.
struct ShownBox {
  std::string prompt;
  int buttons;
  std::string title;
  bool on_window_thread;
  bool wait_cursor;        // the application-wide wait cursor was set
  bool controls_enabled;   // Command1 could be pressed
};

// Answers the file dialog from a list and the message boxes by a rule
// (Yes to a question, OK to the rest, unless `answer` says otherwise).
class ScriptedDialogs : public ui::Dialogs, public test::ScriptedFileDialog {
 public:
  std::optional<std::string> open_file(const std::string& preset) override { return pick(preset); }

  int message_box(const std::string& prompt, int buttons, const std::string& title) override {
    ShownBox box{prompt, buttons, title, QThread::currentThread() == application().thread(),
                 QApplication::overrideCursor() != nullptr, false};
    if (form != nullptr) {
      box.controls_enabled = form->findChild<QPushButton*>("Command1")->isEnabled();
    }
    boxes.push_back(box);
    if (answer) return answer(box);
    return buttons == convert::vbYesNo ? convert::vbYes : convert::vbOK;
  }

  std::vector<ShownBox> boxes;
  std::function<int(const ShownBox&)> answer;
  ui::Form1* form = nullptr;
};

// Waits for the run under way to end; false on timeout.
inline bool wait_for_run_end(ui::Form1& form, int timeout_ms = 120000) {
  return QTest::qWaitFor([&] { return !form.running(); }, timeout_ms);
}

}  // namespace mirutone::test
