#include "firmware/RemoteUpdate.h"

#include "base/Clock.h"
#include "firmware/CloneMonitor.h"
#include "firmware/ImageCheck.h"
#include "firmware/ImageTransfer.h"
#include "serial/RemoteAddress.h"

namespace zendra {

namespace {
constexpr const char* kSleepyLocal = "ERROR: Local device is a sleepy end device.";
constexpr const char* kNoDevice = "ERROR: No device is found in this network.";
constexpr const char* kNoneSelected = "ERROR: No remote device has been selected.";
constexpr const char* kRemoteNoResponse = "ERROR: The remote device does not respond.";
constexpr const char* kRemoteFailed = "Could not update remote device firmware.";
constexpr const char* kAllRemoteUpdated = "All remote firmware updates are completed successfully.";
constexpr const char* kRemoteUpdatedWait =
    "Remote firmware update is completed successfully. Please wait.";
constexpr const char* kCloneDone = "The remote firmware update is completed successfully.";
constexpr const char* kCloneDoneWait =
    "The remote firmware update is completed successfully. Please wait.";
constexpr const char* kAllClonesDone = "All firmware updates are completed successfully.";

constexpr const char* kProductQuery = "at+productname\r\n";
constexpr const char* kNodeNameQuery = "at+nodename\r\n";
constexpr int kProductTimeoutSeconds = 5;

std::string WrongBaudRate(int rate) {
  return "ERROR: Please change the baudrate to " + std::to_string(rate) + ".";
}
std::string DifferentModel(const std::string& address) {
  return "ERROR: Could not clone the firmware. The remote device(" + address +
         ") has different model type.";
}
std::string IncorrectImage(const std::string& address) {
  return "ERROR: The firmware file is incorrect for the remote device(" + address + ").";
}

// The closing of a sequence in which a device did not complete: the status line
// counts them, the box names each (address and node name) with its reason.
std::string FailedCount(std::size_t failed, int chosen) {
  return "Remote firmware update failed for " + std::to_string(failed) + " of " +
         std::to_string(chosen) + (chosen == 1 ? " device." : " devices.");
}
std::string FailureReport(const std::vector<RemoteSequence::Failure>& failures, int chosen) {
  std::string text = "ERROR: " + FailedCount(failures.size(), chosen);
  text.back() = ':';
  for (const auto& failure : failures) {
    text += "\r\n" + failure.address;
    if (!failure.nodeName.empty()) text += " (" + failure.nodeName + ")";
    text += ": ";
    text += failure.outcome ? OutcomeReason(*failure.outcome) : "it was not started";
    text += ".";
  }
  return text;
}
}  // namespace

RemoteUpdate::RemoteUpdate(Connection& connection, FirmwarePageView& view, Operator& op,
                           const Bootloader& bootloader)
    : FirmwareHost(connection, view, op, bootloader), pageView_(view) {}

RemoteUpdate::~RemoteUpdate() {
  sequence_.ClearMarks();
  cloneThread_.StopAndJoin();
  transferThread_.StopAndJoin();
}

void RemoteUpdate::Join() {
  transferThread_.Join();
  cloneThread_.Join();
}

// ---------------------------------------------------------------------------
// The remote "Update" button and the timer's looks.

std::optional<RemoteUpdate::LineUse> RemoteUpdate::TakeLine(std::stop_token stop) {
  // The sequence's own lease (a press between two devices, a look): it goes on
  // under this caller's stop.
  if (auto use = sequence_.UseLine(stop)) return use;
  auto line = connection_.TryLease("remote firmware update", stop);
  if (!line) return std::nullopt;
  sequence_.HoldLine(std::move(*line));
  return sequence_.UseLine(stop);
}

std::optional<int> RemoteUpdate::OnRemoteUpdate(const std::vector<RemoteRow>& rows,
                                                std::stop_token stop) {
  // A worker owns the line (the five buttons are off meanwhile).
  if (Busy()) return std::nullopt;
  // The remote bootloader path runs at the bootloader's rate; flow control is
  // not the path's concern.
  if (connection_.Settings().baudRate != bootloader_.BaudRate()) {
    op_.ShowMessage(WrongBaudRate(bootloader_.BaudRate()));
    return std::nullopt;
  }
  cancelled_ = false;
  std::vector<std::string> addresses;
  addresses.reserve(rows.size());
  for (const RemoteRow& row : rows) addresses.push_back(row.address);
  // A press ends whatever an earlier one left to start.
  sequence_.Reset(std::move(addresses));
  for (int i = 0; i < static_cast<int>(rows.size()); ++i)
    sequence_.SetNodeName(i, rows[i].nodeName);
  view_.SetProgress(0);

  std::optional<LineUse> use;
  const auto refuse = [this, &use](const std::string& message) -> std::optional<int> {
    if (!message.empty()) op_.ShowMessage(message);
    // No row of a refused press is started, also not by a look still due from
    // an earlier press.
    sequence_.ClearMarks();
    use.reset();
    sequence_.GiveLineBackIfDone();
    return std::nullopt;
  };
  if (connection_.Device().sleepy) return refuse(kSleepyLocal);
  if (rows.empty()) return refuse(kNoDevice);

  const bool clone = cloneChecked_;
  int count = 0;
  for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
    if (!rows[i].ticked) continue;
    ++count;
    sequence_.Mark(i);
    if (!use) use = TakeLine(stop);
    if (!use) return refuse("");
    if (!CheckRemoteDevice(**use, i, rows[i].address, clone)) return refuse("");
    if ((*use)->Stopped()) return refuse("");
  }
  if (count == 0) return refuse(kNoneSelected);

