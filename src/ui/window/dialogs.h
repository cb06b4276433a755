// The two kinds of modal box the window opens: the file dialog `cdlDb` and
// the message boxes of a run. The window reaches them only through Dialogs,
// so a scripted stand-in can take their place.
#pragma once

#include <optional>
#include <string>

class QWidget;

namespace mirutone::ui {

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // The file dialog, starting on the file name `preset` in no particular
  // folder, with no filter or title of its own. The chosen full path (UTF-8),
  // or nothing when the user cancelled.
  virtual std::optional<std::string> open_file(const std::string& preset) = 0;
  // A modal message box without icon. `buttons` is convert::vbOKOnly or
  // convert::vbYesNo (Yes is the default button); returns convert::vbOK,
  // vbYes or vbNo.
  virtual int message_box(const std::string& prompt, int buttons, const std::string& title) = 0;
};

// The real boxes, owned by `parent` (the window).
class QtDialogs : public Dialogs {
 public:
  explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}
  void set_parent(QWidget* parent) { parent_ = parent; }

  std::optional<std::string> open_file(const std::string& preset) override;
  int message_box(const std::string& prompt, int buttons, const std::string& title) override;

 private:
  QWidget* parent_;
};

}  // namespace mirutone::ui
