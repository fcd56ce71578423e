#include "firmware/FirmwareOutcome.h"

namespace zendra {

const char* OutcomeName(FirmwareOutcome outcome) {
  switch (outcome) {
    case FirmwareOutcome::kCompleted: return "completed";
    case FirmwareOutcome::kTransmitError: return "transmit-error";
    case FirmwareOutcome::kNoStartRequest: return "no-start-request";
    case FirmwareOutcome::kFileNotOpened: return "file-not-opened";
    case FirmwareOutcome::kNoRestart: return "no-restart";
    case FirmwareOutcome::kImageRefused: return "image-refused";
    case FirmwareOutcome::kLineLost: return "line-lost";
    case FirmwareOutcome::kNotStarted: return "not-started";
    case FirmwareOutcome::kRefused: return "refused";
    case FirmwareOutcome::kCloneError: return "clone-error";
    case FirmwareOutcome::kCloneTimedOut: return "clone-timed-out";
    case FirmwareOutcome::kStopped: return "stopped";
  }
  return "unknown";
}

}  // namespace zendra
