#pragma once
// Controls carry their dialog-template ID as their identity: the dynamic property
// "controlId" and the object name "ctl<ID>". A window (a template root) carries
// its template ID as "dialogTemplate". An ID is looked up within one template
// root only: a page inside the main dialog is a root of its own, so 1006 found
// from the main dialog is Reboot and found from the Configuration page is Save.

#include <QString>
#include <QVariant>
#include <QWidget>

namespace zendra {

inline constexpr const char* kControlIdProperty = "controlId";
inline constexpr const char* kTemplateProperty = "dialogTemplate";

inline void SetControlId(QWidget* control, int id) {
  control->setProperty(kControlIdProperty, id);
  control->setObjectName(QStringLiteral("ctl%1").arg(id));
}

inline void MarkTemplateRoot(QWidget* root, int templateId) {
  root->setProperty(kTemplateProperty, templateId);
}

// The template root a control belongs to: its nearest ancestor marked as one.
inline QWidget* TemplateRootOf(const QWidget* control) {
  for (QWidget* w = control->parentWidget(); w; w = w->parentWidget()) {
    if (w->property(kTemplateProperty).isValid()) return w;
  }
  return nullptr;
}

template <typename T = QWidget>
T* FindControl(QWidget* root, int id) {
  if (!root) return nullptr;
  const auto name = QStringLiteral("ctl%1").arg(id);
  for (QWidget* w : root->findChildren<QWidget*>(name)) {
    if (w->property(kControlIdProperty).toInt() == id && TemplateRootOf(w) == root) {
      if (T* typed = qobject_cast<T*>(w)) return typed;
    }
  }
  return nullptr;
}

}  // namespace zendra
