// Form1 drawn by Qt: the label, the path box Text1, the run button Command1,
// the quit button Command3, the browse button Command4, and the file dialog
// cdlDb (reached through Dialogs). What it does is WindowLogic's; this class
// holds only the widgets.
//
// While a run works the controls are disabled, the step and the time left
// show left of the run button and a bar of the step's rows below the buttons,
// and a close request is held until the run has ended. After a run, a status
// area below the buttons tells the cause of a failure, or where the two files
// are, and what each step copied and skipped, until the next command.
#pragma once

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "convert/conversion_run.h"
#include "schema/module_state.h"
#include "ui/window/dialogs.h"
#include "ui/window_logic.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace mirutone::ui {

// The window's icon, drawn in the 16 colours of the old palette (32 by 32 and
// 16 by 16).
QIcon window_icon();

class Form1 : public QWidget, private WindowView {
 public:
  explicit Form1(Dialogs& dialogs, QWidget* parent = nullptr);
  ~Form1() override;
  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;

  // The button handlers.
  void Command1_Click();  // start a run (returns at once; the run goes on)
  void Command3_Click();  // end the program
  void Command4_Click();  // browse for the source database

  // The shared state; the run owns it while running() is true.
  schema::ModuleState& state() { return logic_.state(); }
  const schema::ModuleState& state() const { return logic_.state(); }
  bool running() const { return logic_.running(); }
  // The result of the last run that has ended.
  const std::optional<convert::RunResult>& last_result() const { return logic_.last_result(); }
  // What the status area shows (empty when it is hidden).
  QString status_text() const;
  // Pixels for `twips` at the window's resolution.
  int px(int twips) const;

  // Observers, called on the window's thread: after the window has shown a
  // progress report, and after a run has ended and the controls are back.
  void set_progress_observer(std::function<void(const convert::Progress&)> f) {
    logic_.set_progress_observer(std::move(f));
  }
  void set_run_end_observer(std::function<void(const convert::RunResult&)> f) {
    logic_.set_run_end_observer(std::move(f));
  }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // WindowView: what WindowLogic asks of the widgets.
  void run_on_window_thread(const std::function<void()>& f) override;
  void post_to_window_thread(std::function<void()> f) override;
  std::string path_text() const override;
  void set_path_text(const std::string& path) override;
  void set_controls_enabled(const EnabledControls& enabled) override;
  void set_wait_pointer(bool wait) override;
  void show_progress(const ProgressDisplay& progress) override;
  void hide_progress() override;
  void show_status(const std::string& text) override;
  void focus_run_button() override;
  void close_window() override;

  void place(QWidget* w, const Twips& t) const;
  void lay_out();

  QLabel* Label1_;
  QLineEdit* Text1_;
  QPushButton* Command1_;
  QPushButton* Command3_;
  QPushButton* Command4_;
  QLabel* progress_label_;
  QProgressBar* progress_bar_;
  QPlainTextEdit* status_;
  bool wait_cursor_ = false;
  WindowLogic logic_;
};

}  // namespace mirutone::ui
