// The real boxes, answered by a timer that finds them while they are up.
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>

#include <filesystem>
#include <fstream>

#include "support/test_support.h"
#include "ui/window/window_main.h"
#include "window/window_test_support.h"

namespace mirutone::ui {
namespace {

namespace fs = std::filesystem;

// Runs `f` on the modal widget of type W once it is up (gives up after 10 s).
template <typename W>
void when_up(std::function<void(W*)> f) {
  auto* timer = new QTimer;
  auto started = std::make_shared<QElapsedTimer>();
  started->start();
  QObject::connect(timer, &QTimer::timeout, [timer, started, f] {
    if (auto* w = qobject_cast<W*>(QApplication::activeModalWidget()); w && w->isVisible()) {
      timer->stop();
      timer->deleteLater();
      f(w);
    } else if (started->elapsed() > 10000) {
      timer->stop();
      timer->deleteLater();
      ADD_FAILURE() << "no modal box came up";
      if (QWidget* any = QApplication::activeModalWidget()) any->close();
    }
  });
  timer->start(20);
}

QPushButton* button_with_text(QMessageBox* box, const QString& text) {
  for (QAbstractButton* b : box->buttons()) {
    if (b->text() == text) return qobject_cast<QPushButton*>(b);
  }
  return nullptr;
}

TEST(QtDialogs, QuestionHasYesAsDefaultAndNoIcon) {
  test::application();
  QtDialogs dialogs;
  std::string seen_title, seen_text;
  bool yes_is_default = false;
  bool no_icon = false;
  int buttons = 0;
  when_up<QMessageBox>([&](QMessageBox* box) {
    seen_title = box->windowTitle().toStdString();
    seen_text = box->text().toStdString();
    no_icon = box->icon() == QMessageBox::NoIcon;
    buttons = static_cast<int>(box->buttons().size());
    QPushButton* yes = button_with_text(box, "はい(&Y)");
    yes_is_default = yes != nullptr && box->defaultButton() == yes;
    button_with_text(box, "いいえ(&N)")->click();
  });
  const int answer = dialogs.message_box("よろしいですか？", convert::vbYesNo, "確認");
  EXPECT_EQ(answer, convert::vbNo);
  EXPECT_EQ(seen_title, "確認");
  EXPECT_EQ(seen_text, "よろしいですか？");
  EXPECT_TRUE(no_icon);
  EXPECT_EQ(buttons, 2);
  EXPECT_TRUE(yes_is_default);

  // Enter takes the default button.
  when_up<QMessageBox>([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Return); });
  EXPECT_EQ(dialogs.message_box("よろしいですか？", convert::vbYesNo, "確認"), convert::vbYes);
  // Escape is No.
  when_up<QMessageBox>([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); });
  EXPECT_EQ(dialogs.message_box("よろしいですか？", convert::vbYesNo, "確認"), convert::vbNo);
}

TEST(QtDialogs, NoticeHasOnlyOk) {
  test::application();
  QtDialogs dialogs;
  int buttons = 0;
  when_up<QMessageBox>([&](QMessageBox* box) {
    buttons = static_cast<int>(box->buttons().size());
    QTest::keyClick(box, Qt::Key_Escape);
  });
  EXPECT_EQ(dialogs.message_box("完了", convert::vbOKOnly, "確認"), convert::vbOK);
  EXPECT_EQ(buttons, 1);
}

TEST(QtDialogs, FileDialogStartsOnThePresetName) {
  test::application();
  test::TempDir dir;
  { std::ofstream(dir / "管理報.mdb") << "x"; }
  QtDialogs dialogs;

  // Cancelled: nothing.
  QString preset_shown;
  QString name;
  when_up<QFileDialog>([&](QFileDialog* dialog) {
    name = dialog->objectName();
    if (auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit")) preset_shown = edit->text();
    dialog->reject();
  });
  EXPECT_EQ(dialogs.open_file("管理報.mdb"), std::nullopt);
  EXPECT_EQ(preset_shown.toStdString(), "管理報.mdb");
  EXPECT_EQ(name.toStdString(), "cdlDb");

  // Chosen: the full path.
  const QString folder = QString::fromStdString(dir.path().string());
  when_up<QFileDialog>([&](QFileDialog* dialog) {
    dialog->setDirectory(folder);
    dialog->selectFile(QStringLiteral("管理報.mdb"));
    QMetaObject::invokeMethod(dialog, "accept");
  });
  const std::optional<std::string> chosen = dialogs.open_file("管理報.mdb");
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(fs::path(*chosen), dir / "管理報.mdb");
}

TEST(QtDialogs, FileDialogSpeaksJapaneseWithQtsTranslations) {
  ASSERT_TRUE(load_qt_translations(test::application()));
  QtDialogs dialogs;
  QString label;
  when_up<QFileDialog>([&](QFileDialog* dialog) {
    if (auto* l = dialog->findChild<QLabel*>("fileNameLabel")) label = l->text();
    dialog->reject();
  });
  dialogs.open_file("管理報.mdb");
  EXPECT_FALSE(label.isEmpty());
  EXPECT_NE(label, QStringLiteral("File &name:"));
  EXPECT_TRUE(label.contains(QStringLiteral("ファイル"))) << label.toStdString();
}

}  // namespace
}  // namespace mirutone::ui
