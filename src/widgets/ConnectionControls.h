#pragma once
// Which controls need an open connection. The main window enables exactly these
// when a connection is made and disables them when the port is closed
// (EnableConnectionControls); every other control keeps its own rules (the clone
// box and the file-location edit follow the clone and model rules, the value
// controls of the Configuration page follow the selection).

#include <span>

#include "widgets/ControlIds.h"

namespace zendra {

enum class ControlWindow { kMainDialog, kConfigPage, kFirmwarePage };

struct WindowControl {
  ControlWindow window;
  int id;
};

class ConnectionControls {
 public:
  static std::span<const WindowControl> NeedingConnection();

  // The caption button 1004 of the Configuration page gets back on close; remote
  // mode had turned it into "Reboot".
  static constexpr const char* kRestoreCaption = "Restore to Factory Default";
};

}  // namespace zendra
