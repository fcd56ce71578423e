#pragma once
// The traffic console: a window of its own beside the main window (View > Traffic
// Console, Ctrl+T) that shows every byte the program sends and receives on the
// serial line as it happens, lets the operator send an AT command of his own when
// the line is free, and saves the log to a file.
//
// Its log is attached to the connection's port for the whole run, hidden or not, so
// that what led to a failure is there when the console is opened afterwards. The
// log's thread formats the traffic and posts it here in batches; the window only
// appends text, so it keeps painting through a firmware transfer. A typed command
// is a module task on the line's lease (ConsoleCommand): while an update, a scan or
// any other activity holds the line it is refused, and the refusal shows under the
// command field and in the log.
//
// Esc hides it (its log goes on), as the View menu's entry does.
//
// It is not the main window's fourth page: a page would hide the page whose
// traffic is being watched, and the main window is no QMainWindow to dock it in.

#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "base/Operator.h"
#include "device/Connection.h"
#include "device/ConsoleCommand.h"
#include "serial/TrafficLog.h"
#include "widgets/ModuleTaskRunner.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace zendra {

class TrafficConsole : public QWidget {
  Q_OBJECT

 public:
  // Lines the view keeps; older ones give way (a saved log holds the same).
  static constexpr int kMaxLines = 100000;

  // `parent` is the main window: the console is a window of its own that stays
  // with it. The caller attaches Log() to the connection's line and detaches it
  // before the console goes.
  TrafficConsole(Connection& connection, Operator& op, QWidget* parent);
  ~TrafficConsole() override;

  TrafficLog& Log() { return *log_; }
  ModuleTaskRunner& Tasks() { return tasks_; }

  // Send (and Enter in the command field): the typed command as a module task.
  void SendCommand();
  // Save...: asks for a file and writes the log's lines there.
  void OnSave();
  // Writes the lines shown to `path`; false after a message when it cannot.
  bool SaveLog(const std::string& path);
  // Clear: empties the view (the saved log starts anew with it).
  void Clear();

  // Every line the view holds, as it would be saved.
  QString Text() const;

 signals:
  void visibilityChanged(bool visible);

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void Append(const std::vector<TrafficEntry>& entries);
  void ShowReply(const std::string& typed, const ConsoleReply& reply);

  Connection& connection_;
  Operator& op_;
  ModuleTaskRunner tasks_;
  QPlainTextEdit* view_ = nullptr;
  QLineEdit* command_ = nullptr;
  QPushButton* send_ = nullptr;
  QPushButton* save_ = nullptr;
  QPushButton* clear_ = nullptr;
  QLabel* status_ = nullptr;
  std::unique_ptr<TrafficLog> log_;  // last: its thread posts to everything above
};

}  // namespace zendra
