#include "serial/TrafficFormatter.h"

#include <cinttypes>
#include <cstdio>

namespace zendra {

namespace {

constexpr std::uint8_t kSoh = 0x01;
constexpr std::uint8_t kStx = 0x02;
constexpr std::uint8_t kAck = 0x06;
constexpr std::uint8_t kNak = 0x15;
constexpr std::uint8_t kCan = 0x18;
constexpr std::size_t kShortBlock = 3 + 128 + 2;
constexpr std::size_t kLongBlock = 3 + 1024 + 2;

// The names of the control bytes; XON and XOFF rather than DC1 and DC3, since that
// is what they are on a serial line.
constexpr const char* kControlNames[32] = {
    "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",   "TAB", "LF",
    "VT",  "FF",  "CR",  "SO",  "SI",  "DLE", "XON", "DC2", "XOFF", "DC4", "NAK",
    "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",   "US",
};

void AppendVisible(std::string& text, std::uint8_t byte) {
  if (byte < 0x20) {
    text += '<';
    text += kControlNames[byte];
    text += '>';
  } else if (byte == 0x7F) {
    text += "<DEL>";
  } else if (byte == '<' || byte > 0x7F) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "<0x%02X>", byte);
    text += hex;
  } else {
    text += static_cast<char>(byte);
  }
}

}  // namespace

std::string TrafficFormatter::Visible(std::span<const std::uint8_t> bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (const std::uint8_t byte : bytes) AppendVisible(text, byte);
  return text;
}

