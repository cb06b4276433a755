// The window's shared part without any widgets: the browse rule, the layout
// arithmetic, and a run driven through a stand-in view whose "window thread"
// is the test's own, so the same checks run in the Linux and the Windows build.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <thread>

#include "apps/sample_source.h"
#include "support/test_support.h"
#include "ui/window_logic.h"

namespace mirutone::ui {
namespace {

namespace fs = std::filesystem;

TEST(FolderOfChosenFile, CutsEightCharactersOnlyForThePresetName) {
  EXPECT_EQ(folder_of_chosen_file("/d/管理報.mdb"), "/d");
  EXPECT_EQ(folder_of_chosen_file("D:\\data\\管理報.mdb"), "D:\\data");
  EXPECT_EQ(folder_of_chosen_file("D:\\管理報.mdb"), "D:");
  EXPECT_EQ(folder_of_chosen_file("管理報.mdb"), std::nullopt);
  EXPECT_EQ(folder_of_chosen_file("/d/b/a.mdb"), "/d/b");
  EXPECT_EQ(folder_of_chosen_file("C:\\d e\\long file name.mdb"), "C:\\d e");
  EXPECT_EQ(folder_of_chosen_file("D:\\a.mdb"), "D:\\");
  EXPECT_EQ(folder_of_chosen_file("/a.mdb"), "/");
  EXPECT_EQ(folder_of_chosen_file("/d/"), std::nullopt);
  EXPECT_EQ(folder_of_chosen_file("D:\\d\\"), std::nullopt);
}

TEST(Layout, TwipsScaleWithTheResolution) {
  EXPECT_EQ(twips_to_pixels(kClientWidthTwips, 96), 613);
  EXPECT_EQ(twips_to_pixels(kClientHeightTwips, 96), 155);
  EXPECT_EQ(twips_to_pixels(kClientWidthTwips, 144), 920);  // 919.5 rounds up
  EXPECT_EQ(twips_to_pixels(kCommand1Place.left, 120), 265);
  // The quit and browse buttons end at the same x.
  EXPECT_EQ(kCommand3Place.left + kCommand3Place.width, kCommand4Place.left + kCommand4Place.width);
}

// A view that records what it was told; calls from the worker wait in a
// queue until the test thread pumps them, as a window's message loop would.
class RecordingView : public WindowView, public Dialogs {
 public:
  void run_on_window_thread(const std::function<void()>& f) override {
    if (std::this_thread::get_id() == window_thread) return f();
    bool done = false;
    std::unique_lock<std::mutex> lock(mutex);
    queue.push_back([&] {
      f();
      std::lock_guard<std::mutex> inner(mutex);
      done = true;
      ran.notify_all();
    });
    posted.notify_all();
    ran.wait(lock, [&] { return done; });
  }
  void post_to_window_thread(std::function<void()> f) override {
    std::lock_guard<std::mutex> lock(mutex);
    queue.push_back(std::move(f));
    posted.notify_all();
  }
  // Runs queued calls on this thread until `until` holds; false after 2 minutes.
  bool pump(const std::function<bool()>& until) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (!until()) {
      std::function<void()> f;
      {
        std::unique_lock<std::mutex> lock(mutex);
        if (!posted.wait_until(lock, deadline, [&] { return !queue.empty(); })) return false;
        f = std::move(queue.front());
        queue.pop_front();
      }
      f();
    }
    return true;
  }

  std::string path_text() const override { return path; }
  void set_path_text(const std::string& p) override { path = p; }
  void set_controls_enabled(const EnabledControls& e) override { enabled = e; }
  void set_wait_pointer(bool wait) override { wait_pointer = wait; }
  void show_progress(const ProgressDisplay& p) override {
    progress_shown.push_back(p);
    enabled_while_progress = enabled_while_progress || enabled.command1;
  }
  void hide_progress() override { progress_hidden = true; }
  void show_status(const std::string& text) override { status = text; }
  void focus_run_button() override {}
  void close_window() override { closed = true; }

  std::optional<std::string> open_file(const std::string& preset) override {
    presets.push_back(preset);
    std::optional<std::string> choice = choices.front();
    choices.pop_front();
    return choice;
  }
  int message_box(const std::string& prompt, int buttons, const std::string& title) override {
    boxes.push_back({prompt, title});
    on_window_thread = on_window_thread && std::this_thread::get_id() == window_thread;
    pointer_during_boxes.push_back(wait_pointer);
    if (buttons == convert::vbYesNo) return answer_yes ? convert::vbYes : convert::vbNo;
    return convert::vbOK;
  }

