#pragma once
// The four AT transactions that every part of the manager talks to the module
// with, and the connection state they depend on.
//
// A transaction empties `reply` and the receive ring, writes one command line and
// collects what the module sends until the reply holds a line that is "OK" or
// "ERROR" ("OK" first) or the time-out of N whole seconds runs out. The module
// puts its verdict on a line of its own; a value that merely holds the letters
// (a node named "BOOKSHELF", "ERROR room") is neither. It returns the moment its deciding text is there; after "OK" or "ERROR" it
// also takes the rest of that line (a few character times at most), so that the
// CR LF ending the answer can never reach the next transaction and turn its reply
// line into an empty text.
//
// Only one user polls the receive ring at a time: a transaction, the handshake's
// bootloader probe, the network scan or a firmware transfer. The device layer's
// line lease makes that so; it also gives the link its holder's stop token, which
// ends every wait here at once (a stopped transaction ends as a time-out would).

#include <atomic>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

#include "base/Operator.h"
#include "serial/SerialPort.h"

namespace zendra {

class AtLink {
 public:
  // What every conversation says when the port goes away under it (the device
  // unplugged, the far end closed): it ends at once instead of waiting out its
  // time-outs and blaming the module.
  static constexpr const char* kLineLostMessage =
      "ERROR: The serial port was lost (the device was unplugged or its line closed).";

  AtLink(SerialPort& port, Operator& op) : port_(port), operator_(op) {}

  // true when "OK" came; false on "ERROR", on time-out and when no connection is
  // open (then after the message "ERROR: Could not close serial port."). The
  // remote forms send nothing and fail for an address that may not be sent
  // (RemoteAddress.h), as for a remote that does not answer.
  bool SendAtCommand(std::string_view line, int timeoutSeconds);
  bool SendRemoteAtCommand(std::string_view line, int timeoutSeconds, std::string_view address);

  // The reply line on "OK"; "ERROR" on "ERROR" or time-out; "ENTER" or "START"
  // for the bootloader's answers; the empty text when no connection is open.
  std::string QueryAtCommand(std::string_view line, int timeoutSeconds);
  // The reply line on "OK"; "ERROR" on "ERROR" or time-out; empty when closed.
  std::string QueryRemoteAtCommand(std::string_view line, int timeoutSeconds,
                                   std::string_view address);

  // Lets the line settle: drops what arrives until nothing has come for `quietMs`,
  // or `limitMs` has passed (module time, Clock's scale). A module that has just
  // ended a relayed upload still sends its closing text across the radio, and
  // while it does it answers a command with "ERROR". true when the line went
  // quiet; false at the limit, on a stop request or when the line is lost.
  bool WaitUntilQuiet(int quietMs, int limitMs);

  // A sleepy end device misses a command that is not preceded by a lone "\n":
  // write it and give the module 200 ms to wake.
  void WakeUpIfSleepy();

  // Whether the last transaction ended on the module's "ERROR" (it refused the
  // command) rather than on silence: the same "ERROR" or false to the caller, but
  // not the same advice for the operator.
  bool LastRefused() const { return lastRefused_; }

  // The stop token of the activity that holds the line (set by its lease).
  void SetStopToken(std::stop_token stop) { stop_ = std::move(stop); }
  bool Stopped() const { return stop_.stop_requested(); }
  // Whether the port went away under the line (the reader saw it hang up); a
  // transaction then ends at once as a time-out would.
  bool LineLost() const { return port_.Receive().LineLost(); }

  // Collects what arrives into `reply` until `done(reply)` holds or `polls` looks
  // have been made, the first at once and each further one at most 100 ms after
  // the one before; a look happens as soon as bytes arrive, so a prompt is seen
  // when it comes, also in pieces ("B", then "L"). true when `done` held.
  bool CollectReplyUntil(const std::function<bool(const std::string&)>& done, int polls);

  // After a deciding "OK" or "ERROR" that starts at `from` in `reply`: takes the
  // rest of that line too (a few character times at most), so that its CR LF
  // cannot reach the next transaction.
  void TakeRestOfLine(std::size_t from);

  // The reply line of a reply that holds "OK": the value line between the line
  // ends before the "OK" line, or the empty text for a bare "OK".
  static std::string ReplyLine(std::string_view reply);
  // Where the first line of `text` that is exactly `word` starts (lines end at
  // CR or LF; the last piece counts too, line end or not); npos when none is.
  static std::size_t FindLine(std::string_view text, std::string_view word);
  // The module's answer in `reply` to the command `line`, without what its echo
  // put there. A module powers up (and restarts) with its echo on: it sends each
  // command back before it answers, and since a command runs at its CR, the echo
  // of the LF after it arrives after the answer, where the next transaction finds
  // it. So a leading stray LF and the echoed command with its line end are not
  // part of the answer; while the echo is still arriving the answer is empty.
  // The answer keeps its own leading CR LF, in either reply form (with or
  // without a blank line before the OK), so ReplyLine finds the value the same
  // way with echo on or off. A reply without an echo is returned as it is, but
  // for a stray leading LF.
  static std::string_view WithoutEcho(std::string_view reply, std::string_view line);
  // Whether `received` is what a bootloader that waits for an upload sends: it
  // asks for the upload with 'C' (NAK once the upload has begun) once a second
  // and prints nothing else, not its menu, whatever it is sent.
  static bool WaitingForUpload(std::string_view received);
  // "AT+RC=" + address + "," + line; nullopt for an address that may not be sent
  // (RemoteAddress.h): the remote transactions then send nothing.
  static std::optional<std::string> RemoteLine(std::string_view line, std::string_view address);
  // Whether text meant to become part of one command line (a value, an address)
  // holds a control byte: a CR or LF in it would end the line early and send
  // what follows as a second command.
  static bool HoldsControlByte(std::string_view text);

  SerialPort& Port() { return port_; }
  ReceiveBuffer& Receive() { return port_.Receive(); }
  Operator& Op() { return operator_; }

  // 1 while a connection is open (set and cleared by the handshake).
  std::atomic<bool> portOpen{false};
  // 1 when the local module reported node type "4" (a sleepy end device).
  std::atomic<bool> sleepy{false};
  // Everything received since the current transaction sent its command; the scan
  // and the firmware transfer use it as scratch text too.
  std::string reply;

 private:
  enum class Verdict { kPending, kOk, kError, kEnter, kStart };
  enum class Rules { kSend, kQuery, kQueryRemote };

  // Sends `line` and collects the answer; `answer` is set to the part of `reply`
  // after the echo (see WithoutEcho).
  Verdict Transact(const std::string& line, int timeoutSeconds, Rules rules,
                   std::string_view* answer = nullptr);
  static Verdict Decide(std::string_view text, Rules rules);

  SerialPort& port_;
  Operator& operator_;
  std::stop_token stop_;
  bool lastRefused_ = false;
};

}  // namespace zendra
