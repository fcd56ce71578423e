#pragma once
// The download dialog (template 148, "Web update"): the running message, the name
// of the file being fetched and a progress bar, while a DownloadWorker fetches a
// prepared list of files from the update server. It has no buttons: it closes by
// itself after the last file, and the operator can only close it early (Escape or
// the closing box), which ends the transfer at once.
//
// The dialog is the worker's DownloadView. The worker's calls come from its thread
// and are posted onto the dialog's; the dialog never waits for them. Positions are
// coalesced: however fast the worker reports, at most one position waits in the
// dialog's queue, and it shows the latest. The worker's message boxes go through
// the dialog's OperatorRelay, which answers at once from the moment the dialog
// closes, so that closing never waits for a box nobody will see.
//
// Closing stops and joins the worker before the window goes: a stopped worker
// touches neither the dialog nor its lists, and the file it was writing keeps the
// contents it had (the download goes to a temporary file until it is complete).

#include <QDialog>
#include <QString>
#include <atomic>
#include <string>
#include <vector>

#include "widgets/WindowRelay.h"
#include "webupdate/DownloadEntry.h"
#include "webupdate/DownloadView.h"
#include "webupdate/DownloadWorker.h"

class QLabel;
class QProgressBar;

namespace zendra {

class WebUpdateDialog : public QDialog, public DownloadView {
  Q_OBJECT

 public:
  // The dialog for downloading `updateServerUrl` + each entry's server name into
  // its local path; `op` shows the worker's boxes (through the dialog's relay). The
  // worker reports every position: the dialog coalesces them itself, and so shows
  // where a transfer stands also when it pauses right after a burst.
  WebUpdateDialog(std::string updateServerUrl, std::vector<DownloadEntry> entries, Operator& op,
                  QWidget* parent = nullptr, HttpClient client = HttpClient(),
                  DownloadWorker::Options options = {std::chrono::milliseconds(0)});
  ~WebUpdateDialog() override;

  // Shows the dialog modally until it closes; how each entry ended.
  std::vector<DownloadResult> RunModal();

  // DownloadView, callable from any thread.
  void SetMessage(const std::string& text) override;
  void SetFileName(const std::string& text) override;
  void SetRange(int lower, int upper) override;
  void SetPosition(int position) override;
  void Close() override;

  const QString& MessageText() const { return messageText_; }
  const QString& FileNameText() const { return fileNameText_; }
  bool WorkerRunning() const { return worker_.Running(); }
  const OperatorRelay& Relay() const { return relay_; }
  // How each entry ended; complete once the dialog has closed.
  const std::vector<DownloadResult>& Results() const { return worker_.Results(); }

  // Every way of closing ends here: the worker is stopped and joined first.
  void done(int result) override;

 signals:
  // The message text changed (each one the worker set, in order).
  void messageShown(const QString& text);

 protected:
  // Dialog initialisation: the first showing starts the worker.
  void showEvent(QShowEvent* event) override;

 private:
  template <typename F>
  void Post(F call);

  WindowRelay relay_;
  DownloadWorker worker_;  // after the relay: joined before the relay goes
  QLabel* message_ = nullptr;
  QLabel* fileName_ = nullptr;
  QProgressBar* bar_ = nullptr;
  QString messageText_;   // MessageText, shown in 1051
  QString fileNameText_;  // FileNameText, shown in 1050
  bool started_ = false;
  std::atomic<int> pendingPosition_{0};
  std::atomic<bool> positionPosted_{false};
};

}  // namespace zendra
