#include "Bootloader.h"

#include <algorithm>
#include <cstring>

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
// After a minute without a first block the receiver gives up and shows the menu.
constexpr int kMaxRequests = 60;
constexpr int kBlockGapMs = 1000;
constexpr int kSecondEotMs = 1000;

bool IsVersionChar(std::uint8_t c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '.' ||
         c == '_' || c == '-';
}

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

std::string VersionInImage(const std::vector<std::uint8_t>& image) {
  static constexpr char kKey[] = "VERSION=";
  constexpr std::size_t kKeyLength = sizeof kKey - 1;
  auto it = std::search(image.begin(), image.end(), kKey, kKey + kKeyLength);
  std::string version;
  if (it == image.end()) return version;
  for (it += kKeyLength; it != image.end() && IsVersionChar(*it); ++it)
    version += static_cast<char>(*it);
  return version;
}

SimClock::duration Bootloader::Scaled(int ms) const {
  return std::chrono::duration_cast<SimClock::duration>(
      std::chrono::duration<double, std::milli>(ms * timeScale_));
}

void Bootloader::Enter() {
  state_ = State::Menu;
  pending_.clear();
  lastWasCr_ = false;
  block_.clear();
  image_.clear();
}

void Bootloader::OnByte(std::uint8_t byte, TimePoint at, Output& out) {
  switch (state_) {
    case State::Menu:
      MenuByte(byte, at, out);
      break;
    case State::AwaitFirstBlock:
      // Only a block, the end of an empty transfer or the sender's cancel counts;
      // the line end after the menu choice and anything else is passed over.
      if (byte == kCan) {
        if (++cancels_ >= 2) Abort(out);
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
        Finish(out);
      }
      break;
  }
}

void Bootloader::NoteIgnored(std::uint8_t byte, Output& out) {
  pending_ += static_cast<char>(byte);
  if (byte == '\n' || pending_.size() >= 256) {
    out.entries.push_back(std::move(pending_));
    pending_.clear();
  }
}

void Bootloader::MenuByte(std::uint8_t byte, TimePoint at, Output& out) {
  pending_ += static_cast<char>(byte);
  bool acts = byte == kEtx || byte == '\n' || byte == '1' || byte == '2' || byte == '3';
  if (acts || pending_.size() >= 256) {
    out.entries.push_back(std::move(pending_));
    pending_.clear();
  }
  bool afterCr = lastWasCr_;
  lastWasCr_ = byte == '\r';
  switch (byte) {
    case kEtx:
    case '\r':
      out.text += kBootloaderMenu;
      break;
    case '\n':
      if (!afterCr) out.text += kBootloaderMenu;
      break;
    case '1':
      out.text += kBeginUpload;
      state_ = State::AwaitFirstBlock;
      image_.clear();
      block_.clear();
      accepted_ = refused_ = cancels_ = 0;
      silent_ = false;
      requestsSent_ = 0;
      nextRequest_ = at;
      OnTime(at, out);
      break;
    case '2':
      if (damaged_) {
        out.text += kBootloaderMenu;
      } else {
        out.runApplication = true;
      }
      break;
    case '3':
      out.text += "\r\nebl info: v" + version_ + "\r\nBL > ";
      break;
    default:
      break;
  }
}

void Bootloader::ReceivingByte(std::uint8_t byte, TimePoint at, Output& out) {
  if (!block_.empty()) {
    block_.push_back(byte);
    lastBlockByte_ = at;
    if (block_.size() == kBlockSize) EvaluateBlock(out);
    return;
  }
  if (byte == kCan) {
    // The sender gives up with CAN CAN CAN.
    if (++cancels_ >= 2) Abort(out);
    return;
  }
  cancels_ = 0;
  switch (byte) {
    case kSoh:
      block_.push_back(byte);
      lastBlockByte_ = at;
      break;
    case kEot:
      EndOfTransmission(at, out);
      break;
    case kEtx:
      Abort(out);
      break;
    default:
      break;  // line noise between blocks
  }
}

