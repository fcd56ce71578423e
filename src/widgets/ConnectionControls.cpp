#include "widgets/ConnectionControls.h"

namespace zendra {

namespace {
constexpr WindowControl kNeedingConnection[] = {
    {ControlWindow::kMainDialog, MainDialogIds::kReboot},
    {ControlWindow::kMainDialog, MainDialogIds::kReload},
    {ControlWindow::kConfigPage, ConfigPageIds::kExport},
    {ControlWindow::kConfigPage, ConfigPageIds::kImport},
    {ControlWindow::kConfigPage, ConfigPageIds::kRestore},
    {ControlWindow::kConfigPage, ConfigPageIds::kRemoteSetting},
    {ControlWindow::kConfigPage, ConfigPageIds::kRemoteAddress},
    {ControlWindow::kConfigPage, ConfigPageIds::kScan},
    {ControlWindow::kFirmwarePage, FirmwarePageIds::kChooseFile},
    {ControlWindow::kFirmwarePage, FirmwarePageIds::kDownload},
    {ControlWindow::kFirmwarePage, FirmwarePageIds::kLocalUpdate},
    {ControlWindow::kFirmwarePage, FirmwarePageIds::kSearch},
    {ControlWindow::kFirmwarePage, FirmwarePageIds::kRemoteUpdate},
};
}  // namespace

std::span<const WindowControl> ConnectionControls::NeedingConnection() {
  return kNeedingConnection;
}

}  // namespace zendra
