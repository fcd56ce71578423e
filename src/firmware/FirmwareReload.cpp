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
// How long the module has to react to the start of its new firmware before the dialog ends anyway.
constexpr int kMenuChoiceReactionMs = 1000;
}  // namespace

FirmwareReload::FirmwareReload(Connection& connection, LineLease& line, TransferView& view,
                               Operator& op, const Bootloader& bootloader)
    : FirmwareHost(connection, view, op, bootloader), line_(line) {}

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
  view_.EnableButtons(false);
  view_.SetStatus(kPreparing);

  // The bootloader waits in its menu; from there it gets ready for the image.
  switch (bootloader_.EnterFromMenu(line_)) {
    case Bootloader::Entry::kNoAnswer:
      op_.ShowMessage(kNoResponse);
      view_.EnableButtons(true);
      return false;
    case Bootloader::Entry::kStopped:
      view_.EnableButtons(true);
      return false;
    case Bootloader::Entry::kReady:
      break;
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
      // The bootloader runs the new firmware. The handshake closes and reopens the
      // port as soon as the dialog has gone, and closing discards output not yet
      // sent: wait until the module reacts (its greeting, at whatever rate) so
      // the choice is known to have reached it.
      channel.CollectReply();
      bootloader_.StartApplication(channel);
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
