#pragma once
// The host's end of the simulated line for these tests: the pseudo-terminal slave
// opened raw with termios, as any serial program would, independent of the
// manager's own serial classes.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zendra::test::modsim {

using Ms = std::chrono::milliseconds;
using SteadyTime = std::chrono::steady_clock::time_point;

class HostPort {
 public:
  explicit HostPort(const std::string& path, int baud = 9600);
  ~HostPort();
  HostPort(const HostPort&) = delete;
  HostPort& operator=(const HostPort&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  // Line settings, as tcsetattr() puts them on the port. (A pseudo-terminal keeps
  // 8 data bits without parity whatever is asked, so those are not offered.)
  void SetLine(int baud, bool twoStopBits = false);
  void Write(std::string_view bytes);

  // Reads until `done` holds for what was received (and not taken) so far.
  bool ReadUntil(const std::function<bool(const std::string&)>& done, Ms timeout);
  bool ReadUntilContains(std::string_view text, Ms timeout);
  bool ReadAtLeast(std::size_t count, Ms timeout);
  // Reads for `window`; true when nothing at all arrived.
  bool StaysQuiet(Ms window);
  // Reads until the line hangs up (the far side vanished).
  bool WaitForHangUp(Ms timeout);

  // Everything received and not taken yet; Take() also forgets it.
  const std::string& Received() const { return received_; }
  std::string Take();
  // The moment each received byte was read, in order (since the last Take()).
  const std::vector<SteadyTime>& Times() const { return times_; }

 private:
  // Waits for and reads what is there; false at the deadline or on hang-up.
  bool ReadSome(SteadyTime deadline);

  int fd_ = -1;
  bool hungUp_ = false;
  std::string received_;
  std::vector<SteadyTime> times_;
};

// Character time on a line with `bits` per character.
inline std::chrono::nanoseconds CharTime(int baud, int bits = 10) {
  return std::chrono::nanoseconds(static_cast<std::int64_t>(bits) * 1'000'000'000 / baud);
}

// Polls `condition` until it holds or the timeout ends.
bool Eventually(const std::function<bool()>& condition, Ms timeout);

}  // namespace zendra::test::modsim
