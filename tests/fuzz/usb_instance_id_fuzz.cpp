// The Windows device instance ID a serial port's driver reports: the USB
// identity is read from it, and the port box shows the result. A driver's text
// is outside input; reading it must never fail or read past it, and what it
// gives must stay within it.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "serial/PortList.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string id(reinterpret_cast<const char*>(data), size);
  if (const auto usb = zendra::ParseUsbInstanceId(id)) {
    if (usb->vendor.size() != 4 || usb->product.size() != 4) std::abort();
    if (usb->serial.size() > id.size()) std::abort();
    for (unsigned char c : usb->serial)
      if (c <= 0x20 || c >= 0x7F) std::abort();
  }
  const std::string text = zendra::DescribeWin32Port("COM3", id, id);
  if (text.compare(0, 4, "COM3") != 0) std::abort();
  return 0;
}
