#pragma once
// The serial ports present on this computer.
//
// On Linux a port is a tty under /sys/class/tty that a real device stands behind:
// ttyS with a UART (its "type" is not 0), ttyUSB, ttyACM, ttyAMA and the like.
// Virtual terminals, pseudo-terminals and ttyS entries without hardware are left
// out. The list is sorted as a person reads it: by kind, then by number
// (ttyS2 before ttyS10). A port behind a USB device is shown with what the device
// tells of itself: "/dev/ttyUSB0 — FT232R USB UART (A5XK3RJH)", its product (or
// maker, or vendor:product IDs) and its serial number.

#include <string>
#include <vector>

namespace zendra {

struct PortInfo {
  std::string name;         // the device path Open takes, e.g. /dev/ttyUSB0
  std::string displayText;  // what the port box shows: the path and what is known of it
};

// What the USB device behind a tty says of itself, from the device folder the
// tty's "device" link leads to and up to three folders above it (a ttyUSB sits
// under its interface, the interface under the device): "FT232R USB UART
// (A5XK3RJH)"; empty when no USB device stands behind it.
std::string DescribeUsbDevice(const std::string& ttyDeviceFolder);

class PortList {
 public:
  // Fills the list anew; always true. `sysClassTty` and `devFolder` are only
  // changed by tests.
  bool EnumeratePorts(const std::string& sysClassTty = "/sys/class/tty",
                      const std::string& devFolder = "/dev");
  int Count() const { return static_cast<int>(entries_.size()); }
  PortInfo GetEntry(int index) const { return entries_.at(static_cast<std::size_t>(index)); }
  const std::vector<PortInfo>& Entries() const { return entries_; }

 private:
  std::vector<PortInfo> entries_;
};

// Orders tty names as a person expects: "ttyS2" < "ttyS10" < "ttyUSB0".
bool PortNameLess(const std::string& a, const std::string& b);

}  // namespace zendra
