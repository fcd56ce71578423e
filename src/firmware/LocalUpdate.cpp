#include "firmware/LocalUpdate.h"

#include "base/Clock.h"
#include "firmware/ImageCheck.h"

namespace zendra {

namespace {
constexpr const char* kCompleted = "Completed successfully.";
constexpr const char* kRestartError = "Restart error.";
}  // namespace

LocalUpdate::LocalUpdate(Connection& connection, FirmwarePageView& view, Operator& op,
                         const Bootloader& bootloader)
    : FirmwareHost(connection, view, op, bootloader), pageView_(view) {}

LocalUpdate::~LocalUpdate() { transferThread_.StopAndJoin(); }

bool LocalUpdate::CheckLocal() {
  return CheckLocalUpdate(connection_, chosenPath_, imageModel_, op_, bootloader_.BaudRate());
}

bool LocalUpdate::OnLocalUpdate(LineLease line) {
  view_.SetProgress(0);
  return Start(std::move(line));
}

bool LocalUpdate::Start(LineLease line) {
  // A running worker owns the line: a second start must not put its line end and
  // its bootload command into that transfer. It leaves the worker alone, silently.
  if (Busy()) return false;
  line_.emplace(std::move(line));
  bool started = false;
  {
    WaitCursor wait(op_);
    started = PrepareStart(*line_, true) && EnterBootloader();
  }
  if (!started) line_.reset();
  return started;
}

bool LocalUpdate::EnterBootloader() {
  switch (bootloader_.EnterLocal(*line_)) {
    case Bootloader::Entry::kNoAnswer:
      if (!line_->Stopped()) op_.ShowMessage(kNoResponse);
      view_.EnableButtons(true);
      return false;
    case Bootloader::Entry::kStopped:
      return false;
    case Bootloader::Entry::kReady:
      break;
  }
  return transferThread_.TryStart(
      [this, path = chosenPath_](std::stop_token stop) { UpdateWorker(stop, path); });
}

void LocalUpdate::End(FirmwareOutcome outcome, std::stop_token stop) {
  line_.reset();
  Finish(outcome, stop);
}

void LocalUpdate::UpdateWorker(std::stop_token stop, std::string path) {
  // The worker goes on with the line from here: its own stop ends every wait.
  line_->FollowStop(stop);
  SerialTransferChannel channel(*line_);
  TransferParams params;
  params.firstStatus = kPreparingWorker;
  params.replyBudget = 5000;
  params.noStartRequestIsFailure = true;

  switch (RunTransfer(channel, path, params, stop)) {
    case TransferResult::kStopped:
      // The line goes back before the window hears of the cancel (if it was one).
      line_.reset();
      FinishCancelled(stop);
      return;
    case TransferResult::kSuccess:
      FinishLocal(stop);
      line_.reset();
      return;
    case TransferResult::kFailure:
    case TransferResult::kNoCompletion:
      End(FirmwareOutcome::kTransmitError, stop);
      return;
    case TransferResult::kRefused:
      // The line goes back before the window hears of the end.
      line_.reset();
      FinishImageRefused(stop);
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

void LocalUpdate::FinishLocal(std::stop_token stop) {
  AtLink& link = line_->Link();
  SerialTransferChannel channel(*line_);
  // The bootloader runs the new firmware, which greets with a text holding "OK".
  bootloader_.StartApplication(channel);
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
