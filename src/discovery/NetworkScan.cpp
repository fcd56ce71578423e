#include "discovery/NetworkScan.h"

#include "base/Clock.h"
#include "discovery/ScanReply.h"
#include "discovery/ScanReplyWatch.h"

namespace zendra {

namespace {

constexpr const char* kError = "ERROR";
// The module is looked at every 10 ms at the latest, `seconds` × 100 times.
constexpr int kPollMs = 10;
constexpr int kPollsPerSecond = 100;

}  // namespace

std::string CollectAtReply(LineLease& line, std::string_view command, int seconds) {
  AtLink& link = line.Link();
  if (!link.portOpen) return kError;
  std::string& reply = line.Reply();
  ReceiveBuffer& ring = line.Ring();
  reply.clear();
  ring.Reset();
  line.Port().Write(command);

  ScanReplyWatch watch;
  const auto deadline = Clock::DeadlineAfter(seconds * kPollsPerSecond * kPollMs);
  for (;;) {
    const auto wait = ring.WaitForInput(deadline, line.StopToken());
    reply += ring.TakeText();
    std::size_t at = 0;
    ScanReplyState state = watch.Judge(reply, &at);
    if (state != ScanReplyState::kPending) {
      // The deciding line may be the last piece so far: its rest comes within a few
      // character times. A piece "OK" that goes on ("OKAY|...") is no verdict.
      const std::size_t before = reply.size();
      link.TakeRestOfLine(at);
      if (reply.size() != before) state = watch.Judge(reply, &at);
      if (state == ScanReplyState::kComplete) return reply;
      if (state == ScanReplyState::kFailed) return kError;
    }
    // A port that went away sends nothing more: no need to wait out the bound.
    if (line.Stopped() || wait == ReceiveBuffer::Wait::kLineLost || Clock::Now() >= deadline)
      return kError;
  }
}

ScanResult RunNetworkScan(LineLease& line, Operator& op) {
  ScanResult result;
  if (line.Link().portOpen) {
    // A sleepy end device misses a command that does not follow a lone "\n".
    line.Link().WakeUpIfSleepy();
    const std::string reply = CollectAtReply(line, kScanCommand, SCAN_TIMEOUT_SECONDS);
    if (line.Stopped()) {
      result.outcome = ScanResult::Outcome::kStopped;
      return result;
    }
    if (reply != kError) {
      result.outcome = ScanResult::Outcome::kListed;
      result.devices = ParseScanReply(reply);
      return result;
    }
  }
  // The port gone is said as such, as a transfer says it, not as a failed scan.
  op.ShowMessage(line.Link().LineLost() ? AtLink::kLineLostMessage : kScanFailedMessage);
  return result;
}

}  // namespace zendra
