#include "webupdate/ui/WebUpdateRunner.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "webupdate/ui/WebUpdateDialog.h"

namespace zendra {

namespace {

// What the waiting task and the call posted to the GUI thread share.
struct Handover {
  std::mutex mutex;
  std::condition_variable changed;
  bool started = false;    // the dialog is being shown: the task waits for its end
  bool finished = false;   // the call ran, or was dropped with its receiver
  bool cancelled = false;  // the task stopped before the call started: it does nothing
  std::vector<DownloadResult> results;
};

// Marks the handover finished however the posted call ends: run, or destroyed
// unrun because its receiver went first.
struct FinishGuard {
  std::shared_ptr<Handover> handover;
  explicit FinishGuard(std::shared_ptr<Handover> h) : handover(std::move(h)) {}
  FinishGuard(const FinishGuard&) = delete;
  FinishGuard& operator=(const FinishGuard&) = delete;
  ~FinishGuard() {
    std::lock_guard lock(handover->mutex);
    handover->finished = true;
    handover->changed.notify_all();
  }
};

}  // namespace

std::vector<DownloadResult> WebUpdateRunner::RunDownloads(
    const std::string& updateServerUrl, const std::vector<DownloadEntry>& entries) {
  std::vector<DownloadResult> notRun(entries.size(), DownloadResult::kNotRun);
  QObject* receiver =
      window_ ? static_cast<QObject*>(window_.data()) : QCoreApplication::instance();
  if (!receiver || stop_.stop_requested()) return notRun;
  const auto show = [this, &updateServerUrl, &entries] {
    WebUpdateDialog dialog(updateServerUrl, entries, op_, window_, client_);
    return dialog.RunModal();
  };
  if (QThread::currentThread() == receiver->thread()) return show();

  auto handover = std::make_shared<Handover>();
  auto guard = std::make_shared<FinishGuard>(handover);
  QMetaObject::invokeMethod(
      receiver,
      [guard, show] {
        Handover& h = *guard->handover;
        {
          std::lock_guard lock(h.mutex);
          if (h.cancelled) return;
          h.started = true;
        }
        auto results = show();
        std::lock_guard lock(h.mutex);
        h.results = std::move(results);
      },
      Qt::QueuedConnection);
  guard.reset();

  // Registered before the lock is taken: a stop already requested runs it at once.
  std::stop_callback wake(stop_, [handover] {
    std::lock_guard inner(handover->mutex);
    handover->changed.notify_all();
  });
  std::unique_lock lock(handover->mutex);
  handover->changed.wait(
      lock, [&] { return handover->finished || (!handover->started && stop_.stop_requested()); });
  if (!handover->finished) {
    handover->cancelled = true;
    return notRun;
  }
  if (handover->results.size() != entries.size()) return notRun;
  return handover->results;
}

}  // namespace zendra
