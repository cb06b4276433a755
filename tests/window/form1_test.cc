// Form1 driven through its widgets, with scripted boxes: the layout, the
// browse button, runs that are declined, complete and fail, the window during
// a run, and ending the program.
#include <QLabel>
#include <QProgressBar>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "convert/conversion_run.h"
#include "platform/file_lock.h"
#include "apps/sample_source.h"
#include "support/test_support.h"
#include "ui/window/display_check.h"
#include "window/window_test_support.h"

namespace mirutone::ui {
namespace {

namespace fs = std::filesystem;
using test::ScriptedDialogs;
using test::ShownBox;
using test::TempDir;

class Form1Test : public ::testing::Test {
 protected:
  Form1Test() {
    test::application();
    form = std::make_unique<Form1>(dialogs);
    dialogs.form = form.get();
    form->show();
  }
  ~Form1Test() override {
    if (form && form->running()) test::wait_for_run_end(*form);
  }

  template <typename W = QWidget>
  W* child(const char* name) {
    W* w = form->findChild<W*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  QLineEdit* text1() { return child<QLineEdit>("Text1"); }
  void click(const char* name) { child<QPushButton>(name)->click(); }
  std::string folder() const { return form->state().strDbFolder; }

  // Browses to `path` (nothing: cancels).
  void browse(std::optional<std::string> path) {
    dialogs.choices.push_back(std::move(path));
    click("Command4");
  }
  // Replaces the text of `edit` key by key, as a user would.
  static void type_into(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Backspace);
    for (QChar c : text) {
      QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
  }
  // Presses the run button and waits for the run to end.
  void run() {
    click("Command1");
    ASSERT_TRUE(test::wait_for_run_end(*form)) << "the run did not end";
  }
  std::string sample(const fs::path& path) {
    convert::make_sample_source(path.string(), {.tags = 5, .days = 3});
    return path.string();
  }

  TempDir dir;
  ScriptedDialogs dialogs;
  std::unique_ptr<Form1> form;
};

TEST_F(Form1Test, ShowsTheControlsOfTheOldLayout) {
  EXPECT_EQ(form->windowTitle().toStdString(), "NorvalePRO DB -> Norvale7 DBﾐﾙﾄｰﾈ");
  EXPECT_FALSE(form->windowIcon().pixmap(32, 32).isNull());
  EXPECT_EQ(child<QLabel>("Label1")->text().toStdString(),
            "Norvale7へコンバートするNorvalePROのデータベースを指定します。（管理報.mdb)");
  EXPECT_EQ(child<QPushButton>("Command1")->text().toStdString(), "データベースコンバート実行");
  EXPECT_EQ(child<QPushButton>("Command3")->text().toStdString(), "END");
  EXPECT_EQ(child<QPushButton>("Command4")->text().toStdString(), "参照");
  EXPECT_TRUE(text1()->text().isEmpty());
  EXPECT_FALSE(text1()->isReadOnly());
  EXPECT_EQ(folder(), "");
  EXPECT_FALSE(child<QProgressBar>("ProgressBar")->isVisible());

  // 9195 x 2325 twips of client area, 15 twips to a pixel at 96 dpi.
  const double scale = form->logicalDpiX() / 96.0;
  EXPECT_NEAR(form->width(), 613 * scale, 1);
  EXPECT_NEAR(form->height(), 155 * scale, 1);
  if (form->logicalDpiX() == 96) {
    EXPECT_EQ(child("Command1")->geometry(), QRect(212, 88, 189, 29));
    EXPECT_EQ(child("Text1")->geometry(), QRect(44, 44, 501, 21));
  }
  // The quit and browse buttons end at the same x; browse sits on the path box's row.
  EXPECT_EQ(child("Command3")->geometry().right(), child("Command4")->geometry().right());
  EXPECT_EQ(child("Command4")->geometry().top(), child("Text1")->geometry().top());
  // The label's text fits it.
  QLabel* label = child<QLabel>("Label1");
  EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text()));
  EXPECT_GE(label->height(), label->fontMetrics().height());

