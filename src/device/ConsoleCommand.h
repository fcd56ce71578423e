#pragma once
// An AT command that the operator types into the traffic console and sends to the
// local module as it stands.
//
// It is one more activity on the line: it takes the line's lease like any other
// and is refused, without a byte sent, while an update, a scan, a parameter read or
// anything else holds the line. The line goes out as the transactions send theirs,
// with CR LF ("+++", the escape to command mode, as it stands), after a sleepy
// module's wake-up; the answer is collected as a transaction collects it, up to its
// "OK" or "ERROR" line or the time-out. What crossed the line shows in the traffic
// log anyway; the result says what to tell the operator.

#include <stop_token>
#include <string>
#include <string_view>

#include "device/Connection.h"

namespace zendra {

struct ConsoleReply {
  enum class Outcome {
    kOk,            // the module answered "OK"
    kError,         // the module answered "ERROR"
    kNoAnswer,      // no verdict within the time-out
    kLineBusy,      // another activity holds the line: nothing was sent
    kNotConnected,  // no connection is open: nothing was sent
    kEmpty,         // nothing typed
    kControlByte,   // the text holds a control byte: nothing was sent
    kStopped,       // the console went away while it waited
  };
  Outcome outcome = Outcome::kEmpty;
  std::string holder;  // the activity that holds the line (kLineBusy)
  std::string answer;  // what came back, the echo of the command taken out
  int timeoutSeconds = 0;

  bool Sent() const {
    return outcome == Outcome::kOk || outcome == Outcome::kError || outcome == Outcome::kNoAnswer;
  }
  // One line for the operator: the answer's lines ("v1.10.0 | OK"), or why the
  // command was not sent or not answered.
  std::string Message() const;
};

class ConsoleCommand {
 public:
  static constexpr int kTimeoutSeconds = 15;  // the network scan's, the longest a command takes

  // The bytes that go out for `typed`.
  static std::string CommandLine(std::string_view typed);
  static ConsoleReply Send(Connection& connection, std::string_view typed, std::stop_token stop,
                           int timeoutSeconds = kTimeoutSeconds);
};

}  // namespace zendra
