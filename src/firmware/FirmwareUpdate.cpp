#include "firmware/FirmwareUpdate.h"

#include "base/Clock.h"
#include "firmware/ImageCheck.h"

namespace zendra {

namespace {
constexpr const char* kInvalidFile = "ERROR: The firmware file is invalid.";
constexpr const char* kInvalidFileStatus = "Invalid firmware file.";
constexpr const char* kPreparing = "Preparing for firmware update...";
constexpr const char* kPreparingWorker = "Preparing for firmware update......";
constexpr const char* kNoResponse = "ERROR: The device does not respond.";
constexpr const char* kCompleted = "Completed successfully.";
constexpr const char* kRestartError = "Restart error.";
}  // namespace

FirmwareUpdate::FirmwareUpdate(Connection& connection, FirmwarePageView& view, Operator& op)
    : FirmwareHost(connection, view, op), pageView_(view) {}

FirmwareUpdate::~FirmwareUpdate() { transferThread_.StopAndJoin(); }

bool FirmwareUpdate::CheckLocal() {
  return CheckLocalUpdate(connection_, chosenPath_, imageModel_, op_);
}

bool FirmwareUpdate::OnLocalUpdate(LineLease line) {
  view_.SetProgress(0);
  localMode = 1;
  return StartUpdate(std::move(line), true, false, std::string());
}

bool FirmwareUpdate::StartUpdate(LineLease line, bool local, bool clone,
                                 const std::string& address) {
  // A running worker owns the line: a second start must not put its line end and
  // "AT+BOOTLOAD" into that transfer. It leaves the worker alone, silently.
  if (!clone && transferThread_.Running()) return false;
  WaitCursor wait(op_);
  // A clone sends the local module's own firmware and needs no file.
  if (!clone && chosenPath_.empty()) {
    op_.ShowMessage(kInvalidFile);
    view_.SetStatus(kInvalidFileStatus);
    return false;
  }
  line_.emplace(std::move(line));
  if (!clone) crcTable_.Fill();
  view_.EnableButtons(false);
  view_.SetStatus(kPreparing);
  if (!clone) {
    line_->Port().Write("\n");
    line_->Sleep(100);
  }
  line_->Sleep(2000);

  const bool started = local ? StartLocalBranch() : StartRemoteBranch(clone, address);
  if (!started) line_.reset();
  return started;
}

bool FirmwareUpdate::StartLocalBranch() {
  AtLink& link = line_->Link();
  link.WakeUpIfSleepy();
  // The running firmware answers by starting its bootloader ("ENTER BOOTLOADER").
  if (link.QueryAtCommand("AT+BOOTLOAD\n", 2) != "ENTER") {
    if (!line_->Stopped()) op_.ShowMessage(kNoResponse);
    view_.EnableButtons(true);
    return false;
  }
  // The bootloader's menu, then menu choice 1: it waits for an image and asks
  // for it with 'C', which the worker's engine awaits.
  line_->Sleep(1000);
  line_->Port().Write("\n");
  line_->Sleep(2000);
  line_->Port().Write("1");
  line_->Sleep(2000);
  if (line_->Stopped()) return false;
  // A second start while a worker runs leaves that worker alone.
  return transferThread_.TryStart(
      [this, path = chosenPath_](std::stop_token stop) { UpdateWorker(stop, path, true); });
}

bool FirmwareUpdate::StartRemoteBranch(bool /*clone*/, const std::string& /*address*/) {
  // The remote image update ("AT+BOOTLOAD=1,<address>", then UpdateWorker with
  // localMode 0, a reply budget of 20000 and the row's progress bar) and the clone
  // ("AT+BOOTLOAD=2,<address>", then CloneMonitor in its own slot) belong here.
  // Until they are built, a remote start does nothing but give the buttons back.
  view_.EnableButtons(true);
  return false;
}

void FirmwareUpdate::End(FirmwareOutcome outcome, std::stop_token stop) {
  line_.reset();
  Finish(outcome, stop);
}

void FirmwareUpdate::UpdateWorker(std::stop_token stop, std::string path, bool local) {
  // The worker goes on with the line from here: its own stop ends every wait.
  line_->FollowStop(stop);
  SerialTransferChannel channel(*line_);
  TransferParams params;
  params.firstStatus = kPreparingWorker;
  params.replyBudget = local ? 5000 : 20000;
  params.noStartRequestIsFailure = true;

  switch (RunTransfer(channel, path, params, stop)) {
    case TransferResult::kStopped:
      line_.reset();
      return;
    case TransferResult::kSuccess:
      // A remote device is not restarted with "2"; its endings (status by the
      // counts of started and chosen devices, the row's bar) come with the remote update.
      if (local) FinishLocal(stop);
      line_.reset();
      return;
    case TransferResult::kFailure:
    case TransferResult::kNoCompletion:
      End(FirmwareOutcome::kTransmitError, stop);
      return;
    case TransferResult::kNoStartRequest:
      End(FirmwareOutcome::kNoStartRequest, stop);
      return;
    case TransferResult::kFileNotOpened:
      End(FirmwareOutcome::kFileNotOpened, stop);
      return;
    case TransferResult::kLineLost:
      End(FirmwareOutcome::kLineLost, stop);
      return;
  }
}

void FirmwareUpdate::FinishLocal(std::stop_token stop) {
  AtLink& link = line_->Link();
  SerialTransferChannel channel(*line_);
  // Menu choice 2 runs the new firmware, which greets with a text holding "OK".
  line_->Port().Write("2");
  const auto deadline = Clock::DeadlineAfter(kRestartWaitMs);
  bool answered = false;
  for (;;) {
    if (channel.CollectReply().find("OK") != std::string::npos) {
      answered = true;
      break;
    }
    if (stop.stop_requested()) return;
    if (Clock::Now() >= deadline || channel.LineLost()) break;
    channel.WaitForBytes(100, stop);
  }
  // Take the rest of the greeting's line too: a CR LF arriving after the first
  // device query has started would turn that query's reply line into "".
  if (answered) link.TakeRestOfLine(link.reply.find("OK"));
  if (!answered) {
    if (stop.stop_requested()) return;
    // The image went out whole, but nothing runs it: say so, and keep the old
    // device texts rather than four "ERROR"s from queries nobody answers.
    view_.SetStatus(kRestartError);
    op_.ShowMessage(kNoResponse);
    End(FirmwareOutcome::kNoRestart, stop);
    return;
  }

  connection_.ShowDeviceInfo(*line_);
  if (stop.stop_requested()) return;
  const DeviceInfo device = connection_.Device();
  line_.reset();
  pageView_.ShowDeviceTexts(device);
  pageView_.ReloadDefinitions(device.DefinitionFileName());
  lastOutcome_ = static_cast<int>(FirmwareOutcome::kCompleted);
  view_.EnableButtons(true);
  view_.SetStatus(kCompleted);
  view_.Finished(FirmwareOutcome::kCompleted);
}

}  // namespace zendra
