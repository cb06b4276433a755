#include "ui/window_logic.h"

#include <atomic>
#include <mutex>

#include "convert/run_report.h"
#include "i18n/messages.h"

namespace mirutone::ui {

int twips_to_pixels(int twips, int dpi) {
  // Round half away from zero, as the old layout's pixel grid did.
  const long long scaled = static_cast<long long>(twips) * dpi;
  return static_cast<int>(scaled >= 0 ? (scaled + 720) / 1440 : -((-scaled + 720) / 1440));
}

namespace {

bool is_separator(char c) { return c == '/' || c == '\\'; }

}  // namespace

std::optional<std::string> folder_of_chosen_file(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name == kPresetFileName) {
    // The separator and the seven characters of the name; a bare name has no
    // separator to cut, so eight characters are not there.
    if (slash == std::string::npos) return std::nullopt;
    return path.substr(0, slash);
  }
  if (name.empty()) return std::nullopt;
  if (slash == std::string::npos) return std::string(".");
  if (slash == 0) return path.substr(0, 1);  // a file in the root
  // "D:\a.mdb": the root of the drive keeps its separator.
  if (slash == 2 && path[1] == ':') return path.substr(0, 3);
  std::size_t end = slash;
  while (end > 1 && is_separator(path[end - 1])) --end;
  return path.substr(0, end);
}

EnabledControls enabled_controls(bool running) {
  const bool idle = !running;
  return EnabledControls{idle, idle, idle, idle};
}

// The run's user interface, carried over from the worker to the window.
class WindowLogic::Bridge : public convert::UserInterface {
 public:
  explicit Bridge(WindowLogic& logic) : logic_(logic) {}

  int MsgBox(const std::string& prompt, int buttons, const std::string& title) override {
    int answer = convert::vbOK;
    logic_.view_.run_on_window_thread([&] { answer = logic_.dialogs_.message_box(prompt, buttons, title); });
    return answer;
  }

  void SetMousePointer(int pointer) override {
    logic_.view_.run_on_window_thread([&] { logic_.set_pointer(pointer); });
  }

  // Reports can come faster than the window paints: only the newest one
  // waiting is shown.
  void ReportProgress(const convert::Progress& progress) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      latest_ = progress;
    }
    if (posted_.exchange(true)) return;
    logic_.view_.post_to_window_thread([this] {
      posted_ = false;
      convert::Progress p;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        p = latest_;
      }
      logic_.show_progress(p);
    });
  }

 private:
  WindowLogic& logic_;
  std::mutex mutex_;
  convert::Progress latest_;
  std::atomic<bool> posted_{false};
};

WindowLogic::WindowLogic(WindowView& view, Dialogs& dialogs)
    : view_(view), dialogs_(dialogs), bridge_(std::make_unique<Bridge>(*this)) {}

WindowLogic::~WindowLogic() { join_worker(); }

void WindowLogic::join_worker() {
  if (worker_.joinable()) worker_.join();
}

void WindowLogic::set_pointer(int pointer) {
  const bool wait = pointer == convert::vbHourglass;
  if (wait == wait_pointer_) return;
  wait_pointer_ = wait;
  view_.set_wait_pointer(wait);
}

void WindowLogic::browse() {
  if (running_) return;
  view_.show_status(std::string());
  const std::optional<std::string> chosen = dialogs_.open_file(kPresetFileName);
  // The old program switched back to its own drive here; the current folder
  // plays no part in our paths, so there is nothing to switch back to.
  if (!chosen) return;
  view_.set_path_text(*chosen);
  if (std::optional<std::string> folder = folder_of_chosen_file(*chosen)) state_.strDbFolder = *folder;
}

void WindowLogic::start_run() {
  if (running_) return;
  running_ = true;
  view_.show_status(std::string());
  copy_timing_ = false;
  view_.set_controls_enabled(enabled_controls(true));
  const std::string source = view_.path_text();
  worker_ = std::thread([this, source] {
    convert::RunResult result;
    try {
      result = convert::ConversionRun(state_, *bridge_).Command1_Click(source);
    } catch (...) {
      // The run reports its own failures; this is only a last guard so the
      // window always comes back.
      result.outcome = convert::RunOutcome::Failed;
      bridge_->SetMousePointer(convert::vbDefault);
      bridge_->MsgBox(convert::kFailedPrompt, convert::vbOKOnly, convert::kTitle);
    }
    view_.post_to_window_thread([this, result] { finish_run(result); });
  });
}

void WindowLogic::show_progress(const convert::Progress& progress) {
  if (!running_) return;
  ProgressDisplay shown;
  shown.bar = convert::progress_text(progress);
  if (progress.step == 0) {
    shown.label = shown.bar;
  } else {
    if (!copy_timing_) {
      copy_timing_ = true;
      copy_started_ = std::chrono::steady_clock::now();
    }
    shown.permille = static_cast<int>(convert::step_fraction(progress) * 1000);
    shown.label = i18n::tr("step {1}/{2}", progress.step, progress.total_steps);
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - copy_started_).count();
    const std::string left = convert::time_left(progress, elapsed);
    if (!left.empty()) shown.label += " " + left;
  }
  if (progress.damage) shown.label += " — " + progress.damage->describe();
  view_.show_progress(shown);
  if (progress_observer_) progress_observer_(progress);
}

void WindowLogic::finish_run(const convert::RunResult& result) {
  join_worker();
  running_ = false;
  set_pointer(convert::vbDefault);
  view_.hide_progress();
  view_.show_status(convert::status_text(result));
  view_.set_controls_enabled(enabled_controls(false));
  view_.focus_run_button();
  last_result_ = result;
  // What the fixed closing messages do not tell: another run holding the
  // output folder, and source tables that look damaged.
  std::string notes;
  if (convert::output_in_use(result)) {
    notes += result.cause->message + "\n";
  }
  for (const auto& d : result.damaged) notes += "step " + std::to_string(d.step) + ": " + d.describe() + "\n";
  if (!notes.empty()) dialogs_.message_box(notes, convert::vbOKOnly, convert::kTitle);
  if (run_end_observer_) run_end_observer_(result);
  if (close_pending_) {
    close_pending_ = false;
    view_.close_window();
  }
}

bool WindowLogic::request_close() {
  if (running_) {
    // Ending now would leave the output files half written: close once the
    // run has ended.
    close_pending_ = true;
    return false;
  }
  return true;
}

}  // namespace mirutone::ui
