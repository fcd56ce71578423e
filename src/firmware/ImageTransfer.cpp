#include "firmware/ImageTransfer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <span>

#include "base/Clock.h"
#include "base/FileAccess.h"
#include "base/SharpTimers.h"

namespace zendra {

namespace {

constexpr const char* kCouldNotOpen = "ERROR: Could not open the firmware file.";
constexpr const char* kFileError = "Firmware update error.";
constexpr const char* kTransmitError = "Transmit error.";
constexpr const char* kFinishing = "Finishing...";
constexpr const char* kUpdateComplete = "Update complete.";
// The bootloader reports "...Serial upload complete" (or "Complete") in text.
constexpr const char* kCompletionText = "omplete";
// ... and an image it checked and refused with "Serial upload aborted: ..." (a
// relaying module with "Remote upload aborted: ..."). The manager cancels nothing
// once it has sent the EOTs, so this can only be the bootloader's verdict.
constexpr const char* kRefusalText = "upload aborted";

// The image file, closed exactly once whichever way the run ends: explicitly
// where the run's steps close it, otherwise when the run returns.
class ImageFile {
 public:
  ~ImageFile() { Close(); }
  bool Open(const std::string& path) {
    file_ = OpenForReading(path);
    return file_ != nullptr;
  }
  void Close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
  }
  // The length of the image; -1 when the file cannot be measured.
  std::int64_t Measure() {
    if (::fseeko(file_, 0, SEEK_END) != 0) return -1;
    const std::int64_t total = ::ftello(file_);
    if (::fseeko(file_, 0, SEEK_SET) != 0) return -1;
    return total;
  }
  std::size_t Read(std::uint8_t* into, std::size_t n) { return std::fread(into, 1, n, file_); }

 private:
  std::FILE* file_ = nullptr;
};

}  // namespace

ImageTransfer::ImageTransfer(TransferChannel& channel, const CrcTable& crcTable, Operator& op,
                             TransferSinks sinks)
    : channel_(channel), crcTable_(crcTable), operator_(op), sinks_(std::move(sinks)) {}

std::string ImageTransfer::PercentText(std::int64_t remaining, std::int64_t total) {
  char text[40];
  const double percent = 100.0 - static_cast<double>(remaining) * 100.0 / static_cast<double>(total);
  std::snprintf(text, sizeof text, "%.2f%% Completed!", percent);
  return text;
}

int ImageTransfer::PercentValue(std::int64_t remaining, std::int64_t total) {
  // 64-bit: remaining * 100 outgrows 32 bits for images above 21 MB.
  return static_cast<int>(100 - (remaining * 100) / total);
}

std::string ImageTransfer::RefusalText(std::int64_t ordinal, int answer, int retryBudget) {
  char text[64];
  const long long n = ordinal;
  if (answer == kNak) {
    std::snprintf(text, sizeof text, "%3.3lld Packets Error! [NAK-%2.2d]", n, retryBudget);
  } else if (answer == kCan) {
    std::snprintf(text, sizeof text, "%lld Packets Error! [CAN]", n);
  } else {
    std::snprintf(text, sizeof text, "%3.3lld Packets Error! [0x%2.2X-%2.2d]", n, answer,
                  retryBudget);
  }
  return text;
}

void ImageTransfer::Status(const std::string& text, std::stop_token stop) const {
  // After a stop request the host may be going away: report nothing more.
  if (sinks_.status && !stop.stop_requested()) sinks_.status(text);
}

void ImageTransfer::ReportBlock(std::int64_t remaining, std::int64_t total,
                                std::stop_token stop) const {
  if (stop.stop_requested()) return;
  if (sinks_.block) {
    sinks_.block(total - remaining, total);
    return;
  }
  Status(PercentText(remaining, total), stop);
  if (sinks_.progress) sinks_.progress(PercentValue(remaining, total));
  if (sinks_.bytes) sinks_.bytes(total - remaining, total);
}

void ImageTransfer::Drain(std::stop_token stop) {
  // Ends on silence, on a stop and on a lost line, also while bytes keep coming.
  while (channel_.ReadByte(1, stop) >= 0) {
  }
}

TransferResult ImageTransfer::LineLost(std::stop_token stop) {
  // Nothing can be sent any more, not even the cancel; waiting out the budgets
  // would only keep the operator waiting for the same end.
  if (stop.stop_requested()) return TransferResult::kStopped;
  operator_.ShowMessage(kLineLostMessage);
  Status(kTransmitError, stop);
  return TransferResult::kLineLost;
}

void ImageTransfer::Cancel() {
  // Three CAN, one byte per write: the bootloader leaves its receive state.
  for (int i = 0; i < 3; ++i) channel_.Write(&kCan, 1);
}

