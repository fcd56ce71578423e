#pragma once
// The comparison before an import: what an import of the chosen configuration file
// would change on the device the Configuration page targets, one row per parameter
// (group, parameter, the device's value and the file's), with Import and Cancel.
// The page reads the device as a module task before the dialog opens; the dialog
// itself only shows the ConfigurationDiff.
//
// Import sends the file's commands as the Import button does, every one of them:
// the dialog is a look before the import, and the import stays the one the file
// describes (`zendra-cli import --only-changed` leaves out what is unchanged).
// Cancel, the closing box and Escape send nothing.

#include <QDialog>
#include <QString>

#include "config/ConfigurationDiff.h"

class QLabel;
class QPushButton;
class QTreeWidget;

namespace zendra {

class ImportCompareDialog : public QDialog {
  Q_OBJECT

 public:
  ImportCompareDialog(const ConfigurationDiff& diff, const QString& fileName,
                      QWidget* parent = nullptr);

  // The dialog, modal to `parent`: true when the operator chose Import.
  static bool Ask(const ConfigurationDiff& diff, const QString& fileName, QWidget* parent);

  // The first line of the dialog for `diff` (what changes, or that nothing does).
  static QString Summary(const ConfigurationDiff& diff);

  QTreeWidget* Changes() { return changes_; }
  QLabel* SummaryLabel() { return summary_; }
  QPushButton* ImportButton() { return import_; }
  QPushButton* CancelButton() { return cancel_; }

 private:
  QTreeWidget* changes_ = nullptr;
  QLabel* summary_ = nullptr;
  QPushButton* import_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

}  // namespace zendra
