// An open port that receives nothing costs no measurable CPU: its reader is
// blocked in poll(), not polling.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "serial/SerialPort.h"
#include "support/CpuTime.h"

namespace zendra {
namespace {

TEST(IdlePort, AnOpenPortWithNothingArrivingUsesNoCpu) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  SerialPort port;
  ASSERT_TRUE(port.Open(ptsname(master), 115200, 0, 8, 0, 10));

  const double before = test::ProcessCpuSeconds();
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  const double used = test::ProcessCpuSeconds() - before;
  EXPECT_LT(used, 0.005) << "CPU seconds used by an idle open port in one second";
  EXPECT_TRUE(port.ReaderRunning());

  // The far end goes away: the reader ends instead of spinning on the hang-up.
  ::close(master);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (port.ReaderRunning() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_FALSE(port.ReaderRunning());
  const double afterHangUp = test::ProcessCpuSeconds();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_LT(test::ProcessCpuSeconds() - afterHangUp, 0.005);
  port.Close();
}

}  // namespace
}  // namespace zendra
