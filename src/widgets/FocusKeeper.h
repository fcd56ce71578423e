#pragma once
// A control that is disabled while it has the keyboard focus hands the focus on
// to the next control in the chain — after an Update or Open, that was the port
// box with its text selected, where the next Enter or typed key would land. The
// focus goes to a neutral keeper instead (a page, the tab control), which acts on
// no key, and comes back when the work is over.

#include <QPointer>
#include <QWidget>

namespace zendra {

// The window's own focus child counts, whether or not the window is active: while
// a message box of the work is open the box has the application's focus, and the
// control that is disabled behind it still holds its window's.
inline void SetEnabledKeepingFocusSafe(QWidget* control, bool enabled, QWidget* keeper) {
  if (!enabled && control->isEnabled()) {
    QWidget* focus = control->window()->focusWidget();
    if (focus && (focus == control || control->isAncestorOf(focus))) {
      keeper->setFocus(Qt::OtherFocusReason);
    }
  }
  control->setEnabled(enabled);
}

// Where the focus was when a stretch of work disabled the window's controls, given
// back when they are enabled again: the operator who pressed Enter in a value box
// types on in that box. Focus the operator has moved in the meantime stays where
// it is.
class FocusReturn {
 public:
  // Before the controls are disabled.
  void Leave(QWidget* window) {
    before_ = window->focusWidget();
    parked_ = nullptr;
  }
  // After they are: where the focus waits.
  void Parked(QWidget* window) { parked_ = window->focusWidget(); }
  // After they are enabled again.
  void Return(QWidget* window) {
    QWidget* before = before_.data();
    QWidget* parked = parked_.data();
    before_ = nullptr;
    parked_ = nullptr;
    if (!before || before == parked || window->focusWidget() != parked) return;
    if (before->isEnabled() && before->isVisible()) before->setFocus(Qt::OtherFocusReason);
  }

 private:
  QPointer<QWidget> before_;
  QPointer<QWidget> parked_;
};

}  // namespace zendra
