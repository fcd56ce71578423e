#pragma once
// The firmware reload of a module whose firmware is damaged: the core of the
// "Firmware Upload" dialog (FirmwareUploadDialog), which the connect handshake
// opens when the module sits in its bootloader menu and the operator agrees to
// reload.
//
// OnUpload runs on the caller's thread (the dialog's, with the wait cursor): it
// wakes the bootloader's menu with "\n", waits for its "BL" prompt, chooses "1"
// (receive an image) and starts ReloadWorker, which sends the image with the
// transfer engine and, on success, chooses "2" to run the new firmware. The port
// runs at 115200 baud meanwhile (the handshake's probe set it); the handshake
// reopens it with the operator's settings when the dialog has closed.
//
// The worker never outlives this object: the destructor (the dialog closing)
// requests a stop and joins it; the worker then cancels the transfer with CAN
// and makes no further call to the view.

#include <atomic>
#include <optional>
#include <string>

#include "app/Connection.h"
#include "firmware/CrcTable.h"
#include "firmware/FirmwareOutcome.h"
#include "firmware/TransferView.h"
#include "firmware/WorkerSlot.h"

namespace zendra {

class FirmwareReload {
 public:
  static constexpr const char* kFileFilter = "ebl Files(*.ebl)|*.ebl|All Files(*.*)|*.*|";

  FirmwareReload(Connection& connection, TransferView& view);
  // `op` takes the messages and the file dialog instead of the connection's
  // operator, also those of the worker (a window gives its OperatorRelay).
  FirmwareReload(Connection& connection, TransferView& view, Operator& op);
  ~FirmwareReload();
  FirmwareReload(const FirmwareReload&) = delete;
  FirmwareReload& operator=(const FirmwareReload&) = delete;

  // "Choose File" (1047): an open-file dialog; a confirmed file becomes the chosen
  // path, a cancel keeps the previous one. Returns the chosen path.
  const std::string& OnChooseFile();
  // The path the next upload sends (edit 1048 shows it; typed text is never read back).
  void SetChosenPath(std::string path) { chosenPath_ = std::move(path); }
  const std::string& ChosenPath() const { return chosenPath_; }

  // "Upload" (1046). true when ReloadWorker was started; false when the upload
  // ended on this thread (its message has been shown and the buttons restored).
  bool OnUpload();

  // true while ReloadWorker runs (the dialog's `transferThread`).
  bool Busy() const { return transferThread_.Running(); }
  // Waits until a running worker has ended by itself.
  void Join() { transferThread_.Join(); }
  // How the last worker ended; empty before the first one ended.
  std::optional<FirmwareOutcome> LastOutcome() const;

 private:
  void ReloadWorker(std::stop_token stop, std::string path);
  void Finish(FirmwareOutcome outcome, std::stop_token stop);

  Connection& connection_;
  TransferView& view_;
  Operator& op_;
  std::string chosenPath_;
  CrcTable crcTable_;
  std::atomic<int> lastOutcome_{-1};
  WorkerSlot transferThread_;  // last member: the worker ends before the rest goes
};

}  // namespace zendra
