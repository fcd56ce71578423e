#include "serial/AtLink.h"

#include <algorithm>

#include "base/Clock.h"
#include "serial/RemoteAddress.h"

namespace zendra {

namespace {
constexpr const char* kNotOpenMessage = "ERROR: Could not close serial port.";
// How long to wait for the line end after "OK" / "ERROR": a few characters on the
// line, plus what a USB serial adapter may hold back (its latency timer delivers
// received bytes up to 16 ms late) and a margin for a loaded machine. A module
// always ends its lines, so the bound costs nothing in practice; it only keeps a
// module that does not from stalling the transaction.
constexpr int kRestOfLineCharacters = 8;
constexpr auto kRestOfLineSlack = std::chrono::milliseconds(50);
}  // namespace

std::optional<std::string> AtLink::RemoteLine(std::string_view line, std::string_view address) {
  std::string tail(",");
  tail.append(line);
  return AddressedLine("AT+RC=", address, tail);
}

bool AtLink::HoldsControlByte(std::string_view text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return true;
  }
  return false;
}

std::size_t AtLink::FindLine(std::string_view text, std::string_view word) {
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = text.find_first_of("\r\n", start);
    const std::string_view line =
        text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (line == word) return start;
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return std::string_view::npos;
}

std::string AtLink::ReplyLine(std::string_view reply) {
  std::size_t ok = FindLine(reply, "OK");
  if (ok == std::string_view::npos) ok = reply.find("OK");
  const std::string_view before = reply.substr(0, ok == std::string_view::npos ? reply.size() : ok);
  const std::size_t lf = before.find('\n');
  const std::string_view rest = (lf == std::string_view::npos) ? before : before.substr(lf + 1);
  if (rest.find('\n') != std::string_view::npos) {
    const std::size_t cr = rest.find('\r');
    return cr == std::string_view::npos ? std::string() : std::string(rest.substr(0, cr));
  }
  const std::size_t cr = before.find('\r');
  return cr == std::string_view::npos ? std::string() : std::string(before.substr(0, cr));
}

std::string_view AtLink::WithoutEcho(std::string_view reply, std::string_view line) {
  const std::string_view command = line.substr(0, line.find_first_of("\r\n"));
  std::string_view rest = reply;
  // The LF of the command before, echoed after its answer.
  while (!rest.empty() && rest.front() == '\n') rest.remove_prefix(1);
  if (command.empty()) return rest;
  if (rest.size() < command.size()) {
    // The echo may still be on its way.
    if (command.substr(0, rest.size()) == rest) return rest.substr(rest.size());
    return rest;
  }
  if (rest.substr(0, command.size()) != command) return rest;
  rest.remove_prefix(command.size());
  // The echoed line end, as far as it came back before the answer: its bytes in
  // their order (a CR, then the LF unless that comes after the answer). The
  // answer's own leading CR LF stays: the reply line is found by it, and in the
  // usual form (a blank line before the OK) taking it would leave an empty line.
  for (const char end : line.substr(command.size())) {
    if (rest.empty() || rest.front() != end) break;
    rest.remove_prefix(1);
  }
  return rest;
}

bool AtLink::WaitingForUpload(std::string_view received) {
  if (received.find('C') == std::string_view::npos) return false;
  return received.find_first_not_of("C\x15") == std::string_view::npos;
}

AtLink::Verdict AtLink::Decide(std::string_view text, Rules rules) {
  if (FindLine(text, "OK") != std::string_view::npos) return Verdict::kOk;
  if (FindLine(text, "ERROR") != std::string_view::npos) return Verdict::kError;
  if (rules == Rules::kQuery) {
    if (text.find("ENTER") != std::string_view::npos) return Verdict::kEnter;
    if (text.find(".ebl") != std::string_view::npos || text.find("Start") != std::string_view::npos)
      return Verdict::kStart;
  }
  return Verdict::kPending;
}

void AtLink::TakeRestOfLine(std::size_t from) {
  const auto bound =
      Clock::Now() + kRestOfLineCharacters * CharacterTime(port_.BaudRate()) + kRestOfLineSlack;
  auto& ring = port_.Receive();
  while (reply.find('\n', from) == std::string::npos) {
    if (!ring.WaitForBytes(bound, stop_)) return;
    reply += ring.TakeText();
  }
}

bool AtLink::CollectReplyUntil(const std::function<bool(const std::string&)>& done, int polls) {
  auto& ring = port_.Receive();
  reply += ring.TakeText();
  if (done(reply)) return true;
  const auto deadline = Clock::DeadlineAfter((polls - 1) * 100);
  while (Clock::Now() < deadline && !stop_.stop_requested()) {
    if (ring.WaitForInput(deadline, stop_) != ReceiveBuffer::Wait::kBytes) break;
    reply += ring.TakeText();
    if (done(reply)) return true;
  }
  reply += ring.TakeText();
  return done(reply);
}

