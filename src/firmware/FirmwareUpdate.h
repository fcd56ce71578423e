#pragma once
// The update work of the Firmware Update page (FirmwarePage): the local update
// today, the remote image update and the clone later, all started through
// StartUpdate and run by UpdateWorker.
//
// StartUpdate runs on the caller's thread (the page's module task, off the
// window's thread) for about seven seconds: it disables the page's five buttons,
// asks the running firmware to enter its bootloader with "AT+BOOTLOAD\n", chooses
// "1" in the bootloader's menu and starts UpdateWorker. The worker sends the image
// with the transfer engine, chooses "2" to run the new firmware, waits for it to
// answer, reads the device information again and has the page show it and load
// the definitions of the new version.
//
// The update owns the line from the start of StartUpdate to the worker's end: it
// takes the caller's lease and gives it back as the worker's last act before it
// tells the window it is done (or at once, when the start fails).
//
// The worker never outlives this object: the destructor (the page closing)
// requests a stop and joins; the worker cancels a running transfer with CAN and
// makes no further call to the view.

#include <atomic>
#include <optional>
#include <string>

#include "firmware/FirmwareHost.h"
#include "firmware/FirmwarePageView.h"

namespace zendra {

class FirmwareUpdate : public FirmwareHost {
 public:
  // How long the new firmware has, after "2", to say "OK".
  static constexpr int kRestartWaitMs = 10000;

  // `op` takes the messages and the file dialog, also those of the worker (a
  // window gives its OperatorRelay).
  FirmwareUpdate(Connection& connection, FirmwarePageView& view, Operator& op);
  ~FirmwareUpdate();

  // "Choose file in local PC" is FirmwareHost::OnChooseFile; the file location
  // shows the path.

  // The checks of the local "Update" button, on the window's thread: the
  // line, the image, the model. false after the message of the failing one.
  bool CheckLocal();
  // The rest of the button, on a task with the line: progress 0, localMode 1,
  // StartUpdate(true, false, ""). true when UpdateWorker was started.
  bool OnLocalUpdate(LineLease line);

  // Prepares one device and starts its worker, which takes over `line`. `local`:
  // the module on the line; otherwise the remote module at `address`, by image or
  // (`clone`) by cloning the local module's firmware. true when a worker was
  // started; false when the start ended on this thread (its message has been
  // shown, the buttons restored, the line given back).
  bool StartUpdate(LineLease line, bool local, bool clone, const std::string& address);

  // The model code of the image last examined (the checks rewrite it).
  const std::string& ImageModel() const { return imageModel_; }

  // 1 for a local update, 0 for a remote one (the worker reads it at its start).
  std::atomic<int> localMode{1};

 private:
  bool StartLocalBranch();
  bool StartRemoteBranch(bool clone, const std::string& address);
  void UpdateWorker(std::stop_token stop, std::string path, bool local);
  void FinishLocal(std::stop_token stop);
  // The worker's ending: the line goes back before the window hears of the end.
  void End(FirmwareOutcome outcome, std::stop_token stop);

  FirmwarePageView& pageView_;  // the page's own calls beyond the transfer's
  std::string imageModel_;
  // The line while the update owns it: from StartUpdate to the worker's end.
  std::optional<LineLease> line_;
};

}  // namespace zendra
