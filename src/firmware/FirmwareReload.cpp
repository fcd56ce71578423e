#include "firmware/FirmwareReload.h"

#include "base/Clock.h"
#include "firmware/ImageCheck.h"

namespace zendra {

namespace {
constexpr const char* kInvalidFile = "ERROR: The firmware file is invalid.";
constexpr const char* kInvalidFileStatus = "Invalid firmware file.";
constexpr const char* kPreparing = "Preparing for firmware update...";
constexpr const char* kNoResponse = "ERROR: The device does not respond.";
// The module's own wording, kept as the operator knows it.
constexpr const char* kNoStartRequest = "ERROR: The device does not repond.";
constexpr const char* kCompleted = "Completed successfully.";
constexpr const char* kCompletedMessage = "Firmware update is completed successfully.";
constexpr int kPromptLooks = 100;
// How long the module has to react to menu choice 2 before the dialog ends anyway.
constexpr int kMenuChoiceReactionMs = 1000;
}  // namespace

FirmwareReload::FirmwareReload(Connection& connection, LineLease& line, TransferView& view,
                               Operator& op)
    : FirmwareHost(connection, view, op), line_(line) {}

FirmwareReload::~FirmwareReload() { transferThread_.StopAndJoin(); }

bool FirmwareReload::CheckImage(const std::string& path, Operator& op) {
  std::string model;
  if (path.empty() || !ReadImageModel(path, model) || model.empty()) {
    op.ShowMessage(kInvalidFile);
    return false;
  }
  return CheckImageIsBinary(path, op);
}

bool FirmwareReload::OnUpload() {
  // A worker owns the line while it runs: a second upload must not write the
  // menu's line end and choice into its transfer. Refused silently.
  if (transferThread_.Running()) return false;
  WaitCursor wait(op_);
  view_.SetProgress(0);
  // A file that is no firmware image (none of the model codes near its start, or
  // empty, or gone; or text that mentions one) is refused before the bootloader
  // is touched: the bootloader would erase what is left of the firmware for it.
  if (!CheckImage(chosenPath_, op_)) {
    view_.SetStatus(kInvalidFileStatus);
    return false;
  }
  crcTable_.Fill();
  view_.EnableButtons(false);
  view_.SetStatus(kPreparing);

  // A line end makes the bootloader print its menu, which holds "BL".
  AtLink& link = line_.Link();
  link.reply.clear();
  line_.Ring().Reset();
  line_.Port().Write("\n");

  // Up to 100 looks 100 ms apart, each as soon as bytes arrive.
  const bool prompt = link.CollectReplyUntil(
      [](const std::string& r) { return r.find("BL") != std::string::npos; }, kPromptLooks);
  if (!prompt) {
    op_.ShowMessage(kNoResponse);
    view_.EnableButtons(true);
    return false;
  }

  // Menu choice 1: the bootloader waits for an image and asks for it with 'C',
  // which the engine awaits.
  line_.Sleep(2000);
  line_.Port().Write("1\n");
  line_.Sleep(2000);
  if (line_.Stopped()) {
    view_.EnableButtons(true);
    return false;
  }

  if (!transferThread_.TryStart(
          [this, path = chosenPath_](std::stop_token stop) { ReloadWorker(stop, path); })) {
    view_.EnableButtons(true);
    return false;
  }
  return true;
}

void FirmwareReload::ReloadWorker(std::stop_token stop, std::string path) {
  SerialTransferChannel channel(line_);
  TransferParams params;
  params.firstStatus = kPreparing;
  params.replyBudget = 5000;
  params.noStartRequestIsFailure = false;

  switch (RunTransfer(channel, path, params, stop)) {
    case TransferResult::kStopped:
      // Cancelled: said in the status; the dialog going away: nothing more to show.
      FinishCancelled(stop);
      return;
    case TransferResult::kSuccess:
      // Menu choice 2 runs the new firmware. The handshake closes and reopens the
      // port as soon as the dialog has gone, and closing discards output not yet
      // sent: wait until the module reacts (its greeting, at whatever rate) so
      // the choice is known to have reached it.
      channel.CollectReply();
      line_.Port().Write("2");
      channel.WaitForBytes(kMenuChoiceReactionMs, stop);
      channel.CollectReply();
      if (stop.stop_requested()) return;
      view_.SetStatus(kCompleted);
      op_.ShowMessage(kCompletedMessage);
      Finish(FirmwareOutcome::kCompleted, stop);
      return;
    case TransferResult::kFailure:
    case TransferResult::kNoCompletion:
      if (stop.stop_requested()) return;
      op_.ShowMessage(kFailedMessage);
      Finish(FirmwareOutcome::kTransmitError, stop);
      return;
    case TransferResult::kRefused:
      FinishImageRefused(stop);
      return;
    case TransferResult::kNoStartRequest:
      if (stop.stop_requested()) return;
      op_.ShowMessage(kNoStartRequest);
      Finish(FirmwareOutcome::kNoStartRequest, stop);
      return;
    case TransferResult::kFileNotOpened:
      Finish(FirmwareOutcome::kFileNotOpened, stop);
      return;
    case TransferResult::kLineLost:
      // The engine has said that the port is gone.
      Finish(FirmwareOutcome::kLineLost, stop);
      return;
  }
}

}  // namespace zendra
