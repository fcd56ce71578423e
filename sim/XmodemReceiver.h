#pragma once
// The XMODEM-CRC receiver of a Zendra module: the same code takes an image in the
// local bootloader and on the remote end of an update relayed over the radio.
// It is a byte-in/text-out state machine with deadlines; its owner feeds it each
// byte at its arrival time, calls OnTime() at its deadlines and decides what the
// endings print (the bootloader shows its menu, the relay returns to the AT
// application).
//
// After Begin() it asks for CRC blocks with 'C' once a second until the first SOH
// (60 times at most). A block is SOH, number, 255 - number, 128 payload bytes, CRC
// high, CRC low (CRC-16/XMODEM over the payload). The expected block is ACKed and
// kept; the previous one again (its ACK was lost) is ACKed and dropped; anything
// else, and a block stalled for a second, is NAKed. Between blocks only SOH, EOT
// and CAN count (CAN CAN cancels). EOT is answered, a second EOT is ACKed (without
// it the image is complete a second later all the same).

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "PacedLine.h"

namespace zendra::sim {

std::uint16_t Crc16Xmodem(const std::uint8_t* data, std::size_t length);

class XmodemReceiver {
 public:
  using TimePoint = SimClock::time_point;

  // How this receiver misbehaves, and what its owner adds to the protocol.
  struct Settings {
    int refuseBlock = 0;             // block ordinal (1-based) to refuse, 0: none
    int refuseTimes = 0;             // how many of its intact arrivals are refused
    bool refuseEveryBlock = false;   // every intact block is refused
    std::uint8_t refuseWith = 0x15;  // NAK by default
    int silentAfterBlock = 0;        // answers nothing once this block was ACKed (0: never)
    bool neverSendC = false;         // no 'C' start request
    std::uint8_t eotAnswer = 0x06;   // the byte that answers the first EOT
    bool etxCancels = false;         // the bootloader's ETX between blocks cancels too
    int idleLimitMs = 0;             // gives up after this long without a byte (0: never)
    // The receiver writes a block away after its ACK and cannot take the next one
    // for this long: a block that starts sooner is refused with NAK (0: no such time).
    int blockSettleMs = 0;
  };

  enum class Ending { None, Completed, Cancelled, NoUpload, TimedOut };

  // What one step produced.
  struct Step {
    std::string text;                  // to the host
    std::vector<std::string> entries;  // ignored bytes, for the receive log
    Ending ending = Ending::None;
    std::vector<std::uint8_t> image;  // with Completed: every kept payload, padding included
  };

  explicit XmodemReceiver(double timeScale = 1.0) : timeScale_(timeScale) {}

  // Takes effect at once, also in the middle of a transfer.
  void SetSettings(const Settings& settings) { settings_ = settings; }

  // Starts waiting for an upload; the first 'C' goes out at once.
  void Begin(TimePoint at, Step& out);
  // Drops a transfer quietly.
  void Reset();
  bool Active() const { return state_ != State::Idle; }
  // Blocks kept so far in the transfer under way (or the last one).
  int Accepted() const { return accepted_; }
  void OnByte(std::uint8_t byte, TimePoint at, Step& out);
  void OnTime(TimePoint now, Step& out);
  std::optional<TimePoint> NextDeadline() const;

 private:
  enum class State { Idle, AwaitFirstBlock, Receiving, AfterEot };

  void ReceivingByte(std::uint8_t byte, TimePoint at, Step& out);
  void EvaluateBlock(Step& out);
  void EndOfTransmission(TimePoint at, Step& out);
  void End(Ending ending, Step& out);
  void Answer(std::uint8_t byte, Step& out);
  void NoteIgnored(std::uint8_t byte, Step& out);
  SimClock::duration Scaled(int ms) const;

  double timeScale_;
  Settings settings_;
  State state_ = State::Idle;

  TimePoint nextRequest_{};
  int requestsSent_ = 0;
  std::string ignored_;  // bytes passed over before the first block, not logged yet

  std::vector<std::uint8_t> block_;
  TimePoint lastBlockByte_{};
  TimePoint lastByte_{};
  std::vector<std::uint8_t> image_;
  int accepted_ = 0;  // blocks kept so far; the next block's ordinal is accepted_ + 1
  int refused_ = 0;   // refusals of Settings::refuseBlock so far
  int cancels_ = 0;   // CAN bytes in a row between blocks
  TimePoint lastAck_{};        // when the last block was ACKed
  bool blockTooSoon_ = false;  // the block under way began inside the settle time
  bool silent_ = false;
  TimePoint eotDeadline_{};
};

}  // namespace zendra::sim
