#include "ui/window/dialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include "convert/user_interface.h"

namespace mirutone::ui {

std::optional<std::string> QtDialogs::open_file(const std::string& preset) {
  QFileDialog dialog(parent_);
  dialog.setObjectName(QStringLiteral("cdlDb"));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.selectFile(QString::fromStdString(preset));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty() || chosen.front().isEmpty()) return std::nullopt;
  return chosen.front().toStdString();
}

int QtDialogs::message_box(const std::string& prompt, int buttons, const std::string& title) {
  QMessageBox box(parent_);
  box.setIcon(QMessageBox::NoIcon);
  box.setWindowTitle(QString::fromStdString(title));
  box.setText(QString::fromStdString(prompt));
  box.setTextFormat(Qt::PlainText);
  if (buttons == convert::vbYesNo) {
    QPushButton* yes = box.addButton(QString::fromUtf8(kYesButton), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QString::fromUtf8(kNoButton), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes ? convert::vbYes : convert::vbNo;
  }
  QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
  box.setDefaultButton(ok);
  box.setEscapeButton(ok);
  box.exec();
  return convert::vbOK;
}

}  // namespace mirutone::ui
