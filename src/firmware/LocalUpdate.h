#pragma once
// The update of the local module, the module on the line (the local "Update" of
// the Firmware Update page, `zendra-cli update`, a production station's update).
//
// CheckLocal runs the button's checks (the line, the image, the model). Start runs
// on the caller's thread (the page's module task, off the window's thread) for
// about seven seconds: it disables the page's five buttons, has the running
// firmware enter its bootloader (Bootloader::EnterLocal: "AT+BOOTLOAD\n" and the
// menu's "1" for the modules' bootloader) and starts the worker. The worker sends
// the image through the bootloader (each block's progress a typed event for the
// view), starts the new firmware ("2"), waits for it to answer, reads the device information
// again and has the view show it and load the definitions of the new version.
//
// The line. The update takes the caller's lease and hands it to its worker, which
// gives it back as its last act, before the view hears of the end. The lease is
// written by the starting thread until the worker starts and by the worker after
// that, never by both.
//
// The worker never outlives this object: the destructor requests a stop and joins
// it; a stopped transfer cancels with CAN and no stopped worker calls the view again.

#include <optional>
#include <stop_token>
#include <string>

#include "firmware/FirmwareHost.h"
#include "firmware/FirmwarePageView.h"
#include "firmware/MenuBootloader.h"

namespace zendra {

class LocalUpdate : public FirmwareHost {
 public:
  // How long the new firmware has, once started, to say "OK".
  static constexpr int kRestartWaitMs = 10000;

  // `op` takes the messages and the file dialog, also those of the worker;
  // `bootloader` is the module's.
  LocalUpdate(Connection& connection, FirmwarePageView& view, Operator& op,
              const Bootloader& bootloader = MenuBootloader::Standard());
  ~LocalUpdate();

  // The checks of the local "Update" button, on the window's thread: the line,
  // the image, the model. false after the message of the failing one.
  bool CheckLocal();
  // The rest of the button, on a task with the line: progress 0, then Start.
  bool OnLocalUpdate(LineLease line);
  // Prepares the module on `line` and starts the worker, which takes the line
  // over. true when the worker was started; false when the start ended on this
  // thread (its message has been shown, the buttons restored, the line given
  // back) or a worker still runs.
  bool Start(LineLease line);

  // The model code of the image last checked.
  const std::string& ImageModel() const { return imageModel_; }

 private:
  bool EnterBootloader();
  void UpdateWorker(std::stop_token stop, std::string path);
  void FinishLocal(std::stop_token stop);
  // The worker's ending: the line goes back before the window hears of the end.
  void End(FirmwareOutcome outcome, std::stop_token stop);

  FirmwarePageView& pageView_;  // the page's own calls beyond the transfer's
  std::string imageModel_;
  std::optional<LineLease> line_;
};

}  // namespace zendra