  // Tab order: Text1, Command1, Command3, Command4, around again.
  EXPECT_EQ(child("Text1")->nextInFocusChain(), child("Command1"));
  EXPECT_EQ(child("Command1")->nextInFocusChain(), child("Command3"));
  EXPECT_EQ(child("Command3")->nextInFocusChain(), child("Command4"));
}

TEST_F(Form1Test, CancelledBrowseChangesNothing) {
  browse(std::nullopt);  // the very first browse
  EXPECT_EQ(text1()->text().toStdString(), "");
  EXPECT_EQ(folder(), "");

  browse("/data/プラント/管理報.mdb");
  browse(std::nullopt);
  EXPECT_EQ(text1()->text().toStdString(), "/data/プラント/管理報.mdb");
  EXPECT_EQ(folder(), "/data/プラント");
  EXPECT_EQ(dialogs.presets, std::vector<std::string>(3, "管理報.mdb"));
}

TEST_F(Form1Test, BrowseSetsThePathAndTheOutputFolder) {
  // The usual name: the path without its last 8 characters (not bytes).
  browse("/srv/日報/管理報.mdb");
  EXPECT_EQ(text1()->text().toStdString(), "/srv/日報/管理報.mdb");
  EXPECT_EQ(folder(), "/srv/日報");

  // Any other name: the file's own folder, never less.
  browse("/srv/old/a.mdb");
  EXPECT_EQ(text1()->text().toStdString(), "/srv/old/a.mdb");
  EXPECT_EQ(folder(), "/srv/old");
  browse("/srv/月報データ/管理報のコピー.mdb");
  EXPECT_EQ(folder(), "/srv/月報データ");
  browse("/srv/x/KANRI.MDB");
  EXPECT_EQ(folder(), "/srv/x");

  // Each browse starts from the preset name again, not the last choice.
  EXPECT_EQ(dialogs.presets, std::vector<std::string>(4, "管理報.mdb"));
}

TEST_F(Form1Test, TypedPathIsTheSourceButNotTheOutputFolder) {
  const fs::path out = dir / "out";
  const fs::path elsewhere = dir / "elsewhere";
  fs::create_directories(out);
  fs::create_directories(elsewhere);
  browse((out / "管理報.mdb").string());
  const std::string typed = sample(elsewhere / "管理報.mdb");

  type_into(text1(), QString::fromStdString(typed));
  EXPECT_EQ(text1()->text().toStdString(), typed);
  EXPECT_EQ(folder(), out.string());

  run();
  ASSERT_TRUE(form->last_result());
  EXPECT_EQ(form->last_result()->outcome, convert::RunOutcome::Completed);
  EXPECT_TRUE(fs::exists(out / "Ruzevuz.mdb"));
  EXPECT_TRUE(fs::exists(out / "NVData.mdb"));
  EXPECT_FALSE(fs::exists(elsewhere / "Ruzevuz.mdb"));
  EXPECT_EQ(folder(), out.string());
}

TEST_F(Form1Test, RunAnsweredNoLeavesTheFolderAlone) {
  const std::string source = sample(dir / "管理報.mdb");
  { std::ofstream(dir / "Ruzevuz.mdb") << "earlier output"; }
  browse(source);
  dialogs.answer = [](const ShownBox&) { return convert::vbNo; };
  run();

  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(dialogs.boxes[0].prompt, "コンバートを実行します よろしいですか？");
  EXPECT_EQ(dialogs.boxes[0].title, "確認");
  EXPECT_EQ(dialogs.boxes[0].buttons, convert::vbYesNo);
  EXPECT_EQ(form->last_result()->outcome, convert::RunOutcome::Declined);
  EXPECT_EQ(fs::file_size(dir / "Ruzevuz.mdb"), std::string("earlier output").size());
  EXPECT_FALSE(fs::exists(dir / "NVData.mdb"));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_TRUE(child("Command1")->isEnabled());
}

TEST_F(Form1Test, RunToCompletion) {
  browse(sample(dir / "管理報.mdb"));
  std::vector<convert::Progress> seen;
  bool bar_shown = true;
  bool controls_disabled = true;
  bool wait_cursor = true;
  bool numbered_as_the_terminal = true;
  form->set_progress_observer([&](const convert::Progress& p) {
    seen.push_back(p);
    if (p.step > 0) {
      // The step under way, counted from 1 as the terminal counts it.
      const QString label = child<QLabel>("ProgressLabel")->toolTip();
      numbered_as_the_terminal = numbered_as_the_terminal && label.startsWith(QStringLiteral("手順 %1/19").arg(p.step));
    }
    wait_cursor = wait_cursor && QApplication::overrideCursor() != nullptr;
    bar_shown = bar_shown && child<QProgressBar>("ProgressBar")->isVisible();
    for (const char* name : {"Text1", "Command1", "Command3", "Command4"}) {
      controls_disabled = controls_disabled && !child(name)->isEnabled();
    }
  });
  run();

  ASSERT_EQ(dialogs.boxes.size(), 2u);
  const ShownBox& confirm = dialogs.boxes[0];
  EXPECT_EQ(confirm.buttons, convert::vbYesNo);
  EXPECT_FALSE(confirm.controls_enabled) << "the window took input while the run asked";
  EXPECT_FALSE(confirm.wait_cursor) << "the wait cursor was up before the answer";
  const ShownBox& done = dialogs.boxes[1];
  EXPECT_EQ(done.prompt, "データベースコンバート完了");
  EXPECT_EQ(done.title, "確認");
  EXPECT_EQ(done.buttons, convert::vbOKOnly);
  EXPECT_FALSE(done.wait_cursor) << "the pointer was not restored before the closing box";
  for (const ShownBox& box : dialogs.boxes) EXPECT_TRUE(box.on_window_thread) << box.prompt;

  EXPECT_EQ(form->last_result()->outcome, convert::RunOutcome::Completed);
  EXPECT_GT(form->last_result()->rows_copied, 0);
  EXPECT_GT(fs::file_size(dir / "Ruzevuz.mdb"), 0u);
  EXPECT_GT(fs::file_size(dir / "NVData.mdb"), 0u);

  // During the run: the bar up, the controls off; the last report is the last step.
  ASSERT_FALSE(seen.empty());
  EXPECT_TRUE(bar_shown);
  EXPECT_TRUE(controls_disabled);
  EXPECT_TRUE(wait_cursor);
  EXPECT_EQ(seen.back().step, seen.back().total_steps);
  EXPECT_TRUE(numbered_as_the_terminal);
  // After it: the pointer back, the bar gone, the controls back; the status
  // area tells where the files are and what each step did.
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_FALSE(child("ProgressBar")->isVisible());
  EXPECT_FALSE(child("ProgressLabel")->isVisible());
  for (const char* name : {"Text1", "Command1", "Command3", "Command4"}) {
    EXPECT_TRUE(child(name)->isEnabled()) << name;
  }
  const std::string status = form->status_text().toStdString();
  EXPECT_TRUE(child("StatusText")->isVisible());
  EXPECT_GT(form->height(), form->px(kClientHeightTwips)) << "the window grows to hold the status area";
  EXPECT_NE(status.find("出力：" + (dir / "Ruzevuz.mdb").string()), std::string::npos) << status;
  EXPECT_NE(status.find("出力：" + (dir / "NVData.mdb").string()), std::string::npos) << status;
  EXPECT_NE(status.find("Ruzevuz.mdb：\n  手順 1/19 TAG情報マスター → M_TAG：読込 5、コピー 5、スキップ 0\n"),
            std::string::npos)
      << status;
  EXPECT_NE(status.find("NVData.mdb：\n  手順 16/19"), std::string::npos) << status;
  EXPECT_NE(status.find("  手順 19/19 年報データ情報 → D_YDAT：読込 "), std::string::npos) << status;

  // A second run in the same window starts again from the deletion.
  dialogs.boxes.clear();
  run();
  EXPECT_EQ(form->last_result()->outcome, convert::RunOutcome::Completed);
  EXPECT_EQ(dialogs.boxes.size(), 2u);
}

TEST_F(Form1Test, RunToFailureThenQuit) {
  browse((dir / "管理報.mdb").string());  // chosen, but not there
  run();

  ASSERT_EQ(dialogs.boxes.size(), 2u);
  EXPECT_EQ(dialogs.boxes[1].prompt, convert::kFailedPrompt);
  EXPECT_EQ(dialogs.boxes[1].title, "確認");
  EXPECT_EQ(dialogs.boxes[1].buttons, convert::vbOKOnly);
  EXPECT_FALSE(dialogs.boxes[1].wait_cursor);
  EXPECT_EQ(form->last_result()->outcome, convert::RunOutcome::Failed);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_TRUE(child("Command3")->isEnabled());
  // The cause, in Japanese, stays in the window until the next command.
  const std::string status = form->status_text().toStdString();
  EXPECT_NE(status.find("原因：コンバート元のデータベース " + (dir / "管理報.mdb").string() + " の確認中"),
            std::string::npos)
      << status;
  EXPECT_NE(status.find("Jet エラー 3024（ファイルが見つかりません）"), std::string::npos) << status;
  EXPECT_FALSE(fs::exists(dir / "Ruzevuz.mdb"));
  browse(std::nullopt);
  EXPECT_TRUE(form->status_text().isEmpty());
  EXPECT_FALSE(child("StatusText")->isVisible());
  EXPECT_EQ(form->height(), form->px(kClientHeightTwips));

  click("Command3");
  EXPECT_FALSE(form->isVisible());
}

TEST_F(Form1Test, ARunIntoAFolderInUseSaysSo) {
  browse(sample(dir / "管理報.mdb"));
  platform::FileLock other;  // as another run holds it
  ASSERT_EQ(other.try_lock(dir.path().string()), platform::LockResult::Locked);
  run();
  ASSERT_EQ(dialogs.boxes.size(), 3u);
  EXPECT_EQ(dialogs.boxes[1].prompt, convert::kFailedPrompt);
  EXPECT_NE(dialogs.boxes[2].prompt.find("in use by another conversion run"), std::string::npos)
      << dialogs.boxes[2].prompt;
  EXPECT_FALSE(fs::exists(dir / "Ruzevuz.mdb"));
}

TEST_F(Form1Test, QuitClosesTheWindow) {
  ASSERT_TRUE(form->isVisible());
  click("Command3");
  EXPECT_FALSE(form->isVisible());
  EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(Form1Test, CloseDuringARunWaitsForItsEnd) {
  browse(sample(dir / "管理報.mdb"));
  bool closed_at_once = true;
  bool asked = false;
  form->set_progress_observer([&](const convert::Progress&) {
    if (asked) return;
    asked = true;
    closed_at_once = form->close();
  });
  run();
  EXPECT_TRUE(asked);
  EXPECT_FALSE(closed_at_once);
  // The run went to its end, then the window closed.
  EXPECT_EQ(form->last_result()->outcome, convert::RunOutcome::Completed);
  EXPECT_EQ(dialogs.boxes.back().prompt, "データベースコンバート完了");
  EXPECT_FALSE(form->isVisible());
}

TEST_F(Form1Test, DestroyedDuringARunLetsItFinish) {
  browse(sample(dir / "管理報.mdb"));
  click("Command1");
  dialogs.form = nullptr;
  form.reset();
  ASSERT_EQ(dialogs.boxes.size(), 2u);
  EXPECT_EQ(dialogs.boxes[1].prompt, "データベースコンバート完了");
  EXPECT_GT(fs::file_size(dir / "NVData.mdb"), 0u);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(WindowBinary, WithoutADisplaySaysSoAndExits) {
  std::string out;
  const int status = test::run_command(
      "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" + test::mirutone_binary() + "' 2>&1",
      &out);
  EXPECT_EQ(status, 2) << out;
  EXPECT_NE(out.find("no display"), std::string::npos) << out;
  EXPECT_NE(out.find("mirutone convert SOURCE"), std::string::npos) << out;
}

TEST(WindowBinary, DisplayThatDoesNotAnswerSaysSoAndExits) {
  std::string out;
  const int status = test::run_command(
      "env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:4917 '" + test::mirutone_binary() + "' 2>&1", &out);
  EXPECT_EQ(status, 2) << out;
  EXPECT_NE(out.find("does not answer"), std::string::npos) << out;
}

TEST(DisplayCheck, AnswersOnlyWhenAServerListens) {
  // A TCP listener on 127.0.0.1:6000+n stands in for an X server.
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  int n = -1;
  for (int candidate = 4100; candidate < 4200 && n < 0; ++candidate) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<std::uint16_t>(6000 + candidate));
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) n = candidate;
  }
  ASSERT_GE(n, 0);
  ASSERT_EQ(::listen(fd, 1), 0);
  const std::string display = "127.0.0.1:" + std::to_string(n) + ".0";
  EXPECT_TRUE(x_display_reachable(display));
  ::close(fd);
  EXPECT_FALSE(x_display_reachable(display));
  EXPECT_FALSE(x_display_reachable(":4917"));
  EXPECT_FALSE(x_display_reachable("unix:4917.0"));
  // Names it cannot read are left to Qt.
  EXPECT_TRUE(x_display_reachable("nonsense"));
  EXPECT_TRUE(x_display_reachable(":"));
}

}  // namespace
}  // namespace mirutone::ui