  sequence_.Arm();
  checked_ = Checked{clone, chosenPath_};
  for (int row : sequence_.ChosenRows()) Report(row, DeviceRunEvent::Waiting(), stop);
  return RemoteSequence::kFirstLookMs;
}

bool RemoteUpdate::CheckRemoteDevice(LineLease& line, int row, const std::string& address,
                                     bool clone) {
  if (!CheckRemoteProduct(line, address, clone)) return false;
  // A row without a node name (one typed rather than scanned) takes the one its
  // device reports, so that a failure report can name it.
  if (sequence_.NodeName(row).empty()) {
    const std::string name =
        line.Link().QueryRemoteAtCommand(kNodeNameQuery, kProductTimeoutSeconds, address);
    if (line.Stopped()) return false;
    if (name != "ERROR") sequence_.SetNodeName(row, name);
  }
  return true;
}

bool RemoteUpdate::CheckRemoteProduct(LineLease& line, const std::string& address, bool clone) {
  AtLink& link = line.Link();
  // An address that would break the remote command line (a comma, a line end,
  // nothing - a row made from an odd scan reply) is refused with the message that
  // says why, and nothing is sent to it.
  if (const auto check = CheckRemoteAddress(address); check != RemoteAddressCheck::kSendable) {
    op_.ShowMessage(RemoteAddressMessage(check));
    return false;
  }
  if (clone) {
    const std::string local = connection_.Device().productName;
    const std::string remote =
        link.QueryRemoteAtCommand(kProductQuery, kProductTimeoutSeconds, address);
    if (line.Stopped()) return false;
    // A product query that came back as a bare "OK" (an empty name) proves nothing.
    if (local.empty() || remote != local) {
      op_.ShowMessage(DifferentModel(address));
      return false;
    }
    return true;
  }
  if (!ReadImageModel(chosenPath_, imageModel_)) {
    op_.ShowMessage(kInvalidFile);
    return false;
  }
  const std::string remote =
      link.QueryRemoteAtCommand(kProductQuery, kProductTimeoutSeconds, address);
  if (line.Stopped()) return false;
  // An image without a model code fits no device, not even one whose product
  // query came back empty.
  if (imageModel_.empty() || remote != imageModel_) {
    op_.ShowMessage(IncorrectImage(address));
    return false;
  }
  return CheckImageIsBinary(chosenPath_, op_);
}

std::optional<int> RemoteUpdate::OnUpdateTimer(std::stop_token stop) {
  // The look prepares under a stop of its own: the look's (the window closing), the
  // operator's Cancel and a stop of the sequence all end it.
  std::stop_source prepare;
  const std::stop_callback follow(stop, [&prepare] { prepare.request_stop(); });
  {
    std::lock_guard lock(prepareMutex_);
    prepare_ = &prepare;
  }
  const auto next =
      sequence_.Tick([this] { return cloneChecked_.load(); }, [this] { return Busy(); },
                     [&](const RemoteSequence::Start& start) {
                       StartRemoteDevice(start, prepare.get_token(), stop);
                     },
                     prepare.get_token());
  {
    std::lock_guard lock(prepareMutex_);
    prepare_ = nullptr;
  }
  // Every chosen row has been started and the last start failed: nothing more
  // needs the line. (A worker that runs gives it back itself.)
  if (!next && !Busy()) sequence_.GiveLineBackIfDone();
  return next;
}

void RemoteUpdate::Report(int row, const DeviceRunEvent& event, std::stop_token stop) {
  if (!stop.stop_requested()) pageView_.DeviceRun(row, event);
}

