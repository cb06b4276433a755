// The Qt window's boxes: the file dialog `cdlDb` and the message boxes of a
// run, as Qt draws them.
#pragma once

#include <optional>
#include <string>

#include "ui/window_logic.h"

class QWidget;

namespace mirutone::ui {

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
