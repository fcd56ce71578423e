#include "firmware/SerialTransferChannel.h"

#include "base/Clock.h"

namespace zendra {

SerialTransferChannel::SerialTransferChannel(LineLease& line)
    : ring_(line.Ring()),
      writer_([&port = line.Port()](const std::uint8_t* bytes, int length) {
        port.Write(bytes, length);
      }),
      reply_(line.Reply()) {}

SerialTransferChannel::SerialTransferChannel(ReceiveBuffer& ring, Writer writer, std::string& reply)
    : ring_(ring), writer_(std::move(writer)), reply_(reply) {}

void SerialTransferChannel::Write(const std::uint8_t* bytes, int length) { writer_(bytes, length); }

int SerialTransferChannel::ReadByte(int polls, std::stop_token stop) {
  if (stop.stop_requested()) return kTimeOut;
  std::uint8_t byte;
  if (ring_.Get(byte)) return byte;
  if (ring_.LineLost()) return kLineLost;
  if (polls <= 0) return kTimeOut;
  // N polls of 1 ms each: the same bound as a deadline N ms ahead.
  const auto deadline = Clock::DeadlineAfter(polls);
  for (;;) {
    const ReceiveBuffer::Wait wait = ring_.WaitForInput(deadline, stop);
    if (stop.stop_requested()) return kTimeOut;
    if (ring_.Get(byte)) return byte;
    if (wait == ReceiveBuffer::Wait::kLineLost) return kLineLost;
    if (wait != ReceiveBuffer::Wait::kBytes) return kTimeOut;
  }
}

bool SerialTransferChannel::LineLost() const { return ring_.LineLost(); }

const std::string& SerialTransferChannel::CollectReply() {
  reply_ += ring_.TakeText();
  return reply_;
}

void SerialTransferChannel::WaitForBytes(int ms, std::stop_token stop) {
  ring_.WaitForInput(Clock::DeadlineAfter(ms), stop);
}

void SerialTransferChannel::ResetReceive() { ring_.Reset(); }

}  // namespace zendra
