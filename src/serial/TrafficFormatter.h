#pragma once
// Turns what crossed the serial line into the lines of the traffic log: each entry
// a time (microseconds since the log's first event, which is the port's opening), a
// direction and a text of printable ASCII.
//
// Text is split into lines at LF, and a line is ended early by the other
// direction's traffic, by an event of the port, by 100 ms without a byte (so that a
// bootloader's lone 'C' shows when it comes) and after 256 bytes. Control bytes are
// made visible by their names (<CR>, <LF>, <ACK>, <XON>, ...), other bytes outside
// printable ASCII, and '<' itself, as <0xNN>; so every byte can be read back from
// the text.
//
// XMODEM blocks are summarised instead of dumped: a write that is exactly one block
// (SOH, block number, its complement, 128 data bytes and the CRC-16; or STX and
// 1024 data bytes) becomes one entry together with the byte the bootloader answered
// with: "block 17, 133 bytes, ACK". The block number counts on past 255, as the
// transfer's own messages do; a block sent again keeps its number.
//
// The input is whatever the module sent: nothing here trusts it.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "serial/LineTap.h"

namespace zendra {

struct TrafficEntry {
  enum class Direction : std::uint8_t { kSent, kReceived, kNote };
  std::int64_t microseconds = 0;
  Direction direction = Direction::kNote;
  std::string text;
  // The entry stands for a block and its answer, not for the bytes as they are.
  bool block = false;
};

class TrafficFormatter {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;
  static constexpr std::size_t kMaxLineBytes = 256;
  static constexpr std::chrono::milliseconds kIdleEnd{100};

  // One event of the line at `at` (never earlier than the event before).
  void Add(LineTap::Event event, TimePoint at, std::span<const std::uint8_t> bytes,
           std::vector<TrafficEntry>& out);
  // Ends a text line that has had no byte since kIdleEnd before `now`.
  void EndIdleLines(TimePoint now, std::vector<TrafficEntry>& out);
  // When EndIdleLines would end a line next; nothing when no line is open.
  std::optional<TimePoint> NextIdleEnd() const;
  // Ends the open text lines, but not a block that waits for its answer.
  void EndLines(std::vector<TrafficEntry>& out);
  // Ends everything: a block still waiting for its answer shows "no answer".
  void Finish(std::vector<TrafficEntry>& out);

  // The bytes as the log shows them.
  static std::string Visible(std::span<const std::uint8_t> bytes);
  static std::string Visible(std::string_view text);
  // "  1234.567 TX ATE0<CR><LF>": milliseconds, the direction (TX sent, RX
  // received, -- the program's own note) and the text.
  static std::string Line(const TrafficEntry& entry);
  // CRC-16/XMODEM (polynomial 0x1021, initial value 0) of a block's data.
  static std::uint16_t Crc16(std::span<const std::uint8_t> data);

 private:
  struct OpenLine {
    bool open = false;
    TimePoint first;
    TimePoint last;
    std::size_t bytes = 0;
    std::string text;
  };
  struct WaitingBlock {
    TimePoint at;
    std::int64_t number = 0;
    int wire = 0;
    std::size_t size = 0;
    bool crcRight = true;
  };

  std::int64_t Microseconds(TimePoint at);
  void AddText(int direction, TimePoint at, std::span<const std::uint8_t> bytes,
               std::vector<TrafficEntry>& out);
  void EndLine(int direction, std::vector<TrafficEntry>& out);
  void EndBlock(std::string_view answer, std::vector<TrafficEntry>& out);
  // The frame size when `bytes` is exactly one XMODEM block; 0 otherwise.
  static std::size_t BlockSize(std::span<const std::uint8_t> bytes);
  void StartBlock(TimePoint at, std::span<const std::uint8_t> bytes);

  std::optional<TimePoint> origin_;
  OpenLine lines_[2];  // [0] sent, [1] received
  std::optional<WaitingBlock> block_;
  // Notes made while a block waits for its answer: they follow the block's entry.
  std::vector<TrafficEntry> heldNotes_;
  int lastWireNumber_ = -1;  // of the block sent before; -1 after other traffic
  std::int64_t lastNumber_ = 0;
};

}  // namespace zendra