void Bootloader::EvaluateBlock(Output& out) {
  std::uint8_t number = block_[1];
  std::uint8_t complement = block_[2];
  const std::uint8_t* payload = block_.data() + 3;
  std::uint16_t crc = static_cast<std::uint16_t>((block_[131] << 8) | block_[132]);
  bool intact = static_cast<std::uint8_t>(number + complement) == 0xFF &&
                Crc16Xmodem(payload, kPayloadSize) == crc;
  auto expected = static_cast<std::uint8_t>((accepted_ + 1) & 0xFF);
  auto previous = static_cast<std::uint8_t>(accepted_ & 0xFF);

  if (!intact) {
    Answer(kNak, out);
  } else if (number == expected) {
    int ordinal = accepted_ + 1;
    if (ordinal == faults_.refuseBlock && refused_ < faults_.refuseTimes) {
      ++refused_;
      Answer(faults_.refuseWith, out);
    } else {
      image_.insert(image_.end(), payload, payload + kPayloadSize);
      accepted_ = ordinal;
      Answer(kAck, out);
      if (faults_.silentAfterBlock > 0 && accepted_ >= faults_.silentAfterBlock) silent_ = true;
    }
  } else if (accepted_ > 0 && number == previous) {
    Answer(kAck, out);  // a repeat after a lost ACK: already kept
  } else {
    Answer(kNak, out);
  }
  block_.clear();
}

void Bootloader::EndOfTransmission(TimePoint at, Output& out) {
  if (silent_) return;
  out.text += static_cast<char>(faults_.eotAnswer);
  state_ = State::AfterEot;
  eotDeadline_ = at + Scaled(kSecondEotMs);
}

void Bootloader::Finish(Output& out) {
  out.imageComplete = true;
  out.image = std::move(image_);
  image_.clear();
  damaged_ = false;
  if (!faults_.noCompletionText) out.text += kUploadComplete;
  out.text += kBootloaderMenu;
  state_ = State::Menu;
  lastWasCr_ = false;
}

void Bootloader::Abort(Output& out) {
  image_.clear();
  block_.clear();
  out.text += kUploadAborted;
  out.text += kBootloaderMenu;
  state_ = State::Menu;
  lastWasCr_ = false;
}

void Bootloader::Answer(std::uint8_t byte, Output& out) {
  if (!silent_) out.text += static_cast<char>(byte);
}

void Bootloader::OnTime(TimePoint now, Output& out) {
  switch (state_) {
    case State::AwaitFirstBlock:
      while (now >= nextRequest_) {
        if (requestsSent_ >= kMaxRequests) {
          out.text += "\r\nno upload\r\n";
          out.text += kBootloaderMenu;
          state_ = State::Menu;
          lastWasCr_ = false;
          return;
        }
        if (!faults_.neverSendC) out.text += static_cast<char>(kStartRequest);
        ++requestsSent_;
        nextRequest_ += Scaled(kRequestIntervalMs);
      }
      break;
    case State::Receiving:
      if (!block_.empty() && now >= lastBlockByte_ + Scaled(kBlockGapMs)) {
        block_.clear();
        Answer(kNak, out);
      }
      break;
    case State::AfterEot:
      // The second EOT never came: the image is complete all the same.
      if (now >= eotDeadline_) Finish(out);
      break;
    case State::Menu:
      break;
  }
}

std::optional<Bootloader::TimePoint> Bootloader::NextDeadline() const {
  switch (state_) {
    case State::AwaitFirstBlock:
      return nextRequest_;
    case State::Receiving:
      if (!block_.empty()) return lastBlockByte_ + Scaled(kBlockGapMs);
      return std::nullopt;
    case State::AfterEot:
      return eotDeadline_;
    case State::Menu:
      return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace zendra::sim