TransferResult ImageTransfer::Run(const std::string& path, const TransferParams& params,
                                  std::stop_token stop) {
  const SharpTimers sharpTimers;
  Drain(stop);
  if (stop.stop_requested()) return TransferResult::kStopped;

  ImageFile file;
  if (!file.Open(path)) {
    operator_.ShowMessage(kCouldNotOpen);
    Status(kFileError, stop);
    return TransferResult::kFileNotOpened;
  }
  Status(params.firstStatus, stop);

  // The bootloader asks for CRC blocks with 'C'; what it prints before (its menu,
  // the line of the menu choice) is skipped, and each skipped byte renews the budget.
  for (;;) {
    const int byte = channel_.ReadByte(kStartBudget, stop);
    if (stop.stop_requested()) {
      // The bootloader is in its receive state already: cancel brings it back to its menu.
      Cancel();
      return TransferResult::kStopped;
    }
    if (byte == TransferChannel::kLineLost) return LineLost(stop);
    if (byte == TransferChannel::kTimeOut) {
      file.Close();
      if (params.noStartRequestIsFailure) Status(kTransmitError, stop);
      return TransferResult::kNoStartRequest;
    }
    if (byte == kStartRequest) break;
  }

  const std::int64_t total = file.Measure();
  if (total < 0) {
    Cancel();
    file.Close();
    Status(kTransmitError, stop);
    return TransferResult::kFailure;
  }
  std::int64_t remaining = total;
  Clock::Sleep(100, stop);
  if (stop.stop_requested()) {
    Cancel();
    return TransferResult::kStopped;
  }

  std::uint8_t packet[kPacketSize];
  std::uint8_t* const payload = packet + 3;
  Clock::TimePoint resume;
  for (std::int64_t ordinal = 1; remaining > 0; ++ordinal) {
    // The whole packet is pre-filled, so the last block's tail is padding.
    std::memset(packet, kPadding, sizeof packet);
    const auto n = static_cast<std::size_t>(std::min<std::int64_t>(remaining, kPayloadSize));
    if (file.Read(payload, n) != n) {
      // The image shrank under us: what would go out now is not the image.
      Cancel();
      file.Close();
      Status(kTransmitError, stop);
      return TransferResult::kFailure;
    }
    remaining -= static_cast<std::int64_t>(n);
    packet[0] = kSoh;
    packet[1] = static_cast<std::uint8_t>(ordinal & 0xFF);
    packet[2] = static_cast<std::uint8_t>(255 - packet[1]);
    const std::uint16_t crc = crcTable_.Compute(std::span<const std::uint8_t>(payload, kPayloadSize));
    packet[131] = static_cast<std::uint8_t>(crc >> 8);
    packet[132] = static_cast<std::uint8_t>(crc & 0xFF);

    // Ten refusals end the block: no eleventh transmission.
    for (int retryBudget = kRefusalsPerBlock;;) {
      channel_.Write(packet, kPacketSize);
      const int answer = channel_.ReadByte(params.replyBudget, stop);
      if (stop.stop_requested()) {
        Cancel();
        return TransferResult::kStopped;
      }
      if (answer == TransferChannel::kLineLost) return LineLost(stop);
      if (answer == TransferChannel::kTimeOut) {
        file.Close();
        Status(kTransmitError, stop);
        return TransferResult::kFailure;
      }
      if (answer == kAck) {
        // The module's 1 ms gap after an acknowledged block counts from the ACK,
        // not from after the reports below.
        resume = Clock::DeadlineAfter(1);
        break;
      }

      Status(RefusalText(ordinal, answer, retryBudget), stop);
      // Whatever followed the refusal belongs to the refused attempt.
      Drain(stop);
      Clock::Sleep(1, stop);
      --retryBudget;
      if (stop.stop_requested()) {
        Cancel();
        return TransferResult::kStopped;
      }
      if (channel_.LineLost()) return LineLost(stop);
      if (retryBudget <= 0) {
        Cancel();
        file.Close();
        Status(kTransmitError, stop);
        return TransferResult::kFailure;
      }
    }

    ReportBlock(remaining, total, stop);
    // Every answer has passed through the receive ring; start the ending with an
    // empty one, so that the completion text is read from a fresh ring however
    // many blocks went before.
    if (remaining == 0) channel_.ResetReceive();
    if (params.pauseAfterBlock) Clock::SleepUntil(resume);  // at most 1 ms
    if (stop.stop_requested()) {
      Cancel();
      return TransferResult::kStopped;
    }
  }

  file.Close();
  Status(kFinishing, stop);
  channel_.Write(&kEot, 1);
  // Whatever byte comes back counts as the answer to the first EOT.
  const int answer = channel_.ReadByte(kEotBudget, stop);
  if (stop.stop_requested()) return TransferResult::kStopped;
  if (answer == TransferChannel::kLineLost) return LineLost(stop);
  if (answer == TransferChannel::kTimeOut) {
    Status(kTransmitError, stop);
    return TransferResult::kFailure;
  }
  channel_.Write(&kEot, 1);
  channel_.Write(reinterpret_cast<const std::uint8_t*>("\r\n"), 2);
  Clock::Sleep(100, stop);
  if (stop.stop_requested()) return TransferResult::kStopped;
  Status(kUpdateComplete, stop);

  // The completion text or the refusal, collected into the reply as the AT
  // transactions do.
  const auto deadline = Clock::DeadlineAfter(kCompletionWaitMs);
  for (;;) {
    const std::string& reply = channel_.CollectReply();
    if (reply.find(kCompletionText) != std::string::npos) {
      Clock::Sleep(100, stop);
      if (stop.stop_requested()) return TransferResult::kStopped;
      return TransferResult::kSuccess;
    }
    if (reply.find(kRefusalText) != std::string::npos) {
      Status(kRefusedStatus, stop);
      return TransferResult::kRefused;
    }
    if (stop.stop_requested()) return TransferResult::kStopped;
    if (channel_.LineLost()) return LineLost(stop);
    if (Clock::Now() >= deadline) {
      Status(kTransmitError, stop);
      return TransferResult::kNoCompletion;
    }
    channel_.WaitForBytes(100, stop);
  }
}

}  // namespace zendra
