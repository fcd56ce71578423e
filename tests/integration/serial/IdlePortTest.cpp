// An open port that receives nothing costs no measurable CPU: its reader is
// blocked in poll(), not polling.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "serial/SerialPort.h"

namespace zendra {
namespace {

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

TEST(IdlePort, AnOpenPortWithNothingArrivingUsesNoCpu) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  SerialPort port;
  ASSERT_TRUE(port.Open(ptsname(master), 115200, 0, 8, 0, 10));

  const double before = CpuSeconds();
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  const double used = CpuSeconds() - before;
  EXPECT_LT(used, 0.005) << "CPU seconds used by an idle open port in one second";
  EXPECT_TRUE(port.ReaderRunning());

  // The far end goes away: the reader ends instead of spinning on the hang-up.
  ::close(master);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (port.ReaderRunning() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_FALSE(port.ReaderRunning());
  const double afterHangUp = CpuSeconds();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_LT(CpuSeconds() - afterHangUp, 0.005);
  port.Close();
}

}  // namespace
}  // namespace zendra
