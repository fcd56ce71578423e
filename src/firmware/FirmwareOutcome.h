#pragma once
// How a firmware worker (reload or update) ended, as its host's "done"
// notification tells the window. The status line and any message box have been
// set by then; the outcome is for what the window does next (a dialog may close
// itself on success, the command line program picks its exit status). A remote
// update records one outcome per device.

namespace zendra {

enum class FirmwareOutcome {
  kCompleted,       // image sent, completion seen; after a local update the module answered again
  kTransmitError,   // a block or EOT not answered, a block refused ten times, no completion text
  kNoStartRequest,  // the bootloader never asked for the image ('C')
  kFileNotOpened,   // the image could not be opened; nothing was sent
  kNoRestart,       // image sent, but the new firmware did not answer after the restart
  kImageRefused,    // image sent, but the bootloader checked it and refused it (a local
                    // module is left without a working firmware)
  kLineLost,        // the port went away during the transfer
  // A remote device of the remote update:
  kNotStarted,      // its bootloader path did not open ("AT+BOOTLOAD=1/2,..." gave no "Start"),
                    // or it was given no image to send
  kRefused,         // its model did not fit what was to be sent once its turn came
  kCloneError,      // the local module reported ERROR while cloning
  kCloneTimedOut,   // the clone reported neither completion nor ERROR in 180 passes
  kStopped,         // the update was stopped (the window closed) before the device finished
};

const char* OutcomeName(FirmwareOutcome outcome);
// Why a device's update did not complete, as a report to the operator says it
// ("the remote device did not respond"); "completed" for kCompleted.
const char* OutcomeReason(FirmwareOutcome outcome);

}  // namespace zendra
