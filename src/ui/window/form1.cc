#include "ui/window/form1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>

#include <atomic>
#include <mutex>

#include "convert/run_report.h"
#include "i18n/messages.h"

namespace mirutone::ui {

namespace {

// The window's font: Noto Sans CJK JP where it is installed (fontconfig
// finds another face with Japanese glyphs where it is not), at the 9 points
// of the old layout.
QFont window_font() {
  QFont font = QApplication::font();
  const QString cjk = QStringLiteral("Noto Sans CJK JP");
  if (QFontDatabase::families().contains(cjk)) font.setFamilies({cjk});
  font.setPointSize(9);
  return font;
}

// Runs `f` on the thread of `context` and waits for it.
template <typename F>
void on_thread_of(QObject* context, F&& f) {
  if (QThread::currentThread() == context->thread()) {
    f();
  } else {
    QMetaObject::invokeMethod(context, std::forward<F>(f), Qt::BlockingQueuedConnection);
  }
}

}  // namespace

std::optional<QString> folder_of_chosen_file(const QString& path) {
  const QFileInfo info(path);
  if (info.fileName() == QString::fromUtf8(kPresetFileName)) {
    // The separator and the seven characters of the name.
    if (path.size() < 8) return std::nullopt;
    return path.left(path.size() - 8);
  }
  if (info.fileName().isEmpty()) return std::nullopt;
  return info.path();
}

// The run's user interface, carried over from the worker to the window.
class Form1::Bridge : public convert::UserInterface {
 public:
  explicit Bridge(Form1& form) : form_(form) {}

  int MsgBox(const std::string& prompt, int buttons, const std::string& title) override {
    int answer = convert::vbOK;
    on_thread_of(&form_, [&] { answer = form_.dialogs_.message_box(prompt, buttons, title); });
    return answer;
  }

  void SetMousePointer(int pointer) override {
    on_thread_of(&form_, [&] { form_.set_pointer(pointer); });
  }

  // Reports can come faster than the window paints: only the newest one
  // waiting is shown.
  void ReportProgress(const convert::Progress& progress) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      latest_ = progress;
    }
    if (posted_.exchange(true)) return;
    QMetaObject::invokeMethod(
        &form_,
        [this] {
          posted_ = false;
          convert::Progress p;
          {
            std::lock_guard<std::mutex> lock(mutex_);
            p = latest_;
          }
          form_.show_progress(p);
        },
        Qt::QueuedConnection);
  }

 private:
  Form1& form_;
  std::mutex mutex_;
  convert::Progress latest_;
  std::atomic<bool> posted_{false};
};

Form1::Form1(Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), dialogs_(dialogs), bridge_(std::make_unique<Bridge>(*this)) {
  // The window speaks Japanese whatever the locale; so do the run's texts it shows.
  i18n::set_language(i18n::Language::Japanese);
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QString::fromUtf8(kCaption));
  setWindowIcon(window_icon());
  setFont(window_font());

  Label1_ = new QLabel(QString::fromUtf8(kLabel1), this);
  Label1_->setObjectName(QStringLiteral("Label1"));
  Text1_ = new QLineEdit(this);
  Text1_->setObjectName(QStringLiteral("Text1"));
  Command1_ = new QPushButton(QString::fromUtf8(kCommand1), this);
  Command1_->setObjectName(QStringLiteral("Command1"));
  Command3_ = new QPushButton(QString::fromUtf8(kCommand3), this);
  Command3_->setObjectName(QStringLiteral("Command3"));
  Command4_ = new QPushButton(QString::fromUtf8(kCommand4), this);
  Command4_->setObjectName(QStringLiteral("Command4"));

  progress_label_ = new QLabel(this);
  progress_label_->setObjectName(QStringLiteral("ProgressLabel"));
  progress_label_->hide();
  progress_bar_ = new QProgressBar(this);
  progress_bar_->setObjectName(QStringLiteral("ProgressBar"));
  progress_bar_->setRange(0, 1000);
  progress_bar_->hide();
  status_ = new QPlainTextEdit(this);
  status_->setObjectName(QStringLiteral("StatusText"));
  status_->setReadOnly(true);
  status_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  status_->setFocusPolicy(Qt::ClickFocus);
  status_->hide();

  // Tab order: Text1, Command1, Command3, Command4 (the label takes no focus).
  for (QWidget* w : {static_cast<QWidget*>(Text1_), static_cast<QWidget*>(Command1_),
                     static_cast<QWidget*>(Command3_), static_cast<QWidget*>(Command4_)}) {
    w->setFocusPolicy(Qt::StrongFocus);
  }
  progress_bar_->setFocusPolicy(Qt::NoFocus);
  setTabOrder(Text1_, Command1_);
  setTabOrder(Command1_, Command3_);
  setTabOrder(Command3_, Command4_);
  Text1_->setFocus();

  connect(Command1_, &QPushButton::clicked, this, [this] { Command1_Click(); });
  connect(Command3_, &QPushButton::clicked, this, [this] { Command3_Click(); });
  connect(Command4_, &QPushButton::clicked, this, [this] { Command4_Click(); });

  lay_out();
}

