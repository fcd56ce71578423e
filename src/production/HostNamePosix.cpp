#include "production/HostName.h"
// The station's host name on a POSIX system: gethostname(2).

#include <unistd.h>

namespace zendra {

std::string HostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "unknown";
  return name;
}

}  // namespace zendra
