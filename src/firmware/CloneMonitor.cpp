#include "firmware/CloneMonitor.h"

#include <algorithm>

#include "base/Clock.h"

namespace zendra {

namespace {
// The local module reports "Clone complete" (or "...Complete") and "ERROR".
constexpr const char* kCompletionText = "omplete";
constexpr const char* kErrorText = "ERROR";
}  // namespace

CloneMonitor::CloneMonitor(ReceiveBuffer& ring, std::string& reply, Sinks sinks)
    : ring_(ring), reply_(reply), sinks_(std::move(sinks)) {}

CloneMonitor::Result CloneMonitor::Run(std::stop_token stop) {
  // The start's own text ("Start cloning ...") is no part of the outcome.
  reply_.clear();
  ring_.Reset();
  const Clock::TimePoint start = Clock::Now();

  for (int pass = 0; pass < kPasses; ++pass) {
    if (stop.stop_requested()) return Result::kStopped;
    if (sinks_.progress) sinks_.progress(pass);
    if (sinks_.status) sinks_.status(AnimationText(pass));
    // Passes are counted from the start, so the reports do not stretch them.
    const Clock::TimePoint passEnd = start + Clock::Scaled((pass + 1) * kPassMs);
    for (;;) {
      reply_ += ring_.TakeText();
      if (const auto at = reply_.find(kCompletionText); at != std::string::npos) {
        TakeRestOfLine(at);
        return Result::kComplete;
      }
      if (const auto at = reply_.find(kErrorText); at != std::string::npos) {
        TakeRestOfLine(at);
        return Result::kError;
      }
      if (Clock::Now() >= passEnd) break;
      const ReceiveBuffer::Wait wait = ring_.WaitForInput(passEnd, stop);
      if (stop.stop_requested()) return Result::kStopped;
      if (wait == ReceiveBuffer::Wait::kLineLost && ring_.Count() == 0) return Result::kLineLost;
    }
  }
  return Result::kTimedOut;
}

std::string CloneMonitor::AnimationText(int pass) {
  return "Cloning" + std::string(static_cast<std::size_t>(std::max(pass, 0)) + 1, '.');
}

void CloneMonitor::TakeRestOfLine(std::size_t from) {
  // The module ends its line a few character times later; its CR LF must not
  // reach the next transaction (the version read back right after a clone), whose
  // reply line it would turn into an empty text.
  const auto bound = Clock::Now() + kRestOfLineSlack;
  while (reply_.find('\n', from) == std::string::npos) {
    if (!ring_.WaitForBytes(bound)) return;
    reply_ += ring_.TakeText();
  }
}

}  // namespace zendra
