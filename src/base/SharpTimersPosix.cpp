#include "base/SharpTimers.h"
// The calling thread's timer slack, on Linux; other POSIX systems keep their timers.

#if defined(__linux__)
#include <sys/prctl.h>
#endif

namespace zendra {

#if defined(__linux__)
SharpTimers::SharpTimers() : previous_(::prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0)) {
  ::prctl(PR_SET_TIMERSLACK, 1, 0, 0, 0);
}

SharpTimers::~SharpTimers() {
  if (previous_ > 0) ::prctl(PR_SET_TIMERSLACK, static_cast<unsigned long>(previous_), 0, 0, 0);
}
#else
SharpTimers::SharpTimers() = default;
SharpTimers::~SharpTimers() = default;
#endif

}  // namespace zendra
