#pragma once
// The about box: the program's name and version, and what it is for.

#include <QDialog>

namespace zendra {

class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  explicit AboutDialog(QWidget* parent = nullptr);

  static QString VersionLine();
  static QString SecondLine();
};

}  // namespace zendra
