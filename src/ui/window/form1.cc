#include "ui/window/form1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>

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

}  // namespace

Form1::Form1(Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), logic_(*this, dialogs) {
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
  while (logic_.running()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  logic_.join_worker();
  if (wait_cursor_) QApplication::restoreOverrideCursor();
}

int Form1::px(int twips) const { return twips_to_pixels(twips, logicalDpiX()); }

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

void Form1::run_on_window_thread(const std::function<void()>& f) {
  if (QThread::currentThread() == thread()) {
    f();
  } else {
    QMetaObject::invokeMethod(this, [&f] { f(); }, Qt::BlockingQueuedConnection);
  }
}

void Form1::post_to_window_thread(std::function<void()> f) {
  QMetaObject::invokeMethod(this, std::move(f), Qt::QueuedConnection);
}

std::string Form1::path_text() const { return Text1_->text().toStdString(); }

void Form1::set_path_text(const std::string& path) { Text1_->setText(QString::fromStdString(path)); }

// The status area appears below the buttons with the window grown to hold
// it; an empty text hides it and gives the window its old size back.
void Form1::show_status(const std::string& text) {
  status_->setPlainText(QString::fromStdString(text));
  status_->setVisible(!text.empty());
  lay_out();
}

void Form1::set_controls_enabled(const EnabledControls& enabled) {
  Text1_->setEnabled(enabled.text1);
  Command1_->setEnabled(enabled.command1);
  Command3_->setEnabled(enabled.command3);
  Command4_->setEnabled(enabled.command4);
}

void Form1::set_wait_pointer(bool wait) {
  if (wait == wait_cursor_) return;
  if (wait) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
  wait_cursor_ = wait;
}

void Form1::Command4_Click() { logic_.browse(); }

void Form1::Command1_Click() { logic_.start_run(); }

void Form1::show_progress(const ProgressDisplay& progress) {
  progress_bar_->setValue(progress.permille);
  progress_bar_->setFormat(QString::fromStdString(progress.bar));
  const QString label = QString::fromStdString(progress.label);
  progress_bar_->setToolTip(progress_bar_->format());
  progress_label_->setToolTip(label);
  progress_label_->setText(progress_label_->fontMetrics().elidedText(label, Qt::ElideRight, progress_label_->width()));
  progress_label_->show();
  progress_bar_->show();
}

void Form1::hide_progress() {
  progress_label_->hide();
  progress_label_->clear();
  progress_bar_->hide();
  progress_bar_->reset();
}

void Form1::focus_run_button() { Command1_->setFocus(); }

void Form1::close_window() { close(); }

void Form1::Command3_Click() {
  if (close()) QApplication::quit();
}

void Form1::closeEvent(QCloseEvent* event) {
  if (!logic_.request_close()) {
    event->ignore();
    return;
  }
  event->accept();
}

}  // namespace mirutone::ui
