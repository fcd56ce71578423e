#pragma once
// The firmware reload of a module whose firmware is damaged: the core of the
// "Firmware Upload" dialog (FirmwareUploadDialog), which the connect handshake
// opens when the module sits in its bootloader menu and the operator agrees to
// reload.
//
// OnUpload runs on the caller's thread (the dialog's task, off the window's
// thread): it has the bootloader, which waits in its menu, get ready for an image
// (Bootloader::EnterFromMenu; the modules' bootloader wakes its menu with "\n",
// waits for its "BL" prompt and chooses "1") and starts ReloadWorker, which sends
// the image and, on success, starts the new firmware ("2").
// The port runs at the bootloader's rate meanwhile (the handshake's probe set it);
// the handshake reopens it with the operator's settings when the dialog has closed.
// All of it uses the handshake's lease of the line, which waits for the dialog.
//
// The worker never outlives this object: the destructor (the dialog closing)
// requests a stop and joins it; the worker then cancels the transfer with CAN
// and makes no further call to the view.

#include <string>

#include "firmware/FirmwareHost.h"
#include "firmware/MenuBootloader.h"

namespace zendra {

class FirmwareReload : public FirmwareHost {
 public:
  // `line` is the handshake's lease, held until the reload is over; `op` takes the
  // messages and the file dialog, also those of the worker (a window gives its
  // OperatorRelay); `bootloader` is the module's.
  FirmwareReload(Connection& connection, LineLease& line, TransferView& view, Operator& op,
                 const Bootloader& bootloader = MenuBootloader::Standard());
  ~FirmwareReload();

  // "Choose File" is FirmwareHost::OnChooseFile; the dialog's path edit shows the path.

  // "Upload". true when ReloadWorker was started; false when the upload
  // ended on this thread (its message has been shown and the buttons restored).
  bool OnUpload();

  // Whether the file at `path` may be sent to a damaged module's bootloader: a
  // readable image with a model code near its start that is not text. false after
  // the message ("ERROR: The firmware file is invalid." or the text file's).
  // Upload checks it first; the command line checks it before it connects.
  static bool CheckImage(const std::string& path, Operator& op);

 private:
  void ReloadWorker(std::stop_token stop, std::string path);

  LineLease& line_;
};

}  // namespace zendra
