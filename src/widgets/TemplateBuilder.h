#pragma once
// Builds a window's controls as its dialog template describes them: each control
// is a direct child of the template root, placed in dialog units, tagged with its
// ID and created enabled or disabled. Group boxes are siblings of the controls
// they frame, as in the templates, and are created first so that they lie below.

#include <QString>

#include "widgets/DialogUnits.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QWidget;

namespace zendra {

class TemplateBuilder {
 public:
  // Controls become children of `parent`; `templateRoot` (default: the parent) is
  // the window whose template they belong to.
  TemplateBuilder(QWidget* parent, int templateId, QWidget* templateRoot = nullptr);

  const DialogUnits& Units() const { return units_; }

  QGroupBox* GroupBox(int id, const QString& caption, int x, int y, int w, int h);
  QLabel* Static(int id, const QString& caption, int x, int y, int w, int h);
  QPushButton* Button(int id, const QString& caption, int x, int y, int w, int h,
                      bool enabled = true);
  QCheckBox* CheckBox(int id, const QString& caption, int x, int y, int w, int h,
                      bool enabled = true);
  QLineEdit* Edit(int id, int x, int y, int w, int h, bool enabled = true);
  // An editable drop-down list. Typed text is never added to the list.
  QComboBox* DropDown(int id, int x, int y, int w, int h, bool enabled = true);
  QProgressBar* ProgressBar(int id, int x, int y, int w, int h);
  // Any other control, made by the caller as a child of the root.
  void Place(QWidget* control, int id, int x, int y, int w, int h, bool enabled = true);

 private:
  QWidget* root_;
  DialogUnits units_;
};

}  // namespace zendra
