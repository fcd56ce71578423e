#pragma once
// The Configuration page's own fields that are not controls: the texts its
// refresh shows, the record the last selection matched, and the remote device the
// page targets. The page's core classes share them; the window only shows them.

#include <string>

namespace zendra {

struct ConfigPageState {
  std::string caption;      // value group box (1005): the selected group or parameter
  std::string description;  // 1012
  std::string rangeText;    // 1013
  std::string rangeLabel;   // 1015
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