Form1::~Form1() {
  // Closing is held while a run works, so a run is only under way here when
  // the window is destroyed without being closed. Let it finish its files;
  // it may still need this thread for its boxes.
  while (running_) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  if (worker_.joinable()) worker_.join();
  if (wait_cursor_) QApplication::restoreOverrideCursor();
}

int Form1::px(int twips) const { return qRound(twips * logicalDpiX() / 1440.0); }

void Form1::place(QWidget* w, const Twips& t) const {
  w->setGeometry(px(t.left), px(t.top), px(t.width), px(t.height));
}

void Form1::lay_out() {
  place(Text1_, kText1Place);
  place(Command1_, kCommand1Place);
  place(Command3_, kCommand3Place);
  place(Command4_, kCommand4Place);
  place(progress_label_, kProgressLabelPlace);
  place(progress_bar_, kProgressBarPlace);
  place(status_, kStatusPlace);

  // The label is one line of text; where the font is taller or wider than
  // the old one, it grows about its place rather than clip the text.
  const QFontMetrics fm(Label1_->font());
  const int height = std::max(px(kLabel1Place.height), fm.height());
  const int width = std::max(px(kLabel1Place.width), fm.horizontalAdvance(Label1_->text()) + 2);
  const int top = px(kLabel1Place.top) - (height - px(kLabel1Place.height)) / 2;
  Label1_->setGeometry(px(kLabel1Place.left), top, width, height);

  const int extra = status_->isVisible() ? kStatusExtraHeightTwips : 0;
  setFixedSize(px(kClientWidthTwips), px(kClientHeightTwips + extra));
}

QString Form1::status_text() const { return status_->isVisible() ? status_->toPlainText() : QString(); }

// The status area appears below the buttons with the window grown to hold
// it; an empty text hides it and gives the window its old size back.
void Form1::show_status(const QString& text) {
  status_->setPlainText(text);
  status_->setVisible(!text.isEmpty());
  lay_out();
}

void Form1::set_controls_enabled(bool enabled) {
  for (QWidget* w : {static_cast<QWidget*>(Text1_), static_cast<QWidget*>(Command1_),
                     static_cast<QWidget*>(Command3_), static_cast<QWidget*>(Command4_)}) {
    w->setEnabled(enabled);
  }
}

void Form1::set_pointer(int pointer) {
  const bool wait = pointer == convert::vbHourglass;
  if (wait == wait_cursor_) return;
  if (wait) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
  wait_cursor_ = wait;
}

void Form1::Command4_Click() {
  show_status(QString());
  const std::optional<std::string> chosen = dialogs_.open_file(kPresetFileName);
  // The old program switched back to its own drive here; paths here have no
  // drives, so there is nothing to switch back to.
  if (!chosen) return;
  const QString path = QString::fromStdString(*chosen);
  Text1_->setText(path);
  if (std::optional<QString> folder = folder_of_chosen_file(path)) {
    state_.strDbFolder = folder->toStdString();
  }
}

void Form1::Command1_Click() {
  if (running_) return;
  running_ = true;
  show_status(QString());
  copy_timing_ = false;
  set_controls_enabled(false);
  const std::string source = Text1_->text().toStdString();
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
    QMetaObject::invokeMethod(this, [this, result] { finish_run(result); }, Qt::QueuedConnection);
  });
}

void Form1::show_progress(const convert::Progress& progress) {
  if (!running_) return;
  QString label;
  if (progress.step == 0) {
    progress_bar_->setValue(0);
    label = QString::fromStdString(convert::progress_text(progress));
    progress_bar_->setFormat(label);
  } else {
    if (!copy_timing_) {
      copy_timing_ = true;
      copy_started_ = std::chrono::steady_clock::now();
    }
    progress_bar_->setValue(static_cast<int>(convert::step_fraction(progress) * 1000));
    progress_bar_->setFormat(QString::fromStdString(convert::progress_text(progress)));
    label = QString::fromStdString(i18n::tr("step {1}/{2}", progress.step, progress.total_steps));
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - copy_started_).count();
    const std::string left = convert::time_left(progress, elapsed);
    if (!left.empty()) label += QStringLiteral(" ") + QString::fromStdString(left);
  }
  if (progress.damage) label += QStringLiteral(" — ") + QString::fromStdString(progress.damage->describe());
  progress_bar_->setToolTip(progress_bar_->format());
  progress_label_->setToolTip(label);
  progress_label_->setText(progress_label_->fontMetrics().elidedText(label, Qt::ElideRight, progress_label_->width()));
  progress_label_->show();
  progress_bar_->show();
  if (progress_observer_) progress_observer_(progress);
}

void Form1::finish_run(const convert::RunResult& result) {
  if (worker_.joinable()) worker_.join();
  running_ = false;
  set_pointer(convert::vbDefault);
  progress_label_->hide();
  progress_label_->clear();
  progress_bar_->hide();
  progress_bar_->reset();
  show_status(QString::fromStdString(convert::status_text(result)));
  set_controls_enabled(true);
  Command1_->setFocus();
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
  if (close_pending_) close();
}

void Form1::Command3_Click() {
  if (close()) QApplication::quit();
}

void Form1::closeEvent(QCloseEvent* event) {
  if (running_) {
    // Ending now would leave the output files half written: close once the
    // run has ended.
    close_pending_ = true;
    event->ignore();
    return;
  }
  event->accept();
}

}  // namespace mirutone::ui