std::string RemoteUpdate::ReadRemoteVersion(AtLink& link, const std::string& address, bool settle) {
  constexpr int kQuietMs = 1000, kSettleLimitMs = 10000;
  if (settle) link.WaitUntilQuiet(kQuietMs, kSettleLimitMs);
  std::string version = link.QueryRemoteAtCommand("at+version\r\n", 5, address);
  if (settle && version == "ERROR" && link.LastRefused() &&
      link.WaitUntilQuiet(kQuietMs, kSettleLimitMs))
    version = link.QueryRemoteAtCommand("at+version\r\n", 5, address);
  return version;
}

void RemoteUpdate::StartRemoteDevice(const RemoteSequence::Start& start, std::stop_token prepare,
                                     std::stop_token stop) {
  // The press checked every row for one kind and one image. A start of the other
  // kind (the clone box flipped) or of another image (a file chosen between two
  // devices) checks its device again, so that no remote gets firmware that was
  // never meant for its model.
  const bool sameAsChecked =
      start.clone == checked_.clone && (start.clone || chosenPath_ == checked_.path);
  std::optional<LineUse> use = TakeLine(prepare);
  if (!use) {
    sequence_.RecordOutcome(start.row, FirmwareOutcome::kNotStarted);
  } else if (!sameAsChecked && !CheckRemoteDevice(**use, start.row, start.address, start.clone)) {
    sequence_.RecordOutcome(start.row, FirmwareOutcome::kRefused);
  } else if ((*use)->Stopped()) {
    sequence_.RecordOutcome(start.row, FirmwareOutcome::kStopped);
  } else if (StartOnLine(use, start.clone, start.address, start.row)) {
    return;  // its worker closes the sequence when it is the last
  }
  use.reset();
  if (stop.stop_requested()) return;  // the window is closing
  const auto outcome = sequence_.Outcomes()[start.row].value_or(FirmwareOutcome::kNotStarted);
  if (outcome == FirmwareOutcome::kStopped) {
    // The operator cancelled while the device was being prepared.
    Report(start.row, DeviceRunEvent::Cancelled(outcome, bootloadSent_), stop);
    view_.SetStatus(kCancelledStatus);
    view_.EnableButtons(true);
    view_.Finished(outcome);
    return;
  }
  Report(start.row, DeviceRunEvent::Failed(outcome), stop);
  // The last chosen row failed to start: the sequence ends here.
  if (sequence_.AllStarted()) CloseSequence(start.clone);
}

void RemoteUpdate::CloseSequence(bool clone) {
  auto failures = sequence_.Failures();
  // The rows a Cancel kept from starting, or stopped, did not fail: the operator
  // ended them, and their rows say so.
  if (cancelled_) {
    std::erase_if(failures, [](const RemoteSequence::Failure& failure) {
      return !failure.outcome || *failure.outcome == FirmwareOutcome::kStopped;
    });
  }
  const int chosen = sequence_.SelectedCount();
  view_.EnableButtons(true);
  if (failures.empty()) {
    // A run cancelled while a device it could not stop (a clone) went on: that
    // device's row says how it ended, the run was cancelled.
    if (cancelled_)
      view_.SetStatus(kCancelledStatus);
    else if (!clone)
      view_.SetStatus(kAllRemoteUpdated);
    else
      view_.SetStatus(chosen == 1 ? kCloneDone : kAllClonesDone);
    return;
  }
  view_.SetStatus(FailedCount(failures.size(), chosen));
  op_.ShowMessage(FailureReport(failures, chosen));
}

void RemoteUpdate::RunRemoteUpdate(int firstLookMs, std::stop_token stop) {
  for (std::optional<int> delay = firstLookMs; delay;) {
    if (!Clock::Sleep(*delay, stop)) break;
    delay = OnUpdateTimer(stop);
  }
  if (stop.stop_requested()) {
    StopRemoteUpdate();
    return;
  }
  Join();
}

void RemoteUpdate::StopRemoteUpdate() {
  // No row is started any more; a look preparing a device ends its waits, and the
  // workers' stop ends every wait of theirs at once.
  sequence_.ClearMarks();
  {
    std::lock_guard lock(prepareMutex_);
    if (prepare_) prepare_->request_stop();
  }
  cloneThread_.StopAndJoin();
  transferThread_.StopAndJoin();
  sequence_.GiveLineBack();
}

bool RemoteUpdate::CancelUpdate() {
  cancelled_ = true;
  for (int row : sequence_.TakePending())
    pageView_.DeviceRun(row, DeviceRunEvent::Cancelled(std::nullopt, false));
  bool stopped = false;
  {
    std::lock_guard lock(prepareMutex_);
    if (prepare_) {
      prepare_->request_stop();
      stopped = true;
    }
  }
  return CancelTransfer() || stopped;
}

