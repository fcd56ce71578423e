#pragma once
// What the transfer engine needs of the serial line, and nothing more: write
// bytes, take one received byte within a poll budget, collect the received text
// into the reply, wait for bytes, and empty the receive side.
//
// Keeping the engine on this interface keeps it free of a concrete port: the
// manager runs it on the SerialPort (SerialTransferChannel), the unit tests on a
// scripted bootloader that plays the receiver byte by byte.

#include <cstdint>
#include <stop_token>
#include <string>

namespace zendra {

class TransferChannel {
 public:
  static constexpr int kTimeOut = -1;
  // The port went away under the transfer (the device unplugged, the far end closed).
  static constexpr int kLineLost = -2;

  virtual ~TransferChannel() = default;

  // Writes the bytes whole, in one write.
  virtual void Write(const std::uint8_t* bytes, int length) = 0;

  // The oldest received byte (0 to 255). When none is there, polls again for up
  // to `polls` polls of 1 ms each; kTimeOut when the budget is used up or a stop
  // is requested (a stop is honoured before a waiting byte is taken, so a line
  // that keeps talking cannot hold a stopping worker), kLineLost at once when
  // the port has gone. A byte that arrives during the wait is taken at once.
  virtual int ReadByte(int polls, std::stop_token stop) = 0;

  // true once the port has gone away under the transfer.
  virtual bool LineLost() const { return false; }

  // Appends everything received to the reply text, empties the receive side,
  // and returns the whole reply (what earlier steps left in it included).
  virtual const std::string& CollectReply() = 0;

  // Waits until bytes are there, `ms` milliseconds have passed or a stop is requested.
  virtual void WaitForBytes(int ms, std::stop_token stop) = 0;

  // Throws away everything received and not yet taken.
  virtual void ResetReceive() = 0;
};

}  // namespace zendra