AtLink::Verdict AtLink::Transact(const std::string& line, int timeoutSeconds, Rules rules,
                                 std::string_view* answer) {
  auto& ring = port_.Receive();
  reply.clear();
  lastRefused_ = false;
  ring.Reset();
  port_.Write(line);
  if (answer) *answer = {};
  if (timeoutSeconds <= 0) return Verdict::kPending;

  const auto deadline = Clock::DeadlineAfter(timeoutSeconds * 1000);
  for (;;) {
    const auto wait = ring.WaitForInput(deadline, stop_);
    reply += ring.TakeText();
    // The holder is going away, or the port did: the transaction ends as a
    // time-out would (what came before the line went is still judged).
    if (stop_.stop_requested()) return Verdict::kPending;
    // An echoed command is no answer: a value holding "OK" must not pass for one.
    std::string_view text = WithoutEcho(reply, line);
    Verdict verdict = Decide(text, rules);
    if (verdict == Verdict::kOk || verdict == Verdict::kError) {
      std::size_t skipped = reply.size() - text.size();
      const char* word = verdict == Verdict::kOk ? "OK" : "ERROR";
      const std::size_t at = skipped + FindLine(text, word);
      const std::size_t before = reply.size();
      TakeRestOfLine(at);
      if (reply.size() != before) {
        // The verdict was the last piece of the text: with the rest of its line it
        // may have turned out to be the start of a longer one ("OKAY").
        text = WithoutEcho(reply, line);
        skipped = reply.size() - text.size();
        verdict = Decide(text, rules);
        if (verdict == Verdict::kPending) continue;
      }
      if (answer) *answer = std::string_view(reply).substr(skipped);
      lastRefused_ = verdict == Verdict::kError;
      return verdict;
    }
    if (verdict != Verdict::kPending) return verdict;
    if (wait == ReceiveBuffer::Wait::kLineLost || Clock::Now() >= deadline)
      return Verdict::kPending;
  }
}

bool AtLink::SendAtCommand(std::string_view line, int timeoutSeconds) {
  if (!portOpen) {
    operator_.ShowMessage(kNotOpenMessage);
    return false;
  }
  WaitCursor wait(operator_);
  return Transact(std::string(line), timeoutSeconds, Rules::kSend) == Verdict::kOk;
}

bool AtLink::SendRemoteAtCommand(std::string_view line, int timeoutSeconds,
                                 std::string_view address) {
  if (!portOpen) {
    operator_.ShowMessage(kNotOpenMessage);
    return false;
  }
  const auto remote = RemoteLine(line, address);
  if (!remote) {
    lastRefused_ = false;
    return false;
  }
  WaitCursor wait(operator_);
  return Transact(*remote, timeoutSeconds, Rules::kSend) == Verdict::kOk;
}

std::string AtLink::QueryAtCommand(std::string_view line, int timeoutSeconds) {
  WaitCursor wait(operator_);
  if (!portOpen) return {};
  std::string_view answer;
  switch (Transact(std::string(line), timeoutSeconds, Rules::kQuery, &answer)) {
    case Verdict::kOk: return ReplyLine(answer);
    case Verdict::kEnter: return "ENTER";
    case Verdict::kStart: return "START";
    default: return "ERROR";
  }
}

std::string AtLink::QueryRemoteAtCommand(std::string_view line, int timeoutSeconds,
                                         std::string_view address) {
  WaitCursor wait(operator_);
  if (!portOpen) return {};
  const auto remote = RemoteLine(line, address);
  if (!remote) {
    lastRefused_ = false;
    return "ERROR";
  }
  std::string_view answer;
  if (Transact(*remote, timeoutSeconds, Rules::kQueryRemote, &answer) == Verdict::kOk)
    return ReplyLine(answer);
  return "ERROR";
}

bool AtLink::WaitUntilQuiet(int quietMs, int limitMs) {
  auto& ring = port_.Receive();
  const auto limit = Clock::DeadlineAfter(limitMs);
  ring.TakeText();
  for (;;) {
    const auto quietEnd = std::min(Clock::DeadlineAfter(quietMs), limit);
    const auto wait = ring.WaitForInput(quietEnd, stop_);
    ring.TakeText();
    if (wait == ReceiveBuffer::Wait::kDeadline) return quietEnd < limit;
    if (wait != ReceiveBuffer::Wait::kBytes) return false;
    if (Clock::Now() >= limit) return false;
  }
}

void AtLink::WakeUpIfSleepy() {
  if (!sleepy) return;
  port_.Write("\n");
  Clock::Sleep(200, stop_);
}

}  // namespace zendra
