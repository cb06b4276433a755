// Form1 drawn with the Win32 controls, for the Windows build: the label, the
// path box Text1, the buttons Command1, Command3 and Command4, placed from
// the old layout's twips at the system's resolution, in a Japanese UI font,
// with the program's icon; the file dialog is GetOpenFileNameW and the boxes
// MessageBoxW. What the window does is WindowLogic's; this holds the controls.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "ui/window_logic.h"

namespace mirutone::ui::win32 {

// Control identifiers, also the children's GWLP_ID.
enum ControlId : int {
  kText1Id = 101,
  kCommand1Id = 102,
  kCommand3Id = 103,
  kCommand4Id = 104,
  kProgressLabelId = 105,
  kProgressBarId = 106,
  kProgressTextId = 107,
  kStatusId = 108,
  kLabel1Id = 109,
};

// The real boxes: GetOpenFileNameW and MessageBoxW, owned by the window.
class Win32Dialogs : public Dialogs {
 public:
  void set_owner(HWND owner) { owner_ = owner; }
  std::optional<std::string> open_file(const std::string& preset) override;
  int message_box(const std::string& prompt, int buttons, const std::string& title) override;

 private:
  HWND owner_ = nullptr;
};

class Form1 : private WindowView {
 public:
  explicit Form1(Dialogs& dialogs);
  ~Form1() override;
  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;

  // Makes the window (not yet shown); false when Windows refuses.
  bool create();
  HWND hwnd() const { return hwnd_; }
  HWND control(ControlId id) const { return GetDlgItem(hwnd_, id); }
  WindowLogic& logic() { return logic_; }
  // The resolution the layout was scaled for.
  int dpi() const { return dpi_; }
  // What the status area shows (empty when hidden), and the path box (UTF-8).
  std::string status_text() const;
  std::string path_text() const override;

  // Handles one message for the dialog keys (Tab between the controls,
  // Enter on a button); true when it was taken.
  bool dialog_message(MSG& msg) { return hwnd_ != nullptr && IsDialogMessageW(hwnd_, &msg); }

 private:
  static LRESULT CALLBACK window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT handle(UINT message, WPARAM wparam, LPARAM lparam);

  // WindowView.
  void run_on_window_thread(const std::function<void()>& f) override;
  void post_to_window_thread(std::function<void()> f) override;
  void set_path_text(const std::string& path) override;
  void set_controls_enabled(const EnabledControls& enabled) override;
  void set_wait_pointer(bool wait) override;
  void show_progress(const ProgressDisplay& progress) override;
  void hide_progress() override;
  void show_status(const std::string& text) override;
  void focus_run_button() override;
  void close_window() override;

  int px(int twips) const { return twips_to_pixels(twips, dpi_); }
  void place(ControlId id, const Twips& t) const;
  void lay_out();

  HWND hwnd_ = nullptr;
  DWORD thread_ = 0;
  int dpi_ = 96;
  HFONT font_ = nullptr;
  HICON icon_big_ = nullptr;
  HICON icon_small_ = nullptr;
  bool wait_cursor_ = false;
  bool status_shown_ = false;
  WindowLogic logic_;
};

// Shows Form1 and runs its message loop until the window is closed; the exit
// status. MIRUTONE_SCREENSHOT=FILE.bmp instead saves a picture of the idle
// window, frame included, and ends.
int run_window();

// Saves what `hwnd` shows, frame included, as a 24-bit BMP file: the screen
// where the window is, or what PrintWindow draws where the screen cannot be read.
bool save_window_picture(HWND hwnd, const std::wstring& path);

}  // namespace mirutone::ui::win32
