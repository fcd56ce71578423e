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

const char* OutcomeReason(FirmwareOutcome outcome) {
  switch (outcome) {
    case FirmwareOutcome::kCompleted: return "completed";
    case FirmwareOutcome::kTransmitError: return "the image transfer failed";
    case FirmwareOutcome::kNoStartRequest: return "its bootloader never asked for the image";
    case FirmwareOutcome::kFileNotOpened: return "the firmware file could not be opened";
    case FirmwareOutcome::kNoRestart: return "the new firmware did not answer after the restart";
    case FirmwareOutcome::kImageRefused: return "its bootloader refused the image";
    case FirmwareOutcome::kLineLost: return "the serial port was lost";
    case FirmwareOutcome::kNotStarted: return "the remote device did not respond";
    case FirmwareOutcome::kRefused: return "its model does not fit the firmware to be sent";
    case FirmwareOutcome::kCloneError: return "the local module reported an error while cloning";
    case FirmwareOutcome::kCloneTimedOut: return "the clone reported no outcome in time";
    case FirmwareOutcome::kStopped: return "the update was stopped";
  }
  return "unknown";
}

}  // namespace zendra
