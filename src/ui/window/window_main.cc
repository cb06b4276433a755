#include "ui/window/window_main.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QPainter>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "convert/user_interface.h"
#include "i18n/messages.h"
#include "ui/window/dialogs.h"
#include "ui/window/display_check.h"
#include "ui/window/form1.h"

namespace mirutone::ui {

namespace {

bool env_set(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

std::string env_or(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : fallback;
}

// Pictures of the window for the documentation, taken by the window itself
// (scripts/screenshot.sh):
//   MIRUTONE_SCREENSHOT=out.png           the idle window;
//   MIRUTONE_SCREENSHOT_RUNNING=out.png   the window during a run on
//     MIRUTONE_SCREENSHOT_SOURCE=file.mdb, taken at the first report of copy
//     step MIRUTONE_SCREENSHOT_STEP (17 unless given); the run's boxes are
//     answered Yes/OK without being shown, and the program ends with the run;
//   MIRUTONE_SCREENSHOT_ENDED=out.png     the window once such a run has
//     ended (completed or failed), with its status area.
// A grab has no window-manager frame, so a plain title bar with the icon and
// caption is drawn above it.
QImage framed(Form1& form) {
  const QPixmap client = form.grab();
  const qreal dpr = client.devicePixelRatio();
  const int w = qRound(client.width() / dpr);
  const int h = qRound(client.height() / dpr);
  const int bar = QFontMetrics(form.font()).height() + 8;
  const int border = 1;
  QImage image(QSize(w + 2 * border, h + bar + 2 * border) * dpr, QImage::Format_RGB32);
  image.setDevicePixelRatio(dpr);
  QPainter p(&image);
  p.fillRect(QRect(0, 0, w + 2 * border, h + bar + 2 * border), QColor(0x40, 0x40, 0x48));
  p.fillRect(QRect(border, border, w, bar), QColor(0x2b, 0x3a, 0x67));
  const int icon = 16;
  form.windowIcon().paint(&p, QRect(border + 4, border + (bar - icon) / 2, icon, icon));
  QFont caption = form.font();
  caption.setBold(true);
  p.setFont(caption);
  p.setPen(Qt::white);
  p.drawText(QRect(border + icon + 10, border, w - icon - 12, bar), Qt::AlignVCenter | Qt::AlignLeft,
             form.windowTitle());
  p.drawPixmap(border, border + bar, client);
  return image;
}

// Boxes that answer by themselves, for the picture of a run.
class AnsweringDialogs : public Dialogs {
 public:
  explicit AnsweringDialogs(std::string source) : source_(std::move(source)) {}
  std::optional<std::string> open_file(const std::string&) override { return source_; }
  int message_box(const std::string& prompt, int buttons, const std::string&) override {
    std::fprintf(stderr, "mirutone: [box] %s\n", prompt.c_str());
    return buttons == convert::vbYesNo ? convert::vbYes : convert::vbOK;
  }

 private:
  std::string source_;
};

int take_idle_picture(QApplication& app, Form1& form, const QString& out) {
  int status = 1;
  QTimer::singleShot(300, &form, [&] {
    status = framed(form).save(out) ? 0 : 1;
    form.close();
  });
  app.exec();
  return status;
}

int take_running_picture(QApplication& app, Form1& form, const QString& out) {
  const int step = std::atoi(env_or("MIRUTONE_SCREENSHOT_STEP", "17").c_str());
  int status = 1;
  bool taken = false;
  form.set_progress_observer([&](const convert::Progress& progress) {
    if (taken || progress.step < step || progress.rows == 0) return;
    taken = true;
    status = framed(form).save(out) ? 0 : 1;
    form.close();  // held until the run has ended
  });
  form.set_run_end_observer([&](const convert::RunResult&) {
    if (!taken) std::fprintf(stderr, "mirutone: the run ended before step %d was under way\n", step);
    form.close();
  });
  QTimer::singleShot(300, &form, [&] {
    form.Command4_Click();
    form.Command1_Click();
  });
  app.exec();
  return status;
}

int take_ended_picture(QApplication& app, Form1& form, const QString& out) {
  int status = 1;
  form.set_run_end_observer([&](const convert::RunResult&) {
    // Let the grown window paint before the grab.
    QTimer::singleShot(200, &form, [&] {
      status = framed(form).save(out) ? 0 : 1;
      form.close();
    });
  });
  QTimer::singleShot(300, &form, [&] {
    form.Command4_Click();
    form.Command1_Click();
  });
  app.exec();
  return status;
}

}  // namespace

// Qt's own texts (the file dialog's buttons and labels) in Japanese, from
// the translations Qt installs (qt6-translations-l10n).
bool load_qt_translations(QCoreApplication& app) {
  auto* translator = new QTranslator(&app);
  if (translator->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"), QStringLiteral("_"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QCoreApplication::installTranslator(translator);
    return true;
  }
  delete translator;
  std::fprintf(stderr, "mirutone: Qt's Japanese translations (qtbase_ja.qm) are not installed\n");
  return false;
}

int run_window(int argc, char** argv) {
  if (!env_set("QT_QPA_PLATFORM") && !env_set("DISPLAY") && !env_set("WAYLAND_DISPLAY")) {
    std::fprintf(stderr, "mirutone: %s\n%s\n",
                 i18n::tr("there is no display to show the window on (neither DISPLAY nor WAYLAND_DISPLAY is "
                          "set).").c_str(),
                 i18n::tr("To convert from the terminal, use: mirutone convert SOURCE").c_str());
    return 2;
  }
  if (!env_set("QT_QPA_PLATFORM") && !env_set("WAYLAND_DISPLAY") &&
      !x_display_reachable(env_or("DISPLAY", ""))) {
    std::fprintf(stderr, "mirutone: %s\n%s\n",
                 i18n::tr("the display {1} does not answer, so the window cannot be shown.", env_or("DISPLAY", ""))
                     .c_str(),
                 i18n::tr("To convert from the terminal, use: mirutone convert SOURCE").c_str());
    return 2;
  }
  // Up to here the terminal spoke the user's language; the window's user
  // interface is Japanese.
  i18n::set_language(i18n::Language::Japanese);
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("mirutone"));
  load_qt_translations(app);

  const std::string running_shot = env_or("MIRUTONE_SCREENSHOT_RUNNING", "");
  const std::string ended_shot = env_or("MIRUTONE_SCREENSHOT_ENDED", "");
  std::unique_ptr<Dialogs> dialogs;
  if (!running_shot.empty() || !ended_shot.empty()) {
    dialogs = std::make_unique<AnsweringDialogs>(env_or("MIRUTONE_SCREENSHOT_SOURCE", ""));
  } else {
    dialogs = std::make_unique<QtDialogs>();
  }
  Form1 form(*dialogs);
  if (auto* qt = dynamic_cast<QtDialogs*>(dialogs.get())) qt->set_parent(&form);
  if (QScreen* screen = form.screen()) {
    form.move(screen->availableGeometry().center() - form.rect().center());
  }
  form.show();

  if (!running_shot.empty()) return take_running_picture(app, form, QString::fromStdString(running_shot));
  if (!ended_shot.empty()) return take_ended_picture(app, form, QString::fromStdString(ended_shot));
  const std::string idle_shot = env_or("MIRUTONE_SCREENSHOT", "");
  if (!idle_shot.empty()) return take_idle_picture(app, form, QString::fromStdString(idle_shot));
  return app.exec();
}

}  // namespace mirutone::ui
