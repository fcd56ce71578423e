#include "firmware/FirmwareHost.h"

namespace zendra {

const std::string& FirmwareHost::OnChooseFile() {
  if (auto path = op_.ChooseFileToOpen(kFileFilter)) chosenPath_ = std::move(*path);
  return chosenPath_;
}

std::optional<FirmwareOutcome> FirmwareHost::LastOutcome() const {
  const int value = lastOutcome_.load();
  if (value < 0) return std::nullopt;
  return static_cast<FirmwareOutcome>(value);
}

TransferResult FirmwareHost::RunTransfer(TransferChannel& channel, const std::string& path,
                                         const TransferParams& params, std::stop_token stop,
                                         std::function<void(int percent)> progress,
                                         std::function<void(std::int64_t, std::int64_t)> bytes) {
  TransferSinks sinks;
  sinks.status = [this](const std::string& text) { view_.SetStatus(text); };
  if (progress) {
    sinks.progress = std::move(progress);
  } else {
    sinks.progress = [this](int percent) { view_.SetProgress(percent); };
  }
  sinks.bytes = [this, bytes = std::move(bytes)](std::int64_t sent, std::int64_t total) {
    view_.TransferredBytes(sent, total);
    if (bytes) bytes(sent, total);
  };
  TransferParams run = params;
  run.pauseAfterBlock = !fastTransfer_;
  // The transfer stops when the worker is asked to (the window closing) and when
  // the operator cancels it; the rest of the worker's run follows the former only.
  std::stop_source transferStop;
  const std::stop_callback follow(stop, [&transferStop] { transferStop.request_stop(); });
  {
    std::lock_guard lock(cancelMutex_);
    cancel_ = &transferStop;
  }
  const TransferResult result =
      bootloader_.SendImage(channel, path, run, op_, std::move(sinks), transferStop.get_token());
  {
    std::lock_guard lock(cancelMutex_);
    cancel_ = nullptr;
  }
  return result;
}

bool FirmwareHost::CancelTransfer() {
  std::lock_guard lock(cancelMutex_);
  if (!cancel_) return false;
  cancel_->request_stop();
  return true;
}

void FirmwareHost::FinishCancelled(std::stop_token stop) {
  if (stop.stop_requested()) {
    lastOutcome_ = static_cast<int>(FirmwareOutcome::kStopped);
    return;
  }
  view_.SetStatus(kCancelledStatus);
  Finish(FirmwareOutcome::kStopped, stop);
}

void FirmwareHost::FinishImageRefused(std::stop_token stop) {
  if (!stop.stop_requested()) op_.ShowDetailedMessage(kFailedMessage, kImageRefusedDetail);
  Finish(FirmwareOutcome::kImageRefused, stop);
}

void FirmwareHost::Finish(FirmwareOutcome outcome, std::stop_token stop) {
  lastOutcome_ = static_cast<int>(outcome);
  if (stop.stop_requested()) return;
  view_.EnableButtons(true);
  view_.Finished(outcome);
}

}  // namespace zendra
