#include "XmodemReceiver.h"

#include <algorithm>

namespace zendra::sim {

namespace {

constexpr std::uint8_t kSoh = 0x01;
constexpr std::uint8_t kEtx = 0x03;
constexpr std::uint8_t kEot = 0x04;
constexpr std::uint8_t kAck = 0x06;
constexpr std::uint8_t kNak = 0x15;
constexpr std::uint8_t kCan = 0x18;
constexpr std::uint8_t kStartRequest = 'C';
constexpr std::size_t kBlockSize = 133;
constexpr std::size_t kPayloadSize = 128;

constexpr int kRequestIntervalMs = 1000;
// After a minute without a first block the receiver gives up.
constexpr int kMaxRequests = 60;
constexpr int kBlockGapMs = 1000;
constexpr int kSecondEotMs = 1000;

}  // namespace

std::uint16_t Crc16Xmodem(const std::uint8_t* data, std::size_t length) {
  std::uint16_t crc = 0;
  for (std::size_t i = 0; i < length; ++i) {
    crc = static_cast<std::uint16_t>(crc ^ (data[i] << 8));
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 0x8000) ? static_cast<std::uint16_t>((crc << 1) ^ 0x1021)
                           : static_cast<std::uint16_t>(crc << 1);
    }
  }
  return crc;
}

SimClock::duration XmodemReceiver::Scaled(int ms) const {
  return std::chrono::duration_cast<SimClock::duration>(
      std::chrono::duration<double, std::milli>(ms * timeScale_));
}

void XmodemReceiver::Begin(TimePoint at, Step& out) {
  state_ = State::AwaitFirstBlock;
  image_.clear();
  block_.clear();
  ignored_.clear();
  accepted_ = refused_ = cancels_ = 0;
  silent_ = false;
  blockTooSoon_ = false;
  requestsSent_ = 0;
  nextRequest_ = at;
  lastByte_ = at;
  OnTime(at, out);
}

void XmodemReceiver::Reset() {
  state_ = State::Idle;
  image_.clear();
  block_.clear();
  ignored_.clear();
}

void XmodemReceiver::OnByte(std::uint8_t byte, TimePoint at, Step& out) {
  switch (state_) {
    case State::Idle:
      break;
    case State::AwaitFirstBlock:
      // Only a block, the end of an empty transfer or the sender's cancel counts;
      // the line end after the menu choice and anything else is passed over.
      if (byte == kCan) {
        if (++cancels_ >= 2) End(Ending::Cancelled, out);
        break;
      }
      cancels_ = 0;
      if (byte == kSoh || byte == kEot) {
        state_ = State::Receiving;
        ReceivingByte(byte, at, out);
      } else {
        NoteIgnored(byte, out);
      }
      break;
    case State::Receiving:
      ReceivingByte(byte, at, out);
      break;
    case State::AfterEot:
      if (byte == kEot) {
        Answer(kAck, out);
        End(Ending::Completed, out);
      }
      break;
  }
}

void XmodemReceiver::NoteIgnored(std::uint8_t byte, Step& out) {
  ignored_ += static_cast<char>(byte);
  if (byte == '\n' || ignored_.size() >= 256) {
    out.entries.push_back(std::move(ignored_));
    ignored_.clear();
  }
}

void XmodemReceiver::ReceivingByte(std::uint8_t byte, TimePoint at, Step& out) {
  lastByte_ = at;
  if (!block_.empty()) {
    block_.push_back(byte);
    lastBlockByte_ = at;
    if (block_.size() == kBlockSize) EvaluateBlock(out);
    return;
  }
  if (byte == kCan) {
    // The sender gives up with CAN CAN CAN.
    if (++cancels_ >= 2) End(Ending::Cancelled, out);
    return;
  }
  cancels_ = 0;
  switch (byte) {
    case kSoh:
      block_.push_back(byte);
      lastBlockByte_ = at;
      // Counted from the ACKed block's last byte to this block's first one.
      blockTooSoon_ = settings_.blockSettleMs > 0 && accepted_ > 0 &&
                      at - lastAck_ < Scaled(settings_.blockSettleMs);
      break;
    case kEot:
      EndOfTransmission(at, out);
      break;
    case kEtx:
      if (settings_.etxCancels) End(Ending::Cancelled, out);
      break;
    default:
      break;  // line noise between blocks
  }
}

