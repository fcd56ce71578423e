#pragma once
// The desktop's DownloadRunner: the modal WebUpdateDialog, opened on the GUI
// thread whatever thread the update check runs on.
//
// Called on the GUI thread (the definition loader's question), the dialog runs
// there. Called from a module task (the Firmware Update page's check), it is
// opened on the GUI thread and the task waits until it has closed. A task asked to
// stop before the dialog opened does not open it (its window is closing); once the
// dialog is open, the task waits for it to close.

#include <QPointer>
#include <QWidget>
#include <stop_token>

#include "base/Operator.h"
#include "webupdate/DownloadRunner.h"
#include "webupdate/HttpClient.h"

namespace zendra {

class WebUpdateRunner : public DownloadRunner {
 public:
  // `op` shows the dialog's boxes; `window` is the window the dialog is modal to
  // (null: the application), on the GUI thread; `stop` is the calling task's.
  WebUpdateRunner(Operator& op, QWidget* window, std::stop_token stop = {},
                  HttpClient client = HttpClient())
      : op_(op), window_(window), stop_(std::move(stop)), client_(client) {}

  std::vector<DownloadResult> RunDownloads(const std::string& updateServerUrl,
                                           const std::vector<DownloadEntry>& entries) override;

 private:
  Operator& op_;
  QPointer<QWidget> window_;
  std::stop_token stop_;
  HttpClient client_;
};

}  // namespace zendra
