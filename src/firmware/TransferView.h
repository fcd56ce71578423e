#pragma once
// What a window shows of a firmware reload or update: the status line, the
// progress bar and the line under it, its buttons, and the "done" notification.
// The steps of a run come as status texts, its progress as typed events: no view
// reads the progress out of a text. FirmwareUploadDialog
// implements it for the reload, FirmwarePage (through FirmwarePageView) for the
// updates, the command line program for its terminal.
//
// The calls come from the host's worker thread as well as from the thread that
// called OnUpload / StartUpdate. A window marshals them onto its own thread
// (queued, never blocking: its thread may be joining the worker at that moment).
// After the host has been asked to stop (its destructor), no call is made any more.

#include <cstdint>
#include <string>

#include "firmware/DeviceRunEvent.h"
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

  // The image's progress after every acknowledged block, as a typed event (kind
  // kSending: percent, bytes of the total, the rate and the time left once known).
  // A view draws its bar and its line under the bar from it; one that only takes
  // texts is given the status line's percentage ("37.50% Completed!") and the bar's
  // value, which is what this default does.
  virtual void Progress(const DeviceRunEvent& event);
  // The worker has ended (its status, message box and buttons are done).
  virtual void Finished(FirmwareOutcome /*outcome*/) {}
};

}  // namespace zendra
