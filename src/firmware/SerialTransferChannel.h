#pragma once
// The transfer engine's channel on the manager's serial line: writes go to the
// SerialPort, bytes come from its ReceiveBuffer (filled by the reader thread), and
// collected text goes to the AtLink's `reply`, as the AT transactions leave it.
//
// A poll budget of N bounds the wait to N ms of protocol time, but the wait ends
// the moment a byte arrives, so a block's acknowledgement is taken at the speed of
// the line instead of on the next 1 ms tick.

#include <functional>

#include "device/LineLease.h"
#include "firmware/TransferChannel.h"
#include "serial/ReceiveBuffer.h"

namespace zendra {

class SerialTransferChannel : public TransferChannel {
 public:
  using Writer = std::function<void(const std::uint8_t* bytes, int length)>;

  // On the port, ring and reply text of the leased line.
  explicit SerialTransferChannel(LineLease& line);
  // On any ring and writer (the tests play the module with a writer that answers
  // into the ring).
  SerialTransferChannel(ReceiveBuffer& ring, Writer writer, std::string& reply);

  void Write(const std::uint8_t* bytes, int length) override;
  int ReadByte(int polls, std::stop_token stop) override;
  bool LineLost() const override;
  const std::string& CollectReply() override;
  void WaitForBytes(int ms, std::stop_token stop) override;
  void ResetReceive() override;

 private:
  ReceiveBuffer& ring_;
  Writer writer_;
  std::string& reply_;
};

}  // namespace zendra
