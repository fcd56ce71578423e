#pragma once
// A control that is disabled while it has the keyboard focus hands the focus on
// to the next control in the chain — after an Update or Open, that was the port
// box with its text selected, where the next Enter or typed key would land. The
// focus goes to a neutral keeper instead (a page, the tab control), which acts on
// no key.

#include <QApplication>
#include <QWidget>

namespace zendra {

inline void SetEnabledKeepingFocusSafe(QWidget* control, bool enabled, QWidget* keeper) {
  if (!enabled && control->isEnabled()) {
    QWidget* focus = QApplication::focusWidget();
    if (focus && (focus == control || control->isAncestorOf(focus))) {
      keeper->setFocus(Qt::OtherFocusReason);
    }
  }
  control->setEnabled(enabled);
}

}  // namespace zendra
