// Closing the port right after a write: the bytes written last still reach the
// other end (the three CAN that end an upload when the window closes, a menu
// choice before the program ends).

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "serial/SerialPort.h"

namespace zendra {
namespace {

// Reads what arrives on `master` until `count` bytes came or a second passed.
std::string ReadFromMaster(int master, std::size_t count) {
  std::string received;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  while (received.size() < count && std::chrono::steady_clock::now() < deadline) {
    pollfd fd{master, POLLIN, 0};
    if (::poll(&fd, 1, 50) <= 0 || !(fd.revents & POLLIN)) continue;
    char buffer[256];
    const ssize_t n = ::read(master, buffer, sizeof buffer);
    if (n > 0) received.append(buffer, static_cast<std::size_t>(n));
  }
  return received;
}

TEST(PortClose, TheLastBytesWrittenBeforeACloseReachTheOtherEnd) {
  // The loss, where it happens, hits about one close in a few hundred: many rounds.
  int lost = 0;
  for (int round = 0; round < 4000; ++round) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    SerialPort port;
    ASSERT_TRUE(port.Open(ptsname(master), 115200, 0, 8, 0, 10));
    // The upload's last block and the three CAN after it.
    std::string sent(133, '\x01');
    sent += std::string(3, '\x18');
    ASSERT_EQ(port.Write(sent.data(), static_cast<int>(sent.size())),
              static_cast<int>(sent.size()));
    port.Close();
    if (ReadFromMaster(master, sent.size()) != sent) ++lost;
    ::close(master);
  }
  EXPECT_EQ(lost, 0) << "closes that swallowed the bytes written just before";
}

}  // namespace
}  // namespace zendra
