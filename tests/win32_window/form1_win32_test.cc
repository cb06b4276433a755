// The Win32 Form1 driven by window messages, as a user's clicks arrive, with
// scripted boxes in place of GetOpenFileNameW and MessageBoxW: the layout and
// tab order, browses cancelled and chosen, a run answered No, a run to its
// end with the controls disabled and a close held while it works. Runs under
// Wine with an X display (xvfb-run).
#include <gtest/gtest.h>

#include <windows.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>

#include "apps/sample_source.h"
#include "platform/path.h"
#include "support/scripted_file_dialog.h"
#include "support/test_support.h"
#include "ui/win32/form1_win32.h"

namespace mirutone::ui::win32 {
namespace {

namespace fs = std::filesystem;

struct ShownBox {
  std::string prompt, title;
  int buttons;
  bool on_window_thread, controls_enabled;
};

class ScriptedDialogs : public Dialogs, public test::ScriptedFileDialog {
 public:
  std::optional<std::string> open_file(const std::string& preset) override { return pick(preset); }
  int message_box(const std::string& prompt, int buttons, const std::string& title) override {
    boxes.push_back({prompt, title, buttons, GetCurrentThreadId() == window_thread,
                     form != nullptr && IsWindowEnabled(form->control(kCommand1Id))});
    if (buttons == convert::vbYesNo) return answer_yes ? convert::vbYes : convert::vbNo;
    return convert::vbOK;
  }

  DWORD window_thread = GetCurrentThreadId();
  Form1* form = nullptr;
  std::vector<ShownBox> boxes;
  bool answer_yes = true;
};

class Win32Form1Test : public ::testing::Test {
 protected:
  Win32Form1Test() {
    dialogs.form = &form;
    if (form.create()) ShowWindow(form.hwnd(), SW_SHOWNOACTIVATE);
  }
  void SetUp() override { ASSERT_NE(form.hwnd(), nullptr) << "the window was not created"; }

  // Handles the window's messages until `until` holds; false after two minutes.
  static bool pump(const std::function<bool()>& until) {
    const ULONGLONG deadline = GetTickCount64() + 120000;
    MSG msg;
    while (!until()) {
      if (GetTickCount64() > deadline) return false;
      if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&msg);
      } else {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
      }
    }
    return true;
  }
  void click(ControlId id) { SendMessageW(form.control(id), BM_CLICK, 0, 0); }
  std::string text(ControlId id) {
    wchar_t buffer[1024] = {};
    GetWindowTextW(form.control(id), buffer, 1024);
    return platform::narrow(buffer);
  }
  bool all_controls_enabled(bool enabled) {
    for (ControlId id : {kText1Id, kCommand1Id, kCommand3Id, kCommand4Id}) {
      if (!IsWindowEnabled(form.control(id)) != !enabled) return false;
    }
    return true;
  }
  std::string sample() {
    const fs::path path = dir / "source.mdb";
    convert::make_sample_source(path.string(), {.tags = 5, .days = 3});
    return path.string();
  }

  test::TempDir dir;
  ScriptedDialogs dialogs;
  Form1 form{dialogs};
};

TEST_F(Win32Form1Test, ShowsTheOldLayoutAtTheSystemResolution) {
  wchar_t caption[256] = {};
  GetWindowTextW(form.hwnd(), caption, 256);
  EXPECT_EQ(platform::narrow(caption), kCaption);
  EXPECT_EQ(text(kLabel1Id), kLabel1);
  EXPECT_EQ(text(kCommand1Id), kCommand1);
  EXPECT_EQ(text(kCommand3Id), kCommand3);
  EXPECT_EQ(text(kCommand4Id), kCommand4);
  EXPECT_EQ(text(kText1Id), "");
  EXPECT_NE(SendMessageW(form.hwnd(), WM_GETICON, ICON_BIG, 0), 0) << "no icon from the resources";

  RECT client;
  GetClientRect(form.hwnd(), &client);
  EXPECT_EQ(client.right, twips_to_pixels(kClientWidthTwips, form.dpi()));
  EXPECT_EQ(client.bottom, twips_to_pixels(kClientHeightTwips, form.dpi()));
  auto place = [&](ControlId id) {
    RECT r;
    GetWindowRect(form.control(id), &r);
    MapWindowPoints(nullptr, form.hwnd(), reinterpret_cast<POINT*>(&r), 2);
    return r;
  };
  const RECT run = place(kCommand1Id);
  EXPECT_EQ(run.left, twips_to_pixels(kCommand1Place.left, form.dpi()));
  EXPECT_EQ(run.bottom - run.top, twips_to_pixels(kCommand1Place.height, form.dpi()));
  EXPECT_EQ(place(kCommand3Id).right, place(kCommand4Id).right);
  EXPECT_EQ(place(kCommand4Id).top, place(kText1Id).top);

  // Tab order: Text1, Command1, Command3, Command4, around again.
  HWND w = form.hwnd();
  EXPECT_EQ(GetNextDlgTabItem(w, form.control(kText1Id), FALSE), form.control(kCommand1Id));
  EXPECT_EQ(GetNextDlgTabItem(w, form.control(kCommand1Id), FALSE), form.control(kCommand3Id));
  EXPECT_EQ(GetNextDlgTabItem(w, form.control(kCommand3Id), FALSE), form.control(kCommand4Id));
  EXPECT_EQ(GetNextDlgTabItem(w, form.control(kCommand4Id), FALSE), form.control(kText1Id));
}

