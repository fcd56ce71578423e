#include "base/SharpTimers.h"
// The system's timer period on Windows: 1 ms while a transfer runs.

#include <windows.h>
// windows.h first: the multimedia timer header needs its types.
#include <timeapi.h>

namespace zendra {

SharpTimers::SharpTimers() { previous_ = timeBeginPeriod(1) == TIMERR_NOERROR ? 1 : 0; }

SharpTimers::~SharpTimers() {
  if (previous_ != 0) timeEndPeriod(1);
}

}  // namespace zendra
