#pragma once
// What a window shows of a firmware reload or update: the status line, the
// progress bar, its buttons, and the "done" notification. FirmwareUploadDialog
// implements it for the reload, FirmwarePage (through FirmwarePageView) for the
// updates, the command line program for its terminal.
//
// The calls come from the host's worker thread as well as from the thread that
// called OnUpload / StartUpdate. A window marshals them onto its own thread
// (queued, never blocking: its thread may be joining the worker at that moment).
// After the host has been asked to stop (its destructor), no call is made any more.

#include <cstdint>
#include <string>

#include "firmware/FirmwareOutcome.h"

namespace zendra {

class TransferView {
 public:
  virtual ~TransferView() = default;

  // The status line of the dialog or the page.
  virtual void SetStatus(const std::string& text) = 0;
  // The progress bar, 0 to 100.
  virtual void SetProgress(int percent) = 0;
  // The dialog's "Upload" and "Choose File"; the page's five buttons ("Choose file
  // in local PC", "Download from web server", the local "Update", "Search", the
  // remote "Update").
  virtual void EnableButtons(bool enable) = 0;

  // Image bytes acknowledged so far, after every block (for a rate display).
  virtual void TransferredBytes(std::int64_t /*sent*/, std::int64_t /*total*/) {}
  // The worker has ended (its status, message box and buttons are done).
  virtual void Finished(FirmwareOutcome /*outcome*/) {}
};

}  // namespace zendra
