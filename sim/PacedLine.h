#pragma once
// The module's end of the serial line: the master side of a pseudo-terminal whose
// slave side the host opens as its port.
//
// A real UART needs one character time per byte, so the line paces both ways:
// - Output goes through a writer thread that puts one byte per write() on the line
//   at the end of its character time, on an absolute schedule, so a long reply
//   runs at exactly the line rate.
// - Input is read in whatever chunks the pseudo-terminal delivers, and each byte is
//   stamped with the moment its last bit would have arrived: one character time
//   after the later of "read" and "the previous byte's arrival". The module acts on
//   a byte only at that moment.
// The character time is the host's: whatever speed, data bits, parity and stop bits
// the host set on its end, read back from the master with tcgetattr().
//
// When the host's settings do not match the module's UART (another speed, or not
// 8 data bits without parity), every byte is garbled in both directions, as two
// UARTs at different rates would see each other.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ModuleSimulator.h"

namespace zendra::sim {

using SimClock = std::chrono::steady_clock;

// The line settings the host has put on its end of the pseudo-terminal.
struct HostLine {
  int baud = 9600;
  int dataBits = 8;
  bool parity = false;
  bool twoStopBits = false;

  // Start bit, data bits, parity bit, stop bits.
  int BitsPerCharacter() const { return 1 + dataBits + (parity ? 1 : 0) + (twoStopBits ? 2 : 1); }
  std::chrono::nanoseconds CharacterTime() const;
};

// True when a module UART running 8N1 at `moduleBaud` (0: whatever the host set)
// cannot make sense of a host at `host`.
bool LineMismatch(const HostLine& host, int moduleBaud);

// What a byte turns into when the two ends do not agree on the line: some byte with
// the high bit set, so it never reads as text.
std::uint8_t Garble(std::uint8_t byte);

class PacedLine {
 public:
  // One byte from the host, with the moment it has fully arrived at the module.
  struct Arrival {
    std::uint8_t byte;
    SimClock::time_point at;
    HostLine host;
  };

  // How the module sends a byte: at its UART rate (0: the host's rate), or raw,
  // bypassing the UART model (injected bytes).
  struct Sender {
    int baud = 0;
    bool raw = false;
  };

  PacedLine() = default;
  ~PacedLine();
  PacedLine(const PacedLine&) = delete;
  PacedLine& operator=(const PacedLine&) = delete;

  // Opens the pseudo-terminal, puts it in raw mode and starts the writer.
  bool Open(std::string& error);
  // Stops the writer and closes everything; pending output is dropped.
  void Close();
  // Closes the master side at once: the host's port goes away.
  void Vanish();

  std::string SlavePath() const { return slavePath_; }
  // The descriptor to poll for input, or -1 once the line is gone. Only the module
  // thread polls and reads it.
  int InputFd() const;
  // Reads what is waiting and appends it, stamped with arrival times.
  // false when nothing could be read (no data, or the line is gone).
  bool ReadInput(std::deque<Arrival>& into);

  HostLine CurrentHostLine() const;

  // Queues bytes for the writer.
  void Send(const std::string& bytes, Sender sender);

  // Keeps every byte on the line from now on (both ways, with its time), or stops.
  void RecordWire(bool on);
  std::vector<WireByte> WireRecord() const;
  void ClearWireRecord();

  // When the writer last put a byte on the line.
  SimClock::time_point LastWriteAt() const {
    return SimClock::time_point(SimClock::duration(lastWrite_.load()));
  }

 private:
  struct Outgoing {
    std::uint8_t byte;
    Sender sender;
    SimClock::time_point queuedAt;
  };

  void WriterLoop();
  HostLine HostLineLocked() const;

  mutable std::mutex fdMutex_;  // guards master_ and slave_ against Vanish()
  int master_ = -1;
  int slave_ = -1;  // held open so the master never sees the host's close
  std::string slavePath_;
  SimClock::time_point lastArrival_{};

  std::mutex queueMutex_;
  std::condition_variable queueChanged_;
  std::deque<Outgoing> queue_;
  bool stopWriter_ = false;
  std::atomic<SimClock::rep> lastWrite_{0};

  void Record(const WireByte& byte);
  mutable std::mutex wireMutex_;
  bool recordWire_ = false;
  std::vector<WireByte> wire_;
  std::jthread writer_;
};

}  // namespace zendra::sim
