#include "device/ConsoleCommand.h"

#include "serial/AtLink.h"
#include "serial/TrafficFormatter.h"

namespace zendra {

std::string ConsoleCommand::CommandLine(std::string_view typed) {
  // The escape to command mode is three characters and nothing else: a line end
  // after it would be taken as data.
  if (typed == "+++") return std::string(typed);
  return std::string(typed) + "\r\n";
}

ConsoleReply ConsoleCommand::Send(Connection& connection, std::string_view typed,
                                  std::stop_token stop, int timeoutSeconds) {
  ConsoleReply result;
  result.timeoutSeconds = timeoutSeconds;
  if (typed.find_first_not_of(' ') == std::string_view::npos) return result;
  if (AtLink::HoldsControlByte(typed)) {
    result.outcome = ConsoleReply::Outcome::kControlByte;
    return result;
  }
  if (!connection.IsOpen()) {
    result.outcome = ConsoleReply::Outcome::kNotConnected;
    return result;
  }
  auto line = connection.TryLease("console", stop);
  if (!line) {
    result.outcome = ConsoleReply::Outcome::kLineBusy;
    result.holder = connection.Gate().Holder();
    return result;
  }
  // The connection may have closed while the lease was asked for.
  if (!connection.IsOpen()) {
    result.outcome = ConsoleReply::Outcome::kNotConnected;
    return result;
  }
  AtLink& link = line->Link();
  link.WakeUpIfSleepy();
  const std::string sent = CommandLine(typed);
  const bool ok = link.SendAtCommand(sent, timeoutSeconds);
  if (line->Stopped()) {
    result.outcome = ConsoleReply::Outcome::kStopped;
    return result;
  }
  result.answer = std::string(AtLink::WithoutEcho(line->Reply(), sent));
  result.outcome = ok                   ? ConsoleReply::Outcome::kOk
                   : link.LastRefused() ? ConsoleReply::Outcome::kError
                                        : ConsoleReply::Outcome::kNoAnswer;
  return result;
}

std::string ConsoleReply::Message() const {
  switch (outcome) {
    case Outcome::kOk:
    case Outcome::kError: {
      std::string text;
      std::size_t start = 0;
      while (start < answer.size()) {
        std::size_t end = answer.find_first_of("\r\n", start);
        if (end == std::string::npos) end = answer.size();
        if (end > start) {
          if (!text.empty()) text += " | ";
          // Whatever else the module sent is shown as the log shows it.
          text += TrafficFormatter::Visible(std::string_view(answer).substr(start, end - start));
        }
        start = end + 1;
      }
      return text;
    }
    case Outcome::kNoAnswer:
      return "No answer within " + std::to_string(timeoutSeconds) + " s.";
    case Outcome::kLineBusy:
      return holder.empty() ? "Not sent: the line is busy."
                            : "Not sent: the line is busy (" + holder + ").";
    case Outcome::kNotConnected:
      return "Not sent: open the connection first.";
    case Outcome::kEmpty:
      return "Type an AT command first.";
    case Outcome::kControlByte:
      return "Not sent: the command holds a control character.";
    case Outcome::kStopped:
      return {};
  }
  return {};
}

}  // namespace zendra
