// Form1, the program's one window: the label, the path box Text1, the run
// button Command1, the quit button Command3, the browse button Command4, and
// the file dialog cdlDb (reached through Dialogs).
//
// A run goes on a worker thread so that the window keeps painting; while it
// works the controls are disabled, the step and the time left show left of
// the run button and a bar of the step's rows below the buttons, and a close
// request is held until the run has ended. After a run, a status area below
// the buttons tells the cause of a failure, or where the two files are, and
// what each step copied and skipped, until the next command. The run's message boxes and mouse pointer are carried over to the
// window's thread; a message box holds the worker until it is answered.
#pragma once

#include <QWidget>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "convert/conversion_run.h"
#include "convert/user_interface.h"
#include "schema/module_state.h"
#include "ui/window/dialogs.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace mirutone::ui {

inline constexpr const char* kCaption = "NorvalePRO DB -> Norvale7 DBﾐﾙﾄｰﾈ";
inline constexpr const char* kLabel1 =
    "Norvale7へコンバートするNorvalePROのデータベースを指定します。（管理報.mdb)";
inline constexpr const char* kCommand1 = "データベースコンバート実行";
inline constexpr const char* kCommand3 = "END";
inline constexpr const char* kCommand4 = "参照";
inline constexpr const char* kPresetFileName = "管理報.mdb";

// A control's place in twips: 1440 to the inch, so 15 to a pixel at 96 dpi.
struct Twips {
  int left, top, width, height;
};
inline constexpr int kClientWidthTwips = 9195;
inline constexpr int kClientHeightTwips = 2325;
inline constexpr Twips kLabel1Place{660, 300, 6825, 180};
inline constexpr Twips kText1Place{660, 660, 7515, 315};
inline constexpr Twips kCommand1Place{3180, 1320, 2835, 435};
inline constexpr Twips kCommand3Place{7440, 1320, 1395, 435};
inline constexpr Twips kCommand4Place{8280, 660, 555, 375};
// Shown only during a run: the step and table on the bottom row, left of the
// run button, and the bar in the strip under the buttons.
inline constexpr Twips kProgressLabelPlace{660, 1320, 2460, 435};
inline constexpr Twips kProgressBarPlace{660, 1860, 8175, 300};
// Shown after a run, until the next command: the window grows by this much
// to hold it.
inline constexpr Twips kStatusPlace{660, 1860, 8175, 3000};
inline constexpr int kStatusExtraHeightTwips = 2700;

// The output folder for a path chosen in the file dialog. For the usual file
// "管理報.mdb" the path without its last 8 characters (the separator and the
// 7-character name); for any other name the folder the file is in. Nothing
// when no folder can be had, and the output folder then stays as it was.
std::optional<QString> folder_of_chosen_file(const QString& path);

// The window's icon, drawn in the 16 colours of the old palette (32 by 32 and
// 16 by 16).
QIcon window_icon();

class Form1 : public QWidget {
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
  schema::ModuleState& state() { return state_; }
  const schema::ModuleState& state() const { return state_; }
  bool running() const { return running_; }
  // The result of the last run that has ended.
  const std::optional<convert::RunResult>& last_result() const { return last_result_; }
  // What the status area shows (empty when it is hidden).
  QString status_text() const;
  // Pixels for `twips` at the window's resolution.
  int px(int twips) const;

  // Observers, called on the window's thread: after the window has shown a
  // progress report, and after a run has ended and the controls are back.
  void set_progress_observer(std::function<void(const convert::Progress&)> f) {
    progress_observer_ = std::move(f);
  }
  void set_run_end_observer(std::function<void(const convert::RunResult&)> f) {
    run_end_observer_ = std::move(f);
  }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  class Bridge;

  void place(QWidget* w, const Twips& t) const;
  void lay_out();
  void set_controls_enabled(bool enabled);
  void set_pointer(int pointer);
  void show_progress(const convert::Progress& progress);
  void show_status(const QString& text);
  void finish_run(const convert::RunResult& result);

  Dialogs& dialogs_;
  schema::ModuleState state_;

  QLabel* Label1_;
  QLineEdit* Text1_;
  QPushButton* Command1_;
  QPushButton* Command3_;
  QPushButton* Command4_;
  QLabel* progress_label_;
  QProgressBar* progress_bar_;
  QPlainTextEdit* status_;
  std::chrono::steady_clock::time_point copy_started_{};
  bool copy_timing_ = false;

  std::unique_ptr<Bridge> bridge_;
  std::thread worker_;
  bool running_ = false;
  bool close_pending_ = false;
  bool wait_cursor_ = false;
  std::optional<convert::RunResult> last_result_;
  std::function<void(const convert::Progress&)> progress_observer_;
  std::function<void(const convert::RunResult&)> run_end_observer_;
};

}  // namespace mirutone::ui
