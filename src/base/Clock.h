#pragma once
// The one time facility of the manager. Every protocol pause, poll interval and
// time-out is expressed in milliseconds of *protocol time* and goes through here,
// so that tests can run the protocol at a compressed time scale. Production runs
// at scale 1.0 (real time). Waits that belong to the line itself (character times
// at the baud rate) are real time and do not go through the scale.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stop_token>

namespace zendra {

class Clock {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;
  using Duration = std::chrono::steady_clock::duration;

  // 1.0 is real time; 0.1 runs every protocol pause ten times faster.
  static void SetScale(double scale);
  static double Scale();

  // Real duration of `ms` milliseconds of protocol time.
  static Duration Scaled(std::chrono::milliseconds ms);
  static Duration Scaled(int ms) { return Scaled(std::chrono::milliseconds(ms)); }

  static TimePoint Now() { return std::chrono::steady_clock::now(); }
  static TimePoint DeadlineAfter(int ms) { return Now() + Scaled(ms); }

  // Sleeps until `deadline` has passed, never less. A sleep may end before its
  // time where the system sleeps in whole milliseconds (on Windows a request for
  // less than one ends at once); this sleeps again for the rest.
  static void SleepUntil(TimePoint deadline);
  // Sleeps `ms` milliseconds of protocol time.
  static void Sleep(int ms);
  // As Sleep, but returns early (false) when a stop is requested.
  static bool Sleep(int ms, std::stop_token stop);
};

// Time one character takes on the line at `baudRate` with start, 8 data and stop bit.
std::chrono::nanoseconds CharacterTime(int baudRate);

}  // namespace zendra
