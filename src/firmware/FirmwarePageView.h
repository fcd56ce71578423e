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
  // preparing, sending, done with its new version, failed, cancelled.
  virtual void DeviceRun(int /*row*/, const DeviceRunEvent& /*event*/) {}
};

}  // namespace zendra
