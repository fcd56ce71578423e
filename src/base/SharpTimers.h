#pragma once
// Sharp timers for the thread that holds one. The 1 ms pause after each block
// of a firmware transfer is one of the only two gaps a transfer has beyond the
// bytes on the wire: on Linux the kernel's default timer slack (50 us) would
// stretch it by a few percent of a block time; on Windows the default timer
// tick (15.6 ms) would make it sixteen times as long. The transfer asks for sharp
// timers while it runs and gives the setting back afterwards.
// SharpTimersPosix.cpp: the thread's timer slack (prctl). SharpTimersWin32.cpp:
// the system's timer period (timeBeginPeriod).

namespace zendra {

class SharpTimers {
 public:
  SharpTimers();
  ~SharpTimers();
  SharpTimers(const SharpTimers&) = delete;
  SharpTimers& operator=(const SharpTimers&) = delete;

 private:
  long previous_ = 0;  // what to give back
};

}  // namespace zendra
