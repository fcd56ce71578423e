#include "base/Clock.h"

#include <atomic>
#include <thread>

namespace zendra {

namespace {
std::atomic<double> g_scale{1.0};
}

void Clock::SetScale(double scale) { g_scale.store(scale > 0.0 ? scale : 1.0); }

double Clock::Scale() { return g_scale.load(); }

Clock::Duration Clock::Scaled(std::chrono::milliseconds ms) {
  const double scale = g_scale.load();
  if (scale == 1.0) return std::chrono::duration_cast<Duration>(ms);
  return std::chrono::duration_cast<Duration>(
      std::chrono::duration<double, std::milli>(static_cast<double>(ms.count()) * scale));
}

void Clock::SleepUntil(TimePoint deadline) {
  bool slept = false;
  for (auto now = Now(); now < deadline; now = Now()) {
    auto rest = deadline - now;
    // A sleep that ended early once would end early again for the same rest:
    // round it up to the whole millisecond such a system can sleep.
    if (slept) rest = std::chrono::ceil<std::chrono::milliseconds>(rest);
    std::this_thread::sleep_for(rest);
    slept = true;
  }
}

void Clock::Sleep(int ms) {
  if (ms <= 0) return;
  SleepUntil(Now() + Scaled(ms));
}

bool Clock::Sleep(int ms, std::stop_token stop) {
  if (stop.stop_requested()) return false;
  if (ms <= 0) return true;
  std::mutex mutex;
  std::condition_variable_any cv;
  std::unique_lock lock(mutex);
  cv.wait_for(lock, stop, Scaled(ms), [] { return false; });
  return !stop.stop_requested();
}

std::chrono::nanoseconds CharacterTime(int baudRate) {
  if (baudRate <= 0) return std::chrono::nanoseconds(0);
  return std::chrono::nanoseconds(10'000'000'000LL / baudRate);
}

}  // namespace zendra