void XmodemReceiver::EvaluateBlock(Step& out) {
  std::uint8_t number = block_[1];
  std::uint8_t complement = block_[2];
  const std::uint8_t* payload = block_.data() + 3;
  std::uint16_t crc = static_cast<std::uint16_t>((block_[131] << 8) | block_[132]);
  bool intact = static_cast<std::uint8_t>(number + complement) == 0xFF &&
                Crc16Xmodem(payload, kPayloadSize) == crc;
  auto expected = static_cast<std::uint8_t>((accepted_ + 1) & 0xFF);
  auto previous = static_cast<std::uint8_t>(accepted_ & 0xFF);

  if (!intact || blockTooSoon_) {
    // A block that came while the last one was still being written away is lost.
    Answer(kNak, out);
  } else if (number == expected) {
    int ordinal = accepted_ + 1;
    if (settings_.refuseEveryBlock) {
      Answer(settings_.refuseWith, out);
    } else if (ordinal == settings_.refuseBlock && refused_ < settings_.refuseTimes) {
      ++refused_;
      Answer(settings_.refuseWith, out);
    } else {
      image_.insert(image_.end(), payload, payload + kPayloadSize);
      accepted_ = ordinal;
      Answer(kAck, out);
      lastAck_ = lastBlockByte_;
      if (settings_.silentAfterBlock > 0 && accepted_ >= settings_.silentAfterBlock) silent_ = true;
    }
  } else if (accepted_ > 0 && number == previous) {
    Answer(kAck, out);  // a repeat after a lost ACK: already kept
  } else {
    Answer(kNak, out);
  }
  block_.clear();
  blockTooSoon_ = false;
}

void XmodemReceiver::EndOfTransmission(TimePoint at, Step& out) {
  if (silent_) return;
  out.text += static_cast<char>(settings_.eotAnswer);
  state_ = State::AfterEot;
  eotDeadline_ = at + Scaled(kSecondEotMs);
}

void XmodemReceiver::End(Ending ending, Step& out) {
  if (!ignored_.empty()) {
    out.entries.push_back(std::move(ignored_));
    ignored_.clear();
  }
  out.ending = ending;
  if (ending == Ending::Completed) out.image = std::move(image_);
  image_.clear();
  block_.clear();
  state_ = State::Idle;
}

void XmodemReceiver::Answer(std::uint8_t byte, Step& out) {
  if (!silent_) out.text += static_cast<char>(byte);
}

void XmodemReceiver::OnTime(TimePoint now, Step& out) {
  switch (state_) {
    case State::AwaitFirstBlock:
      while (now >= nextRequest_) {
        if (requestsSent_ >= kMaxRequests) {
          End(Ending::NoUpload, out);
          return;
        }
        if (!settings_.neverSendC) out.text += static_cast<char>(kStartRequest);
        ++requestsSent_;
        nextRequest_ += Scaled(kRequestIntervalMs);
      }
      break;
    case State::Receiving:
      if (settings_.idleLimitMs > 0 && now >= lastByte_ + Scaled(settings_.idleLimitMs)) {
        End(Ending::TimedOut, out);
        return;
      }
      if (!block_.empty() && now >= lastBlockByte_ + Scaled(kBlockGapMs)) {
        block_.clear();
        blockTooSoon_ = false;
        Answer(kNak, out);
      }
      break;
    case State::AfterEot:
      // The second EOT never came: the image is complete all the same.
      if (now >= eotDeadline_) End(Ending::Completed, out);
      break;
    case State::Idle:
      break;
  }
}

std::optional<XmodemReceiver::TimePoint> XmodemReceiver::NextDeadline() const {
  switch (state_) {
    case State::AwaitFirstBlock:
      return nextRequest_;
    case State::Receiving: {
      std::optional<TimePoint> next;
      if (!block_.empty()) next = lastBlockByte_ + Scaled(kBlockGapMs);
      if (settings_.idleLimitMs > 0) {
        TimePoint idle = lastByte_ + Scaled(settings_.idleLimitMs);
        next = next ? std::min(*next, idle) : idle;
      }
      return next;
    }
    case State::AfterEot:
      return eotDeadline_;
    case State::Idle:
      return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace zendra::sim
