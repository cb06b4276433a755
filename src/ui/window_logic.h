// What every window of the program shares, whatever draws it (Qt on Linux,
// Win32 on Windows): the layout in twips, the texts, the browse rule, which
// controls take input in each state, and the run on a worker thread with its
// boxes and pointer carried over to the window's thread. A window supplies
// only its widgets (WindowView) and its boxes (Dialogs).
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "convert/conversion_run.h"
#include "convert/user_interface.h"
#include "schema/module_state.h"

namespace mirutone::ui {

inline constexpr const char* kCaption = "NorvalePRO DB -> Norvale7 DBﾐﾙﾄｰﾈ";
inline constexpr const char* kLabel1 =
    "Norvale7へコンバートするNorvalePROのデータベースを指定します。（管理報.mdb)";
inline constexpr const char* kCommand1 = "データベースコンバート実行";
inline constexpr const char* kCommand3 = "END";
inline constexpr const char* kCommand4 = "参照";
inline constexpr const char* kPresetFileName = "管理報.mdb";
// The answers of a Yes/No box where the window draws its own buttons.
inline constexpr const char* kYesButton = "はい(&Y)";
inline constexpr const char* kNoButton = "いいえ(&N)";

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

// Pixels for `twips` at `dpi` dots to the inch, rounded to the nearest.
int twips_to_pixels(int twips, int dpi);

// The output folder for a path chosen in the file dialog (UTF-8). For the
// usual file "管理報.mdb" the path without its last 8 characters (the
// separator and the 7-character name); for any other name the folder the
// file is in. Nothing when no folder can be had, and the output folder then
// stays as it was. Both '/' and '\' separate folders.
std::optional<std::string> folder_of_chosen_file(const std::string& path);

// Which controls take input: all of them while idle, none while a run works.
struct EnabledControls {
  bool text1, command1, command3, command4;
};
EnabledControls enabled_controls(bool running);

// The two kinds of modal box a window opens: the file dialog `cdlDb` and the
// message boxes of a run. A window reaches them only through Dialogs, so a
// scripted stand-in can take their place.
class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // The file dialog, starting on the file name `preset` in no particular
  // folder, with no filter or title of its own. The chosen full path (UTF-8),
  // or nothing when the user cancelled.
  virtual std::optional<std::string> open_file(const std::string& preset) = 0;
  // A modal message box without icon. `buttons` is convert::vbOKOnly or
  // convert::vbYesNo (Yes is the default button); returns convert::vbOK,
  // vbYes or vbNo.
  virtual int message_box(const std::string& prompt, int buttons, const std::string& title) = 0;
};

// What the window shows of a progress report.
struct ProgressDisplay {
  std::string label;  // "手順 17/19 about 20 s left", beside the run button
  std::string bar;    // the text on the bar
  int permille = 0;   // the bar's fill, 0..1000
};

// The widgets of a window, as WindowLogic drives them. Every call but the
// two thread hand-overs comes on the window's thread.
class WindowView {
 public:
  virtual ~WindowView() = default;
  // Runs `f` on the window's thread and waits for it (at once when called there).
  virtual void run_on_window_thread(const std::function<void()>& f) = 0;
  // Queues `f` to run later on the window's thread; returns at once.
  virtual void post_to_window_thread(std::function<void()> f) = 0;

  virtual std::string path_text() const = 0;
  virtual void set_path_text(const std::string& path) = 0;
  virtual void set_controls_enabled(const EnabledControls& enabled) = 0;
  virtual void set_wait_pointer(bool wait) = 0;
  virtual void show_progress(const ProgressDisplay& progress) = 0;
  virtual void hide_progress() = 0;
  // The status area under the buttons; an empty text hides it.
  virtual void show_status(const std::string& text) = 0;
  virtual void focus_run_button() = 0;
  // A close that was held while the run worked may go ahead now.
  virtual void close_window() = 0;
};

class WindowLogic {
 public:
  WindowLogic(WindowView& view, Dialogs& dialogs);
  // A run still under way is waited for (its boxes need the window's thread,
  // so the view must still answer run_on_window_thread).
  ~WindowLogic();
  WindowLogic(const WindowLogic&) = delete;
  WindowLogic& operator=(const WindowLogic&) = delete;

  // Command4: browse for the source database.
  void browse();
  // Command1: start a run; returns at once, the run goes on on a worker thread.
  // Nothing happens while a run is under way.
  void start_run();
  // A request to close the window (the quit button or the frame): true when
  // the window may close now; during a run false, and the window is closed
  // through WindowView::close_window once the run has ended.
  bool request_close();

  // The shared state; the run owns it while running() is true.
  schema::ModuleState& state() { return state_; }
  const schema::ModuleState& state() const { return state_; }
  bool running() const { return running_; }
  bool wait_pointer() const { return wait_pointer_; }
  const std::optional<convert::RunResult>& last_result() const { return last_result_; }
  // Waits until the worker of a run has ended, handling nothing else: for
  // the window's own tear-down once the last posted call has run.
  void join_worker();

  // Observers, called on the window's thread: after the window has shown a
  // progress report, and after a run has ended and the controls are back.
  void set_progress_observer(std::function<void(const convert::Progress&)> f) {
    progress_observer_ = std::move(f);
  }
  void set_run_end_observer(std::function<void(const convert::RunResult&)> f) {
    run_end_observer_ = std::move(f);
  }

 private:
  class Bridge;

  void set_pointer(int pointer);
  void show_progress(const convert::Progress& progress);
  void finish_run(const convert::RunResult& result);

  WindowView& view_;
  Dialogs& dialogs_;
  schema::ModuleState state_;
  std::unique_ptr<Bridge> bridge_;
  std::thread worker_;
  bool running_ = false;
  bool close_pending_ = false;
  bool wait_pointer_ = false;
  bool copy_timing_ = false;
  std::chrono::steady_clock::time_point copy_started_{};
  std::optional<convert::RunResult> last_result_;
  std::function<void(const convert::Progress&)> progress_observer_;
  std::function<void(const convert::RunResult&)> run_end_observer_;
};

}  // namespace mirutone::ui
