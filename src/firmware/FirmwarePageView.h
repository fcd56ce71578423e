#pragma once
// What the Firmware Update page adds to a TransferView: after a local update the
// worker shows the device texts read anew and has the definitions of the new
// firmware version loaded; a remote update drives one progress bar per device row.
// Same threading rules as TransferView.

#include <string>

#include "firmware/TransferView.h"

namespace zendra {

struct DeviceTexts {
  std::string productName;      // label 1022
  std::string euiAddress;       // label 1024
  std::string nodeName;         // label 1023
  std::string firmwareVersion;  // label 1025
};

class FirmwarePageView : public TransferView {
 public:
  // Shows the four texts in the main window's labels.
  virtual void ShowDeviceTexts(const DeviceTexts& texts) = 0;
  // The Configuration page reloads its definitions: ClearParameterTree,
  // FillParameterTree, an empty caption for group box 1005, then
  // LoadParameterFile(1, fileName) with product + "_" + version + ".zmcon".
  virtual void ReloadDefinitions(const std::string& fileName) = 0;
  // SetRowProgress of the device list (remote update, row being updated).
  virtual void SetRowProgress(int /*row*/, int /*percent*/) {}
};

}  // namespace zendra