  std::thread::id window_thread = std::this_thread::get_id();
  std::mutex mutex;
  std::condition_variable posted, ran;
  std::deque<std::function<void()>> queue;

  std::string path, status;
  EnabledControls enabled{true, true, true, true};
  bool wait_pointer = false, progress_hidden = false, closed = false;
  bool enabled_while_progress = false, on_window_thread = true, answer_yes = true;
  std::vector<ProgressDisplay> progress_shown;
  std::deque<std::optional<std::string>> choices;
  std::vector<std::string> presets;
  std::vector<std::pair<std::string, std::string>> boxes;
  std::vector<bool> pointer_during_boxes;
};

class WindowLogicTest : public ::testing::Test {
 protected:
  std::string sample() {
    const fs::path path = dir / "source.mdb";
    convert::make_sample_source(path.string(), {.tags = 5, .days = 3});
    return path.string();
  }
  test::TempDir dir;
  RecordingView view;
  WindowLogic logic{view, view};
};

TEST_F(WindowLogicTest, BrowseCancelledThenChosen) {
  view.choices = {std::nullopt, std::string("D:\\data\\管理報.mdb")};
  logic.browse();
  EXPECT_EQ(view.path, "");
  EXPECT_EQ(logic.state().strDbFolder, "");
  logic.browse();
  EXPECT_EQ(view.path, "D:\\data\\管理報.mdb");
  EXPECT_EQ(logic.state().strDbFolder, "D:\\data");
  EXPECT_EQ(view.presets, (std::vector<std::string>{kPresetFileName, kPresetFileName}));
}

TEST_F(WindowLogicTest, RunAnsweredNoThenRunToCompletionWithACloseHeld) {
  const std::string source = sample();
  view.choices = {source};
  logic.browse();
  { std::ofstream(dir / "Ruzevuz.mdb") << "earlier"; }

  view.answer_yes = false;
  logic.start_run();
  ASSERT_TRUE(view.pump([&] { return !logic.running(); }));
  EXPECT_EQ(view.boxes.size(), 1u);
  EXPECT_EQ(logic.last_result()->outcome, convert::RunOutcome::Declined);
  EXPECT_EQ(fs::file_size(dir / "Ruzevuz.mdb"), 7u);

  view.answer_yes = true;
  view.boxes.clear();
  view.pointer_during_boxes.clear();
  logic.start_run();
  EXPECT_TRUE(logic.running());
  EXPECT_FALSE(view.enabled.command1 || view.enabled.command3 || view.enabled.command4 || view.enabled.text1);
  logic.start_run();  // no second run while one works
  EXPECT_FALSE(logic.request_close());
  ASSERT_TRUE(view.pump([&] { return !logic.running(); }));

  EXPECT_EQ(logic.last_result()->outcome, convert::RunOutcome::Completed);
  ASSERT_EQ(view.boxes.size(), 2u);
  EXPECT_EQ(view.boxes[0], std::make_pair(std::string("コンバートを実行します よろしいですか？"), std::string("確認")));
  EXPECT_EQ(view.boxes[1], std::make_pair(std::string("データベースコンバート完了"), std::string("確認")));
  EXPECT_TRUE(view.on_window_thread);
  // The confirmation comes before the hourglass, the closing box after it.
  EXPECT_EQ(view.pointer_during_boxes, (std::vector<bool>{false, false}));
  EXPECT_FALSE(view.progress_shown.empty());
  EXPECT_FALSE(view.enabled_while_progress);
  EXPECT_EQ(view.progress_shown.back().permille, 1000);
  EXPECT_TRUE(view.progress_hidden);
  EXPECT_TRUE(view.enabled.command1 && view.enabled.command3 && view.enabled.command4 && view.enabled.text1);
  EXPECT_NE(view.status.find("Ruzevuz.mdb"), std::string::npos);
  EXPECT_GT(fs::file_size(dir / "Ruzevuz.mdb"), 7u);
  EXPECT_TRUE(view.closed);  // the held close went ahead
  EXPECT_TRUE(logic.request_close());
}

}  // namespace
}  // namespace mirutone::ui
