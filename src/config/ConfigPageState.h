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
};

}  // namespace zendra
