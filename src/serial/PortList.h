#pragma once
// The serial ports present on this computer.
//
// On Linux a port is a tty under /sys/class/tty that a real device stands behind:
// ttyS with a UART (its "type" is not 0), ttyUSB, ttyACM, ttyAMA and the like.
// Virtual terminals, pseudo-terminals and ttyS entries without hardware are left
// out. The list is sorted as a person reads it: by kind, then by number
// (ttyS2 before ttyS10).

#include <string>
#include <vector>

namespace zendra {

struct PortInfo {
  std::string name;         // the device path Open takes, e.g. /dev/ttyUSB0
  std::string displayText;  // what the port box shows
};

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
