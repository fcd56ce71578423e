#pragma once
// The serial ports present on this computer. PortList::EnumeratePorts reads the
// system's own list (PortListPosix.cpp, PortListWin32.cpp); how a port is
// described is the same text work on every system and lives in PortList.cpp.
//
// On Linux a port is a tty under /sys/class/tty that a real device stands behind:
// ttyS with a UART (its "type" is not 0), ttyUSB, ttyACM, ttyAMA and the like.
// Virtual terminals, pseudo-terminals and ttyS entries without hardware are left
// out. The list is sorted as a person reads it: by kind, then by number
// (ttyS2 before ttyS10). A port behind a USB device is shown with what the device
// tells of itself: "/dev/ttyUSB0 — FT232R USB UART (A5XK3RJH)", its product (or
// maker, or vendor:product IDs) and its serial number.
//
// On Windows the ports are those of the system's serial map
// (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM), named "COM3", each shown with the friendly
// name the system gives it and, for a USB device, its IDs and serial number:
// "COM3 — USB Serial Port (USB 0403:6001, A5XK3RJH)".

#include <optional>
#include <string>
#include <vector>

namespace zendra {

struct PortInfo {
  std::string name;         // the name Open takes, e.g. /dev/ttyUSB0 or COM3
  std::string displayText;  // what the port box shows: the path and what is known of it
};

// What the USB device behind a tty says of itself, from the device folder the
// tty's "device" link leads to and up to three folders above it (a ttyUSB sits
// under its interface, the interface under the device): "FT232R USB UART
// (A5XK3RJH)"; empty when no USB device stands behind it.
std::string DescribeUsbDevice(const std::string& ttyDeviceFolder);

class PortList {
 public:
  // Fills the list anew from the system; always true. On Linux the ports are read
  // from `sysClassTty` and named under `devFolder` (changed only by tests);
  // Windows reads its serial map and has no use for either.
  bool EnumeratePorts(const std::string& sysClassTty = "/sys/class/tty",
                      const std::string& devFolder = "/dev");
  int Count() const { return static_cast<int>(entries_.size()); }
  PortInfo GetEntry(int index) const { return entries_.at(static_cast<std::size_t>(index)); }
  const std::vector<PortInfo>& Entries() const { return entries_; }

 private:
  std::vector<PortInfo> entries_;
};

// Orders tty names as a person expects: "ttyS2" < "ttyS10" < "ttyUSB0"; and so
// "COM2" < "COM10".
bool PortNameLess(const std::string& a, const std::string& b);

// The ports under a sysfs tty class folder, sorted, each named under `devFolder`.
std::vector<PortInfo> ListSysfsPorts(const std::string& sysClassTty, const std::string& devFolder);

// A USB device's IDs as the hexadecimal digits the system writes (lower case),
// and its serial number when it has one.
struct UsbIdentity {
  std::string vendor;
  std::string product;
  std::string serial;
};

// The USB identity in a Windows device instance ID: "USB\VID_0403&PID_6001\A5XK3RJH",
// or a driver's own bus as "FTDIBUS\VID_0403+PID_6001+A5XK3RJHA\0000". An instance
// number the system made up ("5&2e0d8a1c&0&2") or an interface of a composite
// device ("&MI_00") gives no serial number. Nothing for a device not on USB.
std::optional<UsbIdentity> ParseUsbInstanceId(const std::string& instanceId);

// What the port box shows for a Windows port: "COM3 — USB Serial Port (USB
// 0403:6001, A5XK3RJH)"; the friendly name without the "(COM3)" it ends with; the
// bare name when the system tells nothing of it.
std::string DescribeWin32Port(const std::string& portName, const std::string& friendlyName,
                              const std::string& instanceId);

// The ports sorted as a person reads them, each name once.
std::vector<PortInfo> SortedPorts(std::vector<PortInfo> ports);

}  // namespace zendra
