#include "ui/win32/form1_win32.h"

#include <commctrl.h>
#include <commdlg.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <vector>

#include "convert/user_interface.h"
#include "i18n/messages.h"
#include "platform/path.h"

namespace mirutone::ui::win32 {

namespace {

using platform::narrow;
using platform::widen;

constexpr wchar_t kClassName[] = L"MirutoneForm1";
// Calls handed over from the run's worker: posted (the lParam owns a
// std::function) and sent (the lParam points to one the sender keeps).
constexpr UINT kPostedCall = WM_APP + 1;
constexpr UINT kSentCall = WM_APP + 2;
constexpr int kIconResource = 1;

// The bar of a run, with its text on a line of its own below it (a Win32
// progress bar shows no text).
constexpr Twips kBarPlace{660, 1830, 8175, 165};
constexpr Twips kBarTextPlace{660, 2025, 8175, 270};

constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

// Line ends as the edit control and the message box want them.
std::wstring with_crlf(const std::string& text) {
  std::wstring out;
  for (wchar_t c : widen(text)) {
    if (c == L'\n') out += L'\r';
    out += c;
  }
  return out;
}

int CALLBACK note_font(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

bool font_installed(const wchar_t* face) {
  LOGFONTW query{};
  query.lfCharSet = DEFAULT_CHARSET;
  wcsncpy(query.lfFaceName, face, LF_FACESIZE - 1);
  bool found = false;
  HDC dc = GetDC(nullptr);
  EnumFontFamiliesExW(dc, &query, note_font, reinterpret_cast<LPARAM>(&found), 0);
  ReleaseDC(nullptr, dc);
  return found;
}

// The window's font: Meiryo UI (Windows 7 and later in Japanese), else MS UI
// Gothic (every Japanese Windows), else a Japanese face Wine finds through
// fontconfig, at the 9 points of the old layout.
HFONT make_font(int dpi) {
  const wchar_t* face = L"MS UI Gothic";
  for (const wchar_t* candidate : {L"Meiryo UI", L"MS UI Gothic", L"Noto Sans CJK JP"}) {
    if (font_installed(candidate)) {
      face = candidate;
      break;
    }
  }
  return CreateFontW(-MulDiv(9, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                     face);
}

int system_dpi() {
  HDC dc = GetDC(nullptr);
  const int dpi = dc != nullptr ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
  if (dc != nullptr) ReleaseDC(nullptr, dc);
  return dpi > 0 ? dpi : 96;
}

std::string window_text(HWND w) {
  const int length = GetWindowTextLengthW(w);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(w, text.data(), length + 1)));
  return narrow(text);
}

}  // namespace

std::optional<std::string> Win32Dialogs::open_file(const std::string& preset) {
  // Room for any path Windows hands back, the preset name filled in.
  std::vector<wchar_t> file(32768, L'\0');
  const std::wstring name = widen(preset);
  std::copy(name.begin(), name.end(), file.begin());
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner_;
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = static_cast<DWORD>(file.size());
  dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  // A cancel, and a dialog that could not be shown, both leave things as
  // they were: the browse skips its failures without a message.
  if (!GetOpenFileNameW(&dialog) || file[0] == L'\0') return std::nullopt;
  return narrow(file.data());
}

int Win32Dialogs::message_box(const std::string& prompt, int buttons, const std::string& title) {
  // The button flags are Windows' own (MB_OK 0, MB_YESNO 4, Yes the default),
  // and so are the answers (IDOK 1, IDYES 6, IDNO 7).
  const UINT type = (buttons == convert::vbYesNo ? MB_YESNO : MB_OK) | MB_APPLMODAL | MB_SETFOREGROUND;
  const int answer = MessageBoxW(owner_, with_crlf(prompt).c_str(), widen(title).c_str(), type);
  if (buttons == convert::vbYesNo) return answer == IDYES ? convert::vbYes : convert::vbNo;
  return convert::vbOK;
}

Form1::Form1(Dialogs& dialogs) : logic_(*this, dialogs) {}

Form1::~Form1() {
  // Closing is held while a run works; a window torn down without a close
  // still lets its run finish the files, answering its calls meanwhile.
  MSG msg;
  while (logic_.running() && GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  logic_.join_worker();
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);
  if (font_ != nullptr) DeleteObject(font_);
  if (icon_big_ != nullptr) DestroyIcon(icon_big_);
  if (icon_small_ != nullptr) DestroyIcon(icon_small_);
}

bool Form1::create() {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  dpi_ = system_dpi();
  thread_ = GetCurrentThreadId();
  const int big = GetSystemMetrics(SM_CXICON);
  const int small = GetSystemMetrics(SM_CXSMICON);
  icon_big_ = static_cast<HICON>(
      LoadImageW(instance, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON, big, big, LR_DEFAULTCOLOR));
  icon_small_ = static_cast<HICON>(
      LoadImageW(instance, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON, small, small, LR_DEFAULTCOLOR));

  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = window_proc;
  wc.hInstance = instance;
  wc.hIcon = icon_big_;
  wc.hIconSm = icon_small_;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kClassName;
  if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;

  hwnd_ = CreateWindowExW(WS_EX_CONTROLPARENT, kClassName, widen(kCaption).c_str(), kWindowStyle, CW_USEDEFAULT,
                          CW_USEDEFAULT, 100, 100, nullptr, nullptr, instance, this);
  if (hwnd_ == nullptr) return false;
  SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_big_));
  SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_small_));
  font_ = make_font(dpi_);

  // Created in the tab order: Text1, Command1, Command3, Command4; the label
  // and the run's displays take no focus.
  auto make = [&](const wchar_t* cls, const std::string& text, DWORD style, DWORD ex, ControlId id) {
    HWND w = CreateWindowExW(ex, cls, widen(text).c_str(), WS_CHILD | style, 0, 0, 10, 10, hwnd_,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    return w;
  };
  make(L"STATIC", kLabel1, WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 0, kLabel1Id);
  make(L"EDIT", "", WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, kText1Id);
  make(L"BUTTON", kCommand1, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, kCommand1Id);
  make(L"BUTTON", kCommand3, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, kCommand3Id);
  make(L"BUTTON", kCommand4, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, kCommand4Id);
  make(L"STATIC", "", SS_LEFT | SS_NOPREFIX | SS_CENTERIMAGE | SS_ENDELLIPSIS, 0, kProgressLabelId);
  HWND bar = make(PROGRESS_CLASSW, "", 0, 0, kProgressBarId);
  SendMessageW(bar, PBM_SETRANGE32, 0, 1000);
  make(L"STATIC", "", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, 0, kProgressTextId);
  make(L"EDIT", "", WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, WS_EX_CLIENTEDGE, kStatusId);
  lay_out();

  // In the middle of the work area.
  RECT frame, work;
  GetWindowRect(hwnd_, &frame);
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  SetWindowPos(hwnd_, nullptr, work.left + ((work.right - work.left) - (frame.right - frame.left)) / 2,
               work.top + ((work.bottom - work.top) - (frame.bottom - frame.top)) / 2, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  SetFocus(control(kText1Id));
  return true;
}

void Form1::place(ControlId id, const Twips& t) const {
  MoveWindow(control(id), px(t.left), px(t.top), px(t.width), px(t.height), TRUE);
}

void Form1::lay_out() {
  place(kText1Id, kText1Place);
  place(kCommand1Id, kCommand1Place);
  place(kCommand3Id, kCommand3Place);
  place(kCommand4Id, kCommand4Place);
  place(kProgressLabelId, kProgressLabelPlace);
  place(kProgressBarId, kBarPlace);
  place(kProgressTextId, kBarTextPlace);
  place(kStatusId, kStatusPlace);

  // The label is one line; where the font is taller or wider than the old
  // one, it grows about its place rather than clip the text.
  HWND label = control(kLabel1Id);
  SIZE extent{0, 0};
  if (HDC dc = GetDC(label)) {
    HGDIOBJ old = SelectObject(dc, font_);
    const std::wstring text = widen(kLabel1);
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    SelectObject(dc, old);
    ReleaseDC(label, dc);
  }
  const int height = std::max<int>(px(kLabel1Place.height), extent.cy);
  const int width = std::max<int>(px(kLabel1Place.width), extent.cx + 2);
  const int top = px(kLabel1Place.top) - (height - px(kLabel1Place.height)) / 2;
  MoveWindow(label, px(kLabel1Place.left), top, width, height, TRUE);

  // The client area of the old layout, grown by the status area when shown.
  RECT client{0, 0, px(kClientWidthTwips),
              px(kClientHeightTwips + (status_shown_ ? kStatusExtraHeightTwips : 0))};
  AdjustWindowRectEx(&client, kWindowStyle, FALSE, WS_EX_CONTROLPARENT);
  SetWindowPos(hwnd_, nullptr, 0, 0, client.right - client.left, client.bottom - client.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CALLBACK Form1::window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* form = static_cast<Form1*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    form->hwnd_ = hwnd;
  }
  auto* form = reinterpret_cast<Form1*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (form == nullptr) return DefWindowProcW(hwnd, message, wparam, lparam);
  return form->handle(message, wparam, lparam);
}

LRESULT Form1::handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case kPostedCall: {
      std::unique_ptr<std::function<void()>> f(reinterpret_cast<std::function<void()>*>(lparam));
      (*f)();
      return 0;
    }
    case kSentCall:
      (*reinterpret_cast<const std::function<void()>*>(lparam))();
      return 0;
    case WM_COMMAND:
      if (HIWORD(wparam) == BN_CLICKED) {
        switch (LOWORD(wparam)) {
          case kCommand1Id:
            logic_.start_run();
            return 0;
          case kCommand3Id:
            // The quit button: as closing by the frame (held during a run).
            PostMessageW(hwnd_, WM_CLOSE, 0, 0);
            return 0;
          case kCommand4Id:
            logic_.browse();
            return 0;
        }
      }
      break;
    case WM_SETCURSOR:
      // The hourglass over the whole window, its controls included.
      if (wait_cursor_) {
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
    case WM_CTLCOLORSTATIC:
      // The read-only status area on white, as a text box.
      if (reinterpret_cast<HWND>(lparam) == control(kStatusId)) {
        SetBkColor(reinterpret_cast<HDC>(wparam), GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
      }
      break;
    case WM_CLOSE:
      // Ending during a run would leave the output files half written: the
      // window closes once the run has ended.
      if (logic_.request_close()) DestroyWindow(hwnd_);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY:
      SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
      hwnd_ = nullptr;
      return 0;
  }
  return DefWindowProcW(hwnd_, message, wparam, lparam);
}

void Form1::run_on_window_thread(const std::function<void()>& f) {
  if (GetCurrentThreadId() == thread_) {
    f();
  } else {
    // Sent across threads, so the worker waits until the window has run it.
    SendMessageW(hwnd_, kSentCall, 0, reinterpret_cast<LPARAM>(&f));
  }
}

void Form1::post_to_window_thread(std::function<void()> f) {
  auto* call = new std::function<void()>(std::move(f));
  if (!PostMessageW(hwnd_, kPostedCall, 0, reinterpret_cast<LPARAM>(call))) delete call;
}

std::string Form1::path_text() const { return window_text(control(kText1Id)); }

void Form1::set_path_text(const std::string& path) { SetWindowTextW(control(kText1Id), widen(path).c_str()); }

void Form1::set_controls_enabled(const EnabledControls& enabled) {
  EnableWindow(control(kText1Id), enabled.text1);
  EnableWindow(control(kCommand1Id), enabled.command1);
  EnableWindow(control(kCommand3Id), enabled.command3);
  EnableWindow(control(kCommand4Id), enabled.command4);
}

void Form1::set_wait_pointer(bool wait) {
  wait_cursor_ = wait;
  SetCursor(LoadCursorW(nullptr, wait ? IDC_WAIT : IDC_ARROW));
}

void Form1::show_progress(const ProgressDisplay& progress) {
  SetWindowTextW(control(kProgressLabelId), widen(progress.label).c_str());
  SendMessageW(control(kProgressBarId), PBM_SETPOS, static_cast<WPARAM>(progress.permille), 0);
  SetWindowTextW(control(kProgressTextId), widen(progress.bar).c_str());
  for (ControlId id : {kProgressLabelId, kProgressBarId, kProgressTextId}) ShowWindow(control(id), SW_SHOWNA);
}

void Form1::hide_progress() {
  for (ControlId id : {kProgressLabelId, kProgressBarId, kProgressTextId}) ShowWindow(control(id), SW_HIDE);
  SetWindowTextW(control(kProgressLabelId), L"");
  SetWindowTextW(control(kProgressTextId), L"");
  SendMessageW(control(kProgressBarId), PBM_SETPOS, 0, 0);
}

// The status area appears below the buttons with the window grown to hold
// it; an empty text hides it and gives the window its old size back.
void Form1::show_status(const std::string& text) {
  SetWindowTextW(control(kStatusId), with_crlf(text).c_str());
  status_shown_ = !text.empty();
  ShowWindow(control(kStatusId), status_shown_ ? SW_SHOWNA : SW_HIDE);
  lay_out();
}

std::string Form1::status_text() const {
  if (!status_shown_) return std::string();
  std::string text = window_text(control(kStatusId));
  std::string out;
  for (char c : text) {
    if (c != '\r') out += c;
  }
  return out;
}

void Form1::focus_run_button() { SetFocus(control(kCommand1Id)); }

void Form1::close_window() { PostMessageW(hwnd_, WM_CLOSE, 0, 0); }

bool save_window_picture(HWND hwnd, const std::wstring& path) {
  RECT r;
  if (!GetWindowRect(hwnd, &r)) return false;
  const int w = r.right - r.left;
  const int h = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = h;  // bottom-up, as a BMP file holds it
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool saved = false;
  if (bitmap != nullptr) {
    HGDIOBJ old = SelectObject(dc, bitmap);
    // What the screen shows where the window is (it is on top when this is
    // called); PrintWindow where the screen cannot be read.
    if (!BitBlt(dc, 0, 0, w, h, screen, r.left, r.top, SRCCOPY)) PrintWindow(hwnd, dc, 0);
    GdiFlush();
    const DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
    const DWORD size = stride * static_cast<DWORD>(h);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + size;
    info.bmiHeader.biSizeImage = size;
    std::ofstream out(path.c_str(), std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
    out.write(static_cast<const char*>(bits), size);
    saved = static_cast<bool>(out);
    SelectObject(dc, old);
    DeleteObject(bitmap);
  }
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  return saved;
}

int run_window() {
  // Scaled for the system's resolution by us, not stretched by Windows.
  SetProcessDPIAware();
  // The window speaks Japanese whatever the system's language; so do the
  // run's texts it shows.
  i18n::set_language(i18n::Language::Japanese);
  Win32Dialogs dialogs;
  Form1 form(dialogs);
  if (!form.create()) {
    MessageBoxW(nullptr, L"The window could not be created.", widen(kCaption).c_str(), MB_OK | MB_ICONERROR);
    return 1;
  }
  dialogs.set_owner(form.hwnd());
  ShowWindow(form.hwnd(), SW_SHOWNORMAL);
  UpdateWindow(form.hwnd());

  const wchar_t* shot = _wgetenv(L"MIRUTONE_SCREENSHOT");
  if (shot != nullptr && *shot != L'\0') {
    // Let the window and its controls paint first.
    const DWORD until = GetTickCount() + 1000;
    MSG msg;
    while (GetTickCount() < until) {
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
      Sleep(20);
    }
    return save_window_picture(form.hwnd(), shot) ? 0 : 1;
  }

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (form.dialog_message(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}

}  // namespace mirutone::ui::win32
