#pragma once
// What the two hosts of a transfer worker have in common — the reload dialog
// (FirmwareReload) and the Firmware Update page (FirmwareUpdate): the chosen image,
// the bootloader they are given (whose protocol enters it and sends the image),
// the worker slot (their `transferThread`) and how the last worker ended.
//
// A derived host's destructor stops and joins the worker before anything else
// goes, so the worker never sees a half-destroyed host.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>

#include "base/WorkerSlot.h"
#include "device/Connection.h"
#include "firmware/Bootloader.h"
#include "firmware/DeviceRunEvent.h"
#include "firmware/FirmwareOutcome.h"
#include "firmware/ImageTransfer.h"
#include "firmware/SerialTransferChannel.h"
#include "firmware/TransferRate.h"
#include "firmware/TransferView.h"

namespace zendra {

class FirmwareHost {
 public:
  static constexpr const char* kFileFilter = "ebl Files(*.ebl)|*.ebl|All Files(*.*)|*.*|";

  FirmwareHost(const FirmwareHost&) = delete;
  FirmwareHost& operator=(const FirmwareHost&) = delete;

  // The file button: an open-file dialog; a confirmed file becomes the chosen path,
  // a cancel keeps the previous one. Returns the chosen path.
  const std::string& OnChooseFile();
  // The path the next transfer sends (the window's edit shows it; text typed there
  // is never read back).
  void SetChosenPath(std::string path) { chosenPath_ = std::move(path); }
  const std::string& ChosenPath() const { return chosenPath_; }

  // true while the worker runs.
  bool Busy() const { return transferThread_.Running(); }
  // Waits until a running worker has ended by itself.
  void Join() { transferThread_.Join(); }
  // How the last worker ended; empty before the first one ended.
  std::optional<FirmwareOutcome> LastOutcome() const;

  // Cancel (the window's button, once the operator has agreed): the image under way
  // is stopped - the bootloader gets CAN CAN CAN and shows its menu again - and the
  // worker reports the end as its last act: the status "Update cancelled.", the
  // buttons back, Finished(kStopped). Returns at once: the window's thread never
  // waits for the worker. false when no image is going out (before the start
  // request, or once the transfer has ended, there is nothing to cancel).
  bool CancelTransfer();
  static constexpr const char* kCancelledStatus = "Update cancelled.";
  // The box of a failed update, and what it adds when the bootloader refused the image.
  static constexpr const char* kFailedMessage = "ERROR: Failed to update firmware.";
  static constexpr const char* kImageRefusedDetail =
      "The module's bootloader checked the image it received and refused it: it is no "
      "firmware the module can run. The module now waits in its bootloader without a working "
      "firmware and needs a reload with a valid firmware image.";

  // Fast flashing: the transfers started from now on leave out the engine's 1 ms
  // pause after each acknowledged block (TransferParams::pauseAfterBlock).
  void SetFastTransfer(bool fast) { fastTransfer_ = fast; }
  bool FastTransfer() const { return fastTransfer_.load(); }

 protected:
  // `op` takes the messages and the file dialog, also those of the worker (a
  // window gives its OperatorRelay); `bootloader` (which outlives the host) is the
  // module's.
  FirmwareHost(Connection& connection, TransferView& view, Operator& op,
               const Bootloader& bootloader)
      : connection_(connection), view_(view), op_(op), bootloader_(bootloader) {}
  ~FirmwareHost() = default;

  // Sends the image with the bootloader's protocol on the worker thread, to this
  // host's view. After every acknowledged block the image's progress becomes one
  // typed event (percent, bytes, the rate and the time left, stamped as the block's
  // answer came): the view's Progress takes it, or `sending` when given (a remote
  // update tells it to the device's row instead).
  TransferResult RunTransfer(TransferChannel& channel, const std::string& path,
                             const TransferParams& params, std::stop_token stop,
                             std::function<void(const DeviceRunEvent&)> sending = {});
  // The common start of an update on `line`, under the caller's wait cursor: an
  // image to send (`image`) must have been chosen, else the message and status say
  // so and the result is false. Then the buttons go off, the status says
  // "Preparing for firmware update...", the running firmware's line is ended
  // (for an image) and the module is given its two seconds.
  bool PrepareStart(LineLease& line, bool image);
  // Records the outcome; unless the host is going away, gives the buttons back and
  // tells the window the worker has ended.
  void Finish(FirmwareOutcome outcome, std::stop_token stop);
  // A transfer that ended as kStopped while the worker itself was not asked to
  // stop was cancelled by the operator: its status, and Finish(kStopped).
  void FinishCancelled(std::stop_token stop);
  // The local module's bootloader refused the image it received (the engine has
  // set the status): the box says the update failed and that the module, its
  // application erased for the image, needs a reload; then Finish(kImageRefused).
  void FinishImageRefused(std::stop_token stop);

  // Texts both updates show.
  static constexpr const char* kInvalidFile = "ERROR: The firmware file is invalid.";
  static constexpr const char* kInvalidFileStatus = "Invalid firmware file.";
  static constexpr const char* kPreparing = "Preparing for firmware update...";
  static constexpr const char* kPreparingWorker = "Preparing for firmware update......";
  static constexpr const char* kNoResponse = "ERROR: The device does not respond.";

  Connection& connection_;
  TransferView& view_;
  Operator& op_;
  const Bootloader& bootloader_;
  std::string chosenPath_;
  std::atomic<int> lastOutcome_{-1};
  std::atomic<bool> fastTransfer_{false};
  std::mutex cancelMutex_;
  std::stop_source* cancel_ = nullptr;  // the running transfer's own stop, while it runs
  TransferRate rate_;                   // the running transfer's, on its worker only
  WorkerSlot transferThread_;
};

}  // namespace zendra