// ---------------------------------------------------------------------------
// A device's start.

bool RemoteUpdate::StartUpdate(LineLease line, bool clone, const std::string& address) {
  // A running worker owns the line: a second start must not put its line end and
  // its bootload command into that transfer or clone. It leaves the worker alone,
  // silently.
  if (Busy()) return false;
  const std::stop_token stop = line.StopToken();
  if (!sequence_.HoldsLine()) sequence_.HoldLine(std::move(line));
  std::optional<LineUse> use = sequence_.UseLine(stop);
  if (!use) return false;
  return StartOnLine(use, clone, address, sequence_.CurrentRow());
}

bool RemoteUpdate::StartOnLine(std::optional<LineUse>& use, bool clone, const std::string& address,
                               int row) {
  bootloadSent_ = false;
  pageView_.DeviceRun(row, DeviceRunEvent::Preparing(clone));
  bool started = false;
  {
    WaitCursor wait(op_);
    // A clone sends the local module's own firmware and needs no file.
    if (PrepareStart(**use, !clone)) started = StartRemoteBranch(**use, clone, address, row);
  }
  if (!started) {
    sequence_.RecordOutcome(
        row, (*use)->Stopped() ? FirmwareOutcome::kStopped : FirmwareOutcome::kNotStarted);
    use.reset();
    sequence_.GiveLineBackIfDone();
  }
  return started;
}

bool RemoteUpdate::StartRemoteBranch(LineLease& line, bool clone, const std::string& address,
                                     int row) {
  bool asked = false;
  const Bootloader::Entry entry = bootloader_.EnterRemote(
      line, address, clone ? Bootloader::RemoteKind::kClone : Bootloader::RemoteKind::kImage,
      asked);
  bootloadSent_ = asked;
  switch (entry) {
    case Bootloader::Entry::kNoAnswer:
      op_.ShowMessage(kRemoteNoResponse);
      view_.EnableButtons(true);
      view_.SetStatus(kRemoteFailed);
      return false;
    case Bootloader::Entry::kStopped:
      return false;
    case Bootloader::Entry::kReady:
      break;
  }
  if (clone) {
    // The module copies its firmware by itself; the monitor watches for its report.
    return cloneThread_.TryStart([this, row](std::stop_token stop) { CloneWorker(stop, row); });
  }
  return transferThread_.TryStart(
      [this, path = chosenPath_, row](std::stop_token stop) { UpdateWorker(stop, path, row); });
}

// ---------------------------------------------------------------------------
// The workers.

void RemoteUpdate::UpdateWorker(std::stop_token stop, std::string path, int row) {
  // The worker goes on with the sequence's line from here: its own stop ends every
  // wait. No use is given once the sequence has been stopped.
  std::optional<LineUse> use = sequence_.UseLine(stop);
  TransferResult result = TransferResult::kStopped;
  if (use && cancelled_) {
    // Cancelled between the start and now: the relay waits for blocks; the
    // bootloader ends the upload, as a stopped transfer does.
    SerialTransferChannel channel(**use);
    bootloader_.AbandonUpload(channel);
  } else if (use) {
    SerialTransferChannel channel(**use);
    TransferParams params;
    params.firstStatus = kPreparingWorker;
    // A remote bootloader's answers cross the radio hop through the local module.
    params.replyBudget = 20000;
    params.noStartRequestIsFailure = true;
    // Each block's progress goes to the device's row.
    result =
        RunTransfer(channel, path, params, stop,
                    [this, row, stop](const DeviceRunEvent& event) { Report(row, event, stop); });
  }
  FinishRemoteTransfer(use, result, row, stop);
}

bool RemoteUpdate::EndRemoteDevice(std::optional<LineUse>& use, int row, FirmwareOutcome outcome,
                                   std::stop_token stop) {
  sequence_.RecordOutcome(row, outcome);
  lastOutcome_ = static_cast<int>(outcome);
  // What the device runs now is asked while the line is still the sequence's. The
  // device restarts into its new firmware; the local module may still be passing
  // on the relay's last words.
  const std::string version =
      outcome == FirmwareOutcome::kCompleted && use && !stop.stop_requested()
          ? ReadRemoteVersion((*use)->Link(), sequence_.Address(row), true)
          : "";
  // Whether more rows wait is known before the line may go back. After a Cancel
  // none does: the rows not started yet have been cancelled.
  const bool allStarted = sequence_.AllStarted() || cancelled_;
  use.reset();
  sequence_.GiveLineBackIfDone();
  if (outcome == FirmwareOutcome::kCompleted)
    Report(row, DeviceRunEvent::Done(version), stop);
  else if (outcome == FirmwareOutcome::kStopped)
    Report(row, DeviceRunEvent::Cancelled(outcome, true), stop);
  else
    Report(row, DeviceRunEvent::Failed(outcome), stop);
  return allStarted;
}

