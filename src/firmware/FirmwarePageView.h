#pragma once
// What the Firmware Update page adds to a TransferView: after a local update the
// worker shows the device texts read anew and has the definitions of the new
// firmware version loaded; a remote update drives one progress bar and one run
// status per device row.
// Same threading rules as TransferView.

#include <string>

#include "device/DeviceInfo.h"
#include "firmware/DeviceRunEvent.h"
#include "firmware/TransferView.h"

namespace zendra {

class FirmwarePageView : public TransferView {
 public:
  // The device information was read anew: the main window shows its four texts.
  virtual void ShowDeviceTexts(const DeviceInfo& device) = 0;
  // The Configuration page reloads its definitions: ClearParameterTree,
  // FillParameterTree, an empty caption for the value box, then
  // LoadParameterFile(LoadMode::kLoad, fileName) with product + "_" + version + ".zmcon".
  virtual void ReloadDefinitions(const std::string& fileName) = 0;
  // SetRowProgress of the device list (remote update, row being updated).
  virtual void SetRowProgress(int /*row*/, int /*percent*/) {}
  // A remote device's run changed (remote update, the row of the device): waiting,
  // preparing, sending (an image's percent, bytes, rate and time left; a clone's
  // seconds), done with its new version, failed, cancelled. The default shows a
  // sending event as ShowSending does, and nothing of the others.
  virtual void DeviceRun(int row, const DeviceRunEvent& event) { ShowSending(row, event); }

 protected:
  // A sending event as the texts and values a plain view takes: the status line's
  // percentage ("37.50% Completed!") or a clone's growing "Cloning...", and the
  // value on the row's bar.
  void ShowSending(int row, const DeviceRunEvent& event);
};

}  // namespace zendra
