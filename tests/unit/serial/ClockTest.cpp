#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "base/Clock.h"

namespace zendra {
namespace {

TEST(Clock, AStoppableSleepReportsTheStopThatCutItShort) {
  std::stop_source source;
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    source.request_stop();
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(Clock::Sleep(5000, source.get_token()));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  stopper.join();
  EXPECT_TRUE(Clock::Sleep(1, std::stop_source().get_token()));
}

// The module's gap after an acknowledged block is a millisecond counted from the
// ACK, so the rest the transfer sleeps is often below one: the sleep must still
// last until its deadline where the system sleeps in whole milliseconds.
TEST(Clock, ASleepBelowAMillisecondLastsUntilItsDeadline) {
  int early = 0;
  for (int i = 0; i < 40; ++i) {
    const auto deadline = Clock::Now() + std::chrono::microseconds(100 + 50 * (i % 18));
    Clock::SleepUntil(deadline);
    if (Clock::Now() < deadline) ++early;
  }
  EXPECT_EQ(early, 0) << "sleeps that ended before their deadline";
  const auto start = Clock::Now();
  Clock::Sleep(1);
  EXPECT_GE(Clock::Now() - start, std::chrono::milliseconds(1));
}

TEST(Clock, TheScaleCompressesProtocolTime) {
  Clock::SetScale(0.01);
  EXPECT_EQ(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::Scaled(3000)).count(), 30);
  Clock::SetScale(1.0);
  EXPECT_EQ(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::Scaled(3000)).count(), 3000);
  EXPECT_EQ(CharacterTime(9600), std::chrono::nanoseconds(1041666));
}

}  // namespace
}  // namespace zendra