void RemoteUpdate::FinishRemoteTransfer(std::optional<LineUse>& use, TransferResult result, int row,
                                        std::stop_token stop) {
  FirmwareOutcome outcome = FirmwareOutcome::kTransmitError;
  switch (result) {
    case TransferResult::kStopped:
      outcome = FirmwareOutcome::kStopped;
      break;
    case TransferResult::kSuccess:
      outcome = FirmwareOutcome::kCompleted;
      break;
    case TransferResult::kFailure:
    case TransferResult::kNoCompletion:
      outcome = FirmwareOutcome::kTransmitError;
      break;
    case TransferResult::kRefused:
      outcome = FirmwareOutcome::kImageRefused;
      break;
    case TransferResult::kNoStartRequest:
      outcome = FirmwareOutcome::kNoStartRequest;
      break;
    case TransferResult::kFileNotOpened:
      outcome = FirmwareOutcome::kFileNotOpened;
      break;
    case TransferResult::kLineLost:
      outcome = FirmwareOutcome::kLineLost;
      break;
  }
  const bool allStarted = EndRemoteDevice(use, row, outcome, stop);
  if (stop.stop_requested()) return;

  // The engine has set the status of every failure ("Transmit error.", or
  // "Firmware update error." with its box); no "2" follows a remote transfer: the
  // remote module runs its new firmware by itself.
  switch (outcome) {
    case FirmwareOutcome::kCompleted:
      // The next look starts the next device; the buttons stay off until then.
      // The last device's end closes the sequence below.
      if (!allStarted) view_.SetStatus(kRemoteUpdatedWait);
      break;
    case FirmwareOutcome::kFileNotOpened:
      if (!allStarted) view_.EnableButtons(true);
      break;
    case FirmwareOutcome::kStopped:
      // Cancelled by the operator (the window closing has returned above).
      view_.SetStatus(kCancelledStatus);
      view_.EnableButtons(true);
      pageView_.SetRowProgress(row, 0);
      break;
    default:
      // The buttons come back for the next look (the closing gives them back after the last).
      if (!allStarted) view_.EnableButtons(true);
      pageView_.SetRowProgress(row, 0);
      break;
  }
  view_.Finished(outcome);
  if (allStarted && outcome != FirmwareOutcome::kStopped) CloseSequence(false);
}

void RemoteUpdate::CloneWorker(std::stop_token stop, int row) {
  std::optional<LineUse> use = sequence_.UseLine(stop);
  CloneMonitor::Result result = CloneMonitor::Result::kStopped;
  if (use) {
    // Each pass goes to the device's row as the seconds waited.
    CloneMonitor::Sinks sinks;
    sinks.progress = [this, row, stop](int pass) {
      Report(row, DeviceRunEvent::Cloning(pass), stop);
    };
    CloneMonitor monitor((*use)->Ring(), (*use)->Reply(), std::move(sinks));
    result = monitor.Run(stop);
  }

  FirmwareOutcome outcome = FirmwareOutcome::kCloneTimedOut;
  switch (result) {
    case CloneMonitor::Result::kComplete:
      outcome = FirmwareOutcome::kCompleted;
      break;
    case CloneMonitor::Result::kError:
      outcome = FirmwareOutcome::kCloneError;
      break;
    case CloneMonitor::Result::kTimedOut:
      outcome = FirmwareOutcome::kCloneTimedOut;
      break;
    case CloneMonitor::Result::kLineLost:
      outcome = FirmwareOutcome::kLineLost;
      break;
    case CloneMonitor::Result::kStopped:
      outcome = FirmwareOutcome::kStopped;
      break;
  }
  const bool allStarted = EndRemoteDevice(use, row, outcome, stop);
  if (stop.stop_requested()) return;

  if (outcome == FirmwareOutcome::kCompleted) {
    if (!allStarted) view_.SetStatus(kCloneDoneWait);
    pageView_.SetRowProgress(row, 100);
  } else {
    view_.SetStatus(kRemoteFailed);
    if (!allStarted) view_.EnableButtons(true);
    pageView_.SetRowProgress(row, 0);
  }
  view_.Finished(outcome);
  // The last device's end closes the sequence.
  if (allStarted && outcome != FirmwareOutcome::kStopped) CloseSequence(true);
}

}  // namespace zendra
