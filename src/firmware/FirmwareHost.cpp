#include "firmware/FirmwareHost.h"

#include <chrono>

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
                                         std::function<void(const DeviceRunEvent&)> sending) {
  TransferSinks sinks;
  sinks.status = [this](const std::string& text) { view_.SetStatus(text); };
  // A new transfer: its own rate.
  rate_.Reset();
  sinks.block = [this, sending = std::move(sending)](std::int64_t sent, std::int64_t total) {
    // Stamped when the answer came, not when a window gets round to it.
    rate_.Add(sent, total, std::chrono::steady_clock::now());
    const DeviceRunEvent event = DeviceRunEvent::Sending(
        ImageTransfer::PercentValue(total - sent, total), sent, total, rate_.BytesPerSecond(),
        sent < total ? rate_.SecondsLeft() : std::nullopt);
    if (sending)
      sending(event);
    else
      view_.Progress(event);
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

bool FirmwareHost::PrepareStart(LineLease& line, bool image) {
  if (image && chosenPath_.empty()) {
    op_.ShowMessage(kInvalidFile);
    view_.SetStatus(kInvalidFileStatus);
    return false;
  }
  view_.EnableButtons(false);
  view_.SetStatus(kPreparing);
  if (image) {
    line.Port().Write("\n");
    line.Sleep(100);
  }
  line.Sleep(2000);
  return true;
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