std::string TrafficFormatter::Visible(std::string_view text) {
  return Visible(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

std::string TrafficFormatter::Line(const TrafficEntry& entry) {
  const char* direction = entry.direction == TrafficEntry::Direction::kSent       ? "TX"
                          : entry.direction == TrafficEntry::Direction::kReceived ? "RX"
                                                                                  : "--";
  const std::int64_t us = entry.microseconds < 0 ? 0 : entry.microseconds;
  char head[48];
  std::snprintf(head, sizeof head, "%7" PRId64 ".%03" PRId64 " %s ", us / 1000, us % 1000,
                direction);
  return head + entry.text;
}

std::uint16_t TrafficFormatter::Crc16(std::span<const std::uint8_t> data) {
  std::uint16_t crc = 0;
  for (const std::uint8_t byte : data) {
    crc ^= static_cast<std::uint16_t>(byte << 8);
    for (int bit = 0; bit < 8; ++bit)
      crc = (crc & 0x8000) ? static_cast<std::uint16_t>((crc << 1) ^ 0x1021)
                           : static_cast<std::uint16_t>(crc << 1);
  }
  return crc;
}

std::int64_t TrafficFormatter::Microseconds(TimePoint at) {
  if (!origin_) origin_ = at;
  return std::chrono::duration_cast<std::chrono::microseconds>(at - *origin_).count();
}

std::size_t TrafficFormatter::BlockSize(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < 3 || (bytes[1] ^ bytes[2]) != 0xFF) return 0;
  if (bytes[0] == kSoh && bytes.size() == kShortBlock) return kShortBlock;
  if (bytes[0] == kStx && bytes.size() == kLongBlock) return kLongBlock;
  return 0;
}

void TrafficFormatter::StartBlock(TimePoint at, std::span<const std::uint8_t> bytes) {
  const int wire = bytes[1];
  // The number on the line has 8 bits; the transfer's own count goes on past 255.
  std::int64_t number = wire;
  if (lastWireNumber_ >= 0 && wire == lastWireNumber_) {
    number = lastNumber_;  // sent again after a refusal
  } else if (lastWireNumber_ >= 0 && wire == ((lastWireNumber_ + 1) & 0xFF)) {
    number = lastNumber_ + 1;
  }
  lastWireNumber_ = wire;
  lastNumber_ = number;
  const auto data = bytes.subspan(3, bytes.size() - 5);
  const std::uint16_t crc =
      static_cast<std::uint16_t>((bytes[bytes.size() - 2] << 8) | bytes[bytes.size() - 1]);
  block_ = WaitingBlock{at, number, wire, bytes.size(), Crc16(data) == crc};
}

void TrafficFormatter::EndBlock(std::string_view answer, std::vector<TrafficEntry>& out) {
  if (!block_) return;
  std::string text = "block " + std::to_string(block_->number);
  if (block_->number != block_->wire) text += " (" + std::to_string(block_->wire) + " on the line)";
  text += ", " + std::to_string(block_->size) + " bytes, ";
  if (!block_->crcRight) text += "CRC wrong, ";
  text += answer;
  out.push_back({Microseconds(block_->at), TrafficEntry::Direction::kSent, std::move(text), true});
  block_.reset();
  for (auto& note : heldNotes_) out.push_back(std::move(note));
  heldNotes_.clear();
}

void TrafficFormatter::EndLine(int direction, std::vector<TrafficEntry>& out) {
  OpenLine& line = lines_[direction];
  if (!line.open) return;
  out.push_back(
      {Microseconds(line.first),
       direction == 0 ? TrafficEntry::Direction::kSent : TrafficEntry::Direction::kReceived,
       std::move(line.text)});
  line = OpenLine{};
}

void TrafficFormatter::AddText(int direction, TimePoint at, std::span<const std::uint8_t> bytes,
                               std::vector<TrafficEntry>& out) {
  OpenLine& line = lines_[direction];
  for (const std::uint8_t byte : bytes) {
    if (!line.open) {
      line.open = true;
      line.first = at;
    }
    line.last = at;
    AppendVisible(line.text, byte);
    ++line.bytes;
    if (byte == '\n' || line.bytes >= kMaxLineBytes) EndLine(direction, out);
  }
}

void TrafficFormatter::Add(LineTap::Event event, TimePoint at, std::span<const std::uint8_t> bytes,
                           std::vector<TrafficEntry>& out) {
  if (!origin_) origin_ = at;
  switch (event) {
    case LineTap::Event::kSent: {
      EndLine(1, out);
      // The write after a block without any answer in between.
      EndBlock("no answer", out);
      if (BlockSize(bytes) != 0) {
        EndLine(0, out);
        StartBlock(at, bytes);
      } else {
        lastWireNumber_ = -1;
        AddText(0, at, bytes, out);
      }
      return;
    }
    case LineTap::Event::kReceived: {
      EndLine(0, out);
      if (block_ && !bytes.empty()) {
        // The first byte after a block is the bootloader's answer to it.
        const std::uint8_t answer = bytes[0];
        EndBlock(answer == kAck   ? "ACK"
                 : answer == kNak ? "NAK"
                 : answer == kCan ? "CAN"
                                  : "answer " + Visible(bytes.first(1)),
                 out);
        bytes = bytes.subspan(1);
      }
      AddText(1, at, bytes, out);
      return;
    }
    case LineTap::Event::kOpened:
    case LineTap::Event::kClosed:
    case LineTap::Event::kLost:
    case LineTap::Event::kNote: {
      // A note of the program's own (a typed command refused meanwhile) does not take
      // a block's answer: it waits for it and follows the block's entry. The port's
      // own events end everything.
      if (event == LineTap::Event::kNote) {
        EndLines(out);
      } else {
        Finish(out);
      }
      std::string text;
      if (event == LineTap::Event::kOpened) text = "open ";
      if (event == LineTap::Event::kClosed) text = "close";
      if (event == LineTap::Event::kLost) text = "line lost: the port vanished";
      text += Visible(bytes);
      if (event != LineTap::Event::kNote) lastWireNumber_ = -1;
      TrafficEntry entry{Microseconds(at), TrafficEntry::Direction::kNote, std::move(text)};
      if (block_) {
        heldNotes_.push_back(std::move(entry));
      } else {
        out.push_back(std::move(entry));
      }
      return;
    }
  }
}

void TrafficFormatter::EndIdleLines(TimePoint now, std::vector<TrafficEntry>& out) {
  for (int direction = 0; direction < 2; ++direction) {
    if (lines_[direction].open && now - lines_[direction].last >= kIdleEnd) EndLine(direction, out);
  }
}

std::optional<TrafficFormatter::TimePoint> TrafficFormatter::NextIdleEnd() const {
  std::optional<TimePoint> next;
  for (const OpenLine& line : lines_) {
    if (line.open && (!next || line.last + kIdleEnd < *next)) next = line.last + kIdleEnd;
  }
  return next;
}

void TrafficFormatter::EndLines(std::vector<TrafficEntry>& out) {
  // Only one of them is open at a time: each direction's traffic ends the other's line.
  EndLine(0, out);
  EndLine(1, out);
}

void TrafficFormatter::Finish(std::vector<TrafficEntry>& out) {
  EndLines(out);
  EndBlock("no answer", out);
}

}  // namespace zendra
