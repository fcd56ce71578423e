#pragma once
// Builds a window's controls as its dialog template describes them, tagged with
// their IDs and created enabled or disabled.
//
// The windows lay their controls out with Qt layouts in the templates' order and
// grouping (the Make... functions: a control in the given parent, not placed, a
// group box as the parent of the controls it frames), so that they grow with the
// window and fit small screens; the template's size is the window's first size.
// The placing functions put a control at its template rectangle in dialog units
// (a direct child of the root; group boxes are then siblings of what they frame).

#include <QString>

#include "widgets/DialogUnits.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLayout;
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

  // For layouts: the control in `parent`, tagged and enabled or not, not placed.
  QGroupBox* MakeGroupBox(QWidget* parent, int id, const QString& caption);
  QLabel* MakeStatic(QWidget* parent, int id, const QString& caption);
  QPushButton* MakeButton(QWidget* parent, int id, const QString& caption, bool enabled = true);
  QCheckBox* MakeCheckBox(QWidget* parent, int id, const QString& caption, bool enabled = true);
  QLineEdit* MakeEdit(QWidget* parent, int id, bool enabled = true);
  QComboBox* MakeDropDown(QWidget* parent, int id, bool enabled = true);
  QProgressBar* MakeProgressBar(QWidget* parent, int id);
  // Makes a drop-down the caller made (a subclass) editable as MakeDropDown's are, and tags it.
  static QComboBox* SetUpDropDown(QComboBox* box, int id, bool enabled = true);
  // Tags a control the caller made.
  static void Tag(QWidget* control, int id, bool enabled = true);
  // The windows' spacing: tight enough that the main window fits a 1366×768
  // screen, and a 1920×1080 one at 150 %.
  static void Compact(QLayout* layout);

 private:
  QWidget* root_;
  DialogUnits units_;
};

}  // namespace zendra
