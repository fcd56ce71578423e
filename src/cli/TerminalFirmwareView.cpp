#include "cli/TerminalFirmwareView.h"

#include <algorithm>
#include <cstdio>
#include <iostream>

namespace zendra::cli {

void TerminalFirmwareView::SetDevices(std::vector<std::string> addresses,
                                      std::function<int()> currentRow) {
  std::lock_guard lock(mutex_);
  addresses_ = std::move(addresses);
  currentRow_ = std::move(currentRow);
}

void TerminalFirmwareView::SetStatus(const std::string& text) {
  std::lock_guard lock(mutex_);
  line_.PrintLine(RowPrefix(currentRow_ ? currentRow_() : -1) + text);
}

void TerminalFirmwareView::Progress(const DeviceRunEvent& event) {
  std::lock_guard lock(mutex_);
  if (event.kind == DeviceRunEvent::Kind::kSending) Draw({}, event);
}

void TerminalFirmwareView::DeviceRun(int row, const DeviceRunEvent& event) {
  std::lock_guard lock(mutex_);
  switch (event.kind) {
    case DeviceRunEvent::Kind::kPreparing:
      // A new device: its own steps.
      lastTenth_ = -1;
      break;
    case DeviceRunEvent::Kind::kSending:
      if (event.clone)
        DrawClone(RowPrefix(row), event.percent);
      else
        Draw(RowPrefix(row), event);
      break;
    default:
      // A device's end is told by the status lines and the results on stdout.
      break;
  }
}

void TerminalFirmwareView::Finished(FirmwareOutcome outcome) {
  std::lock_guard lock(mutex_);
  line_.End();
  outcome_ = outcome;
}

void TerminalFirmwareView::ShowDeviceTexts(const DeviceInfo& device) {
  std::lock_guard lock(mutex_);
  device_ = device;
}

void TerminalFirmwareView::ReloadDefinitions(const std::string& fileName) {
  std::lock_guard lock(mutex_);
  definitions_ = fileName;
}

std::optional<FirmwareOutcome> TerminalFirmwareView::Outcome() {
  std::lock_guard lock(mutex_);
  return outcome_;
}

std::string TerminalFirmwareView::Definitions() {
  std::lock_guard lock(mutex_);
  return definitions_;
}

void TerminalFirmwareView::EndBar() {
  std::lock_guard lock(mutex_);
  line_.End();
}

std::string TerminalFirmwareView::RowPrefix(int row) const {
  if (row < 0 || row >= static_cast<int>(addresses_.size())) return {};
  return addresses_[static_cast<std::size_t>(row)] + ": ";
}

void TerminalFirmwareView::DrawClone(const std::string& prefix, int seconds) {
  if (line_.Quiet()) return;
  if (line_.InPlace()) {
    line_.Redraw(prefix + "cloning, " + std::to_string(seconds) + " s ");
  } else if (seconds % 10 == 0) {
    std::cerr << prefix << "cloning, " << seconds << " s" << std::endl;
  }
}

void TerminalFirmwareView::Draw(const std::string& prefix, const DeviceRunEvent& event) {
  if (line_.Quiet()) return;
  char percent[8];
  std::snprintf(percent, sizeof percent, "%3d%%", event.percent);
  if (line_.InPlace()) {
    // Cleared to the line's end: the text can grow shorter (the time left goes).
    line_.Redraw(prefix + TerminalBar(event.percent, 100) + " " + percent + "  " +
                 SendingBytes(event) + "\x1b[K");
    return;
  }
  // A line at each new tenth, and one at the end. The percentage reaches 100 before
  // the last block of a large image: its line waits for the end, so that 100 % is
  // drawn once, with every byte counted.
  const int tenth = event.bytes >= event.total ? 10 : std::min(event.percent / 10, 9);
  if (tenth == lastTenth_) return;
  lastTenth_ = tenth;
  std::cerr << prefix << percent << "  " << SendingBytes(event) << std::endl;
}

}  // namespace zendra::cli
