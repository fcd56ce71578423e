#pragma once
// The packet transfer engine: sends one firmware image to a module bootloader that
// is already waiting for it, in XMODEM-CRC blocks, one block in flight at a time,
// then ends the transmission and waits for the bootloader to report completion.
//
// A run, in order: drain what is left in the receive side; open the image; wait
// for the bootloader's start request 'C' (other bytes - menu text, prompts - are
// skipped, each with a fresh budget); send the blocks, each answered by ACK, or
// refused by NAK, CAN or any other byte and sent again, at most ten refusals per
// block before three CAN bytes cancel the transfer; EOT, any byte as its answer,
// EOT again and "\r\n"; then the completion text "...omplete..." in the reply, or
// the bootloader's refusal of the image it checked ("...upload aborted...").
//
// The engine knows no port and no window: it talks through a TransferChannel and
// reports through sinks (status texts, a progress value 0..100, bytes sent), and
// runs on its host's worker thread. Once a stop is requested it calls no sink
// and no operator any more and returns at its next wait.

#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>

#include "base/Operator.h"
#include "firmware/CrcTable.h"
#include "firmware/TransferChannel.h"
#include "serial/AtLink.h"

namespace zendra {

// How a run ended.
enum class TransferResult {
  kSuccess,          // the completion text was seen
  kFailure,          // no answer to a block or to EOT, a block refused ten times, a changed file
  kNoStartRequest,   // no 'C' within the budget
  kNoCompletion,     // EOT acknowledged, but no completion text within the bound
  kRefused,          // the bootloader checked the image it received and refused it
  kFileNotOpened,    // the image could not be opened; nothing was sent
  kLineLost,         // the port went away under the transfer
  kStopped,          // the host asked the run to stop
};

struct TransferParams {
  // Shown once the image is open.
  std::string firstStatus = "Preparing for firmware update......";
  // Polls of 1 ms for each block's answer: 5000 on the local line, 20000 when the
  // local module relays the blocks to a remote one.
  int replyBudget = 5000;
  // A missing start request is a transfer failure ("Transmit error.") for the
  // page's worker; the reload dialog reports it itself and leaves the status alone.
  bool noStartRequestIsFailure = true;
  // The 1 ms pause after each acknowledged block. A fast transfer leaves it out and
  // sends the next block as soon as the ACK is in: about 8 % more speed at 115200.
  // A bootloader that needs the pause (it writes the block away first) refuses a
  // block that comes too soon, and the block's retries bring it through.
  bool pauseAfterBlock = true;
};

// Where the engine reports. Every sink may be empty. They are called on the
// worker thread: a window marshals them onto its own thread and must not block on it.
struct TransferSinks {
  std::function<void(const std::string& text)> status;
  std::function<void(int percent)> progress;
  // Image bytes acknowledged so far and the image's length, after every ACK.
  std::function<void(std::int64_t sent, std::int64_t total)> bytes;
  // The block's report in one call, for a host that makes it a typed event: when
  // given, it takes the place of the three above after every ACK (the percentage
  // text, the value and the bytes); the steps' texts still go to `status`.
  std::function<void(std::int64_t sent, std::int64_t total)> block;
};

class ImageTransfer {
 public:
  // Wire bytes of the bootloader protocol.
  static constexpr std::uint8_t kSoh = 0x01;
  static constexpr std::uint8_t kEot = 0x04;
  static constexpr std::uint8_t kAck = 0x06;
  static constexpr std::uint8_t kNak = 0x15;
  static constexpr std::uint8_t kCan = 0x18;
  static constexpr std::uint8_t kStartRequest = 'C';
  static constexpr std::uint8_t kPadding = 0x26;
  static constexpr int kPayloadSize = 128;
  static constexpr int kPacketSize = 133;
  static constexpr int kRefusalsPerBlock = 10;
  static constexpr int kStartBudget = 5000;
  static constexpr int kEotBudget = 5000;
  // The completion text normally follows the second EOT within a second; a
  // bootloader that never sends it ends the run as a failure after this bound.
  static constexpr int kCompletionWaitMs = 30000;
  // The status when the bootloader refused the image it received.
  static constexpr const char* kRefusedStatus = "The bootloader refused the image.";
  static constexpr const char* kLineLostMessage = AtLink::kLineLostMessage;

  ImageTransfer(TransferChannel& channel, const CrcTable& crcTable, Operator& op,
                TransferSinks sinks);

  // Sends the image at `path`. Runs until success, failure or a stop request.
  TransferResult Run(const std::string& path, const TransferParams& params,
                     std::stop_token stop);

  // "%.2f%% Completed!" with 100 - remaining * 100.0 / total.
  static std::string PercentText(std::int64_t remaining, std::int64_t total);
  // 100 - (remaining * 100) / total, integer division.
  static int PercentValue(std::int64_t remaining, std::int64_t total);
  // The refusal texts: "%3.3d Packets Error! [NAK-%2.2d]", "%d Packets Error! [CAN]",
  // "%3.3d Packets Error! [0x%2.2X-%2.2d]" with the block ordinal, the byte and
  // the retry budget before it is lowered.
  static std::string RefusalText(std::int64_t ordinal, int answer, int retryBudget);

 private:
  void Status(const std::string& text, std::stop_token stop) const;
  // After an acknowledged block: the sinks hear how far the image has got.
  void ReportBlock(std::int64_t remaining, std::int64_t total, std::stop_token stop) const;
  void Drain(std::stop_token stop);
  void Cancel();
  TransferResult LineLost(std::stop_token stop);

  TransferChannel& channel_;
  const CrcTable& crcTable_;
  Operator& operator_;
  TransferSinks sinks_;
};

}  // namespace zendra
