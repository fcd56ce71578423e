#pragma once
// What the "Serial Port" boxes of the main window ask for, read when Open is
// pressed.
//
// The port box is taken as it stands: a device path, or "COMn", which the serial
// port resolves itself; an empty box reaches Open and fails there with the usual
// message. The other five boxes are editable too, but only their list entries
// mean something to the line: a typed text that is none of them is refused here,
// with a message for the operator, before anything is opened (it would otherwise
// reach Open as the code 0).

#include <string>

#include "device/LineSettings.h"

namespace zendra {

// The texts the six boxes show, left to right.
struct SerialPortBoxTexts {
  std::string port;
  std::string baudRate;
  std::string dataBits;
  std::string parity;
  std::string stopBits;
  std::string flowControl;
};

class LineSettingsChoice {
 public:
  static LineSettingsChoice FromBoxTexts(const SerialPortBoxTexts& texts);

  bool Refused() const { return !refusal.empty(); }

  std::string portName;
  LineSettings settings;
  // The message for the operator when a box holds no entry of its list.
  std::string refusal;
};

}  // namespace zendra
