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

TransferResult FirmwareHost::RunTransfer(SerialTransferChannel& channel, const std::string& path,
                                         const TransferParams& params, std::stop_token stop,
                                         std::function<void(int percent)> progress) {
  TransferSinks sinks;
  sinks.status = [this](const std::string& text) { view_.SetStatus(text); };
  if (progress) {
    sinks.progress = std::move(progress);
  } else {
    sinks.progress = [this](int percent) { view_.SetProgress(percent); };
  }
  sinks.bytes = [this](std::int64_t sent, std::int64_t total) { view_.TransferredBytes(sent, total); };
  ImageTransfer engine(channel, crcTable_, op_, std::move(sinks));
  return engine.Run(path, params, stop);
}

void FirmwareHost::Finish(FirmwareOutcome outcome, std::stop_token stop) {
  lastOutcome_ = static_cast<int>(outcome);
  if (stop.stop_requested()) return;
  view_.EnableButtons(true);
  view_.Finished(outcome);
}

}  // namespace zendra
