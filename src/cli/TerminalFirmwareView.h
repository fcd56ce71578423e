#pragma once
// The window of a firmware host (the local update, the remote sequence, the
// reload), on a terminal. The steps' status texts go out as lines on stderr; the
// progress is drawn from the typed events alone, never from a text: on a terminal
// a bar redrawn in place with the percentage, the bytes sent of the total, the
// rate and the time left; otherwise (a log, a pipe, --no-progress aside) the same
// as a plain line at every tenth and once at the end. A remote update names the
// device in front of each line, and a clone's progress is the seconds it has
// waited.
//
// The hosts call it from their worker threads as well as from the command's own
// thread; every call takes the view's lock.

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "cli/TerminalOperator.h"
#include "firmware/FirmwarePageView.h"

namespace zendra::cli {

class TerminalFirmwareView : public FirmwarePageView {
 public:
  explicit TerminalFirmwareView(bool quiet) : line_(quiet) {}

  // A remote update: the devices by row, and which row is being updated (the
  // device a status line is about).
  void SetDevices(std::vector<std::string> addresses, std::function<int()> currentRow);

  void SetStatus(const std::string& text) override;
  // The bar follows the progress events; the hosts' resets to 0 draw nothing.
  void SetProgress(int) override {}
  void EnableButtons(bool) override {}
  void Progress(const DeviceRunEvent& event) override;
  void DeviceRun(int row, const DeviceRunEvent& event) override;
  void Finished(FirmwareOutcome outcome) override;
  void ShowDeviceTexts(const DeviceInfo& device) override;
  void ReloadDefinitions(const std::string& fileName) override;

  std::optional<FirmwareOutcome> Outcome();
  std::string Definitions();
  // Ends the open bar's line, if one is open.
  void EndBar();

 private:
  // "ADDRESS: " for a remote device's row; empty otherwise.
  std::string RowPrefix(int row) const;
  // "[#########.....]  31%  81,920 of 262,144 bytes · 11.0 kB/s · 0:17 left"
  void Draw(const std::string& prefix, const DeviceRunEvent& event);
  // A clone reports the seconds it has waited, one a second, up to 180.
  void DrawClone(const std::string& prefix, int seconds);

  std::mutex mutex_;
  TerminalProgressLine line_;
  // The last tenth drawn as a line of its own (10: the end); -1 before a transfer.
  int lastTenth_ = -1;
  std::optional<FirmwareOutcome> outcome_;
  DeviceInfo device_;
  std::string definitions_;
  std::vector<std::string> addresses_;
  std::function<int()> currentRow_;
};

}  // namespace zendra::cli
