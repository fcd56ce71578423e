#pragma once
// Options > Update Server...: the update server the program uses, where that value
// comes from, a box to change the stored setting, and a test that fetches the
// server's two lists.
//
// The value in force is UpdateServerSetting's: `--update-server` of this run, then
// the environment variable, then the stored setting, then the build's host. The
// dialog says which one decides; the box edits the stored setting (empty: none), so
// while the command line or the environment decides, a change here counts for the
// runs without them, and the dialog says so. OK stores the box's value, Cancel
// keeps the stored one.
//
// Test fetches "Firmware" and "Configs" from the server the box names (the value in
// force without a stored setting when the box is empty) off the window's thread,
// and shows how each answered: the number of entries, or the failure with the
// server and the file (could not connect, HTTP status, no list). Closing the dialog
// ends a test under way.

#include <QDialog>
#include <atomic>
#include <string>
#include <thread>

class QLabel;
class QLineEdit;
class QPushButton;

namespace zendra {

class UpdateServerDialog : public QDialog {
  Q_OBJECT

 public:
  explicit UpdateServerDialog(QWidget* parent = nullptr);
  ~UpdateServerDialog() override;

  QLineEdit* ServerBox() { return serverBox_; }
  QLabel* InForce() { return inForce_; }
  QLabel* TestResult() { return testResult_; }
  QPushButton* TestButton() { return testButton_; }

  // Starts the test of the box's server; a test under way is not started again.
  void Test();
  bool Testing() const { return worker_.joinable() && !testDone_; }

  // Stores the box's value and closes.
  void accept() override;

  // The text of the "in force" line for the current setting.
  static QString InForceText();

 private:
  void ShowInForce();
  void EndTest();

  QLineEdit* serverBox_ = nullptr;
  QLabel* inForce_ = nullptr;
  QLabel* testResult_ = nullptr;
  QPushButton* testButton_ = nullptr;
  std::jthread worker_;
  std::atomic<bool> testDone_{true};
};

}  // namespace zendra
