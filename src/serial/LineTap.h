#pragma once
// An observer of everything that crosses the serial line: the port tells it of
// each write (before the bytes go out, so a write is always seen before the answer
// it causes), of each chunk the reader takes from the driver (before it reaches the
// receive ring, NUL bytes included), and of the port being opened, closed or lost.
//
// The port calls it on the writer's thread and on its reader thread, so an
// implementation must be quick and must not block for long: the reader thread is
// what moves the module's answers to the transactions. TrafficLog is the one the
// programs use.

#include <cstddef>
#include <cstdint>

namespace zendra {

class LineTap {
 public:
  enum class Event : std::uint8_t {
    kOpened,    // the port opened; the bytes describe it ("/dev/ttyUSB0, 9600 baud")
    kClosed,    // the port closed
    kLost,      // the port vanished under the reader (a USB adapter pulled)
    kSent,      // bytes about to be written
    kReceived,  // bytes the reader took from the driver
    kNote,      // a text of the program's own (an open that failed, a short write)
  };

  virtual ~LineTap() = default;
  virtual void Record(Event event, const std::uint8_t* bytes, std::size_t length) = 0;
};

}  // namespace zendra
