#include "firmware/DeviceRunEvent.h"

#include <algorithm>

namespace zendra {

namespace {
constexpr const char* kDash = " \u2014 ";
}  // namespace

DeviceRunEvent DeviceRunEvent::Preparing(bool clone) {
  DeviceRunEvent event;
  event.kind = Kind::kPreparing;
  event.clone = clone;
  return event;
}

DeviceRunEvent DeviceRunEvent::Sending(int percent, std::int64_t bytes, std::int64_t total) {
  DeviceRunEvent event;
  event.kind = Kind::kSending;
  event.percent = std::clamp(percent, 0, 100);
  event.bytes = bytes;
  event.total = total;
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
  event.reason = sent ? "needs its firmware again" : "not started";
  return event;
}

std::string DeviceRunText(const DeviceRunEvent& event) {
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
      return event.newVersion.empty() || event.newVersion == "ERROR"
                 ? std::string("done") + kDash + "its version could not be read"
                 : std::string("done") + kDash + event.newVersion;
    case Kind::kFailed:
      return std::string("failed") + kDash + event.reason;
    case Kind::kCancelled:
      return std::string("cancelled") + kDash + event.reason;
  }
  return {};
}

}  // namespace zendra