TEST_F(Win32Form1Test, BrowseCancelledThenChosen) {
  dialogs.choices = {std::nullopt, std::string("D:\\data\\管理報.mdb")};
  click(kCommand4Id);
  EXPECT_EQ(text(kText1Id), "");
  EXPECT_EQ(form.logic().state().strDbFolder, "");
  click(kCommand4Id);
  EXPECT_EQ(text(kText1Id), "D:\\data\\管理報.mdb");
  EXPECT_EQ(form.logic().state().strDbFolder, "D:\\data");
  EXPECT_EQ(dialogs.presets, (std::vector<std::string>{kPresetFileName, kPresetFileName}));
}

TEST_F(Win32Form1Test, RunAnsweredNoThenToItsEndWithTheCloseHeld) {
  dialogs.choices = {sample()};
  click(kCommand4Id);
  { std::ofstream(dir / "Ruzevuz.mdb") << "earlier"; }

  dialogs.answer_yes = false;
  click(kCommand1Id);
  ASSERT_TRUE(pump([&] { return !form.logic().running(); })) << "the run did not end";
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(dialogs.boxes[0].prompt, "コンバートを実行します よろしいですか？");
  EXPECT_EQ(dialogs.boxes[0].buttons, convert::vbYesNo);
  EXPECT_EQ(fs::file_size(dir / "Ruzevuz.mdb"), 7u);

  dialogs.answer_yes = true;
  dialogs.boxes.clear();
  bool disabled_throughout = true;
  int reports = 0;
  form.logic().set_progress_observer([&](const convert::Progress&) {
    ++reports;
    disabled_throughout = disabled_throughout && all_controls_enabled(false);
    // The frame's close while the run works: held until it has ended.
    if (reports == 1) PostMessageW(form.hwnd(), WM_CLOSE, 0, 0);
  });
  click(kCommand1Id);
  EXPECT_TRUE(all_controls_enabled(false));
  click(kCommand1Id);  // disabled: no second run
  ASSERT_TRUE(pump([&] { return !form.logic().running(); })) << "the run did not end";

  EXPECT_GT(reports, 0);
  EXPECT_TRUE(disabled_throughout);
  ASSERT_EQ(dialogs.boxes.size(), 2u);
  EXPECT_EQ(dialogs.boxes[1].prompt, "データベースコンバート完了");
  EXPECT_EQ(dialogs.boxes[1].title, "確認");
  EXPECT_TRUE(dialogs.boxes[0].on_window_thread && dialogs.boxes[1].on_window_thread);
  EXPECT_FALSE(dialogs.boxes[1].controls_enabled);
  EXPECT_EQ(form.logic().last_result()->outcome, convert::RunOutcome::Completed);
  EXPECT_GT(fs::file_size(dir / "Ruzevuz.mdb"), 7u);
  EXPECT_NE(form.status_text().find("Ruzevuz.mdb"), std::string::npos);
  EXPECT_TRUE(all_controls_enabled(true));
  // The held close goes ahead once the run has ended.
  EXPECT_TRUE(pump([&] { return form.hwnd() == nullptr; }));
}

}  // namespace
}  // namespace mirutone::ui::win32
