#include "serial/PortList.h"
// The port list of a Linux system: the ttys of sysfs that a device stands behind.

namespace zendra {

bool PortList::EnumeratePorts(const std::string& sysClassTty, const std::string& devFolder) {
  entries_ = ListSysfsPorts(sysClassTty, devFolder);
  return true;
}

}  // namespace zendra
