#include "firmware/DeviceRunEvent.h"

#include <algorithm>

#include "firmware/CloneMonitor.h"
#include "firmware/ImageTransfer.h"
#include "firmware/TransferRate.h"

namespace zendra {

namespace {
constexpr const char* kDash = " \u2014 ";
constexpr const char* kNeedsFirmware = "needs its firmware again";
constexpr const char* kNotStarted = "not started";

// Why a device failed, in the few words a list cell has room for.
const char* ShortReason(FirmwareOutcome outcome) {
  switch (outcome) {
    case FirmwareOutcome::kCompleted:
      return "completed";
    case FirmwareOutcome::kTransmitError:
      return "transfer failed";
    case FirmwareOutcome::kNoStartRequest:
      return "no start request";
    case FirmwareOutcome::kFileNotOpened:
      return "file not opened";
    case FirmwareOutcome::kNoRestart:
      return "no restart";
    case FirmwareOutcome::kImageRefused:
      return "image refused";
    case FirmwareOutcome::kLineLost:
      return "port lost";
    case FirmwareOutcome::kNotStarted:
      return "no response";
    case FirmwareOutcome::kRefused:
      return "wrong model";
    case FirmwareOutcome::kCloneError:
      return "clone error";
    case FirmwareOutcome::kCloneTimedOut:
      return "clone timed out";
    case FirmwareOutcome::kStopped:
      return "stopped";
  }
  return "unknown";
}

std::string Text(const DeviceRunEvent& event, bool whole) {
  using Kind = DeviceRunEvent::Kind;
  switch (event.kind) {
    case Kind::kWaiting:
      return "waiting";
    case Kind::kPreparing:
      return "preparing";
    case Kind::kSending:
      if (event.clone) return "cloning " + std::to_string(event.percent) + " s";
      return "sending " + std::to_string(event.percent) + " %";
    case Kind::kDone:
      if (event.newVersion.empty() || event.newVersion == "ERROR")
        return std::string("done") + kDash + (whole ? "its version could not be read" : "version?");
      return std::string("done") + kDash + event.newVersion;
    case Kind::kFailed:
      return std::string("failed") + kDash +
             (whole || !event.outcome ? event.reason : ShortReason(*event.outcome));
    case Kind::kCancelled:
      if (event.reason == kNeedsFirmware && !whole)
        return std::string("cancelled") + kDash + "needs firmware";
      return std::string("cancelled") + kDash + event.reason;
  }
  return {};
}
}  // namespace

DeviceRunEvent DeviceRunEvent::Preparing(bool clone) {
  DeviceRunEvent event;
  event.kind = Kind::kPreparing;
  event.clone = clone;
  return event;
}

DeviceRunEvent DeviceRunEvent::Sending(int percent, std::int64_t bytes, std::int64_t total,
                                       std::optional<double> bytesPerSecond,
                                       std::optional<double> secondsLeft) {
  DeviceRunEvent event;
  event.kind = Kind::kSending;
  event.percent = std::clamp(percent, 0, 100);
  event.bytes = bytes;
  event.total = total;
  event.bytesPerSecond = bytesPerSecond;
  event.secondsLeft = secondsLeft;
  return event;
}

DeviceRunEvent DeviceRunEvent::Cloning(int seconds) {
  DeviceRunEvent event;
  event.kind = Kind::kSending;
  event.clone = true;
  event.percent = std::max(seconds, 0);
  return event;
}

DeviceRunEvent DeviceRunEvent::Done(std::string newVersion) {
  DeviceRunEvent event;
  event.kind = Kind::kDone;
  event.outcome = FirmwareOutcome::kCompleted;
  event.newVersion = std::move(newVersion);
  return event;
}

DeviceRunEvent DeviceRunEvent::Failed(FirmwareOutcome outcome) {
  DeviceRunEvent event;
  event.kind = Kind::kFailed;
  event.outcome = outcome;
  event.reason = OutcomeReason(outcome);
  return event;
}

DeviceRunEvent DeviceRunEvent::Cancelled(std::optional<FirmwareOutcome> outcome, bool sent) {
  DeviceRunEvent event;
  event.kind = Kind::kCancelled;
  event.outcome = outcome;
  event.reason = sent ? kNeedsFirmware : kNotStarted;
  return event;
}

std::string DeviceRunText(const DeviceRunEvent& event) { return Text(event, false); }

std::string DeviceRunDetail(const DeviceRunEvent& event) { return Text(event, true); }

std::string SendingStatus(const DeviceRunEvent& event) {
  if (event.clone) return CloneMonitor::AnimationText(event.percent);
  if (event.total <= 0) return {};
  return ImageTransfer::PercentText(event.total - event.bytes, event.total);
}

std::string SendingBytes(const DeviceRunEvent& event) {
  if (event.clone) return {};
  return TransferRate::Text(event.bytes, event.total, event.bytesPerSecond, event.secondsLeft);
}

}  // namespace zendra
