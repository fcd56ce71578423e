#include "webupdate/ui/WebUpdateRunner.h"

#include <QCoreApplication>

#include "webupdate/ui/WebUpdateDialog.h"
#include "widgets/GuiThread.h"

namespace zendra {

std::vector<DownloadResult> WebUpdateRunner::RunDownloads(
    const std::string& updateServerUrl, const std::vector<DownloadEntry>& entries) {
  std::vector<DownloadResult> notRun(entries.size(), DownloadResult::kNotRun);
  QObject* receiver =
      window_ ? static_cast<QObject*>(window_.data()) : QCoreApplication::instance();
  if (!receiver || stop_.stop_requested()) return notRun;
  // The dialog uses the task's own data: once it is open, the task waits for it to
  // close; a stop before it opened withdraws it.
  auto results = AskGui(
      receiver,
      [this, &updateServerUrl, &entries] {
        WebUpdateDialog dialog(updateServerUrl, entries, op_, window_, client_);
        return dialog.RunModal();
      },
      notRun, stop_, Withdraw::kBeforeStart);
  if (results.size() != entries.size()) return notRun;
  return results;
}

}  // namespace zendra
