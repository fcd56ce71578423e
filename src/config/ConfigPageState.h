#pragma once
// The Configuration page's own fields that are not controls: the texts its
// refresh shows, the record the last selection matched, and the remote device the
// page targets. The page's core classes share them; the window only shows them.

#include <string>

namespace zendra {

struct ConfigPageState {
  std::string caption;      // the value box caption: the selected group or parameter
  std::string description;  // the description under the value
  std::string rangeText;    // the range ("min ~ max")
  std::string rangeLabel;   // the range label ("Range: " or empty)
  // The record last matched by a selection; Save and export work on it.
  int currentIndex = 0;

  // The remote device (filled by the remote configuration). Every remote
  // transaction is addressed to remoteEuiAddress, the address the device reported.
  std::string remoteAddressText;
  std::string remoteProductName;
  std::string remoteEuiAddress;
  std::string remoteVersion;
  // The node name a network scan gave for the address typed, when the operator
  // picked it there; empty otherwise. Only for naming the device in messages.
  std::string remoteNodeName;
};

// "the remote device 000D6F0000A1B2C3 (Sensor 2)": how a message names the remote
// device at `address`, with its node name when one is known.
inline std::string RemoteDeviceText(const std::string& address, const std::string& nodeName) {
  return "the remote device " + address + (nodeName.empty() ? "" : " (" + nodeName + ")");
}

}  // namespace zendra
