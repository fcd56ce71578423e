#pragma once
// Watches the local module while it copies its own firmware to a remote module
// ("AT+BOOTLOAD=2,<address>" has been answered with "Start"). The manager sends
// nothing meanwhile: the module reports the outcome in text, "...omplete" when
// the copy is done or "ERROR" when it failed.
//
// The watch runs in passes of one second, at most 180 of them. Each pass shows
// the seconds waited on the row's progress bar (full from the 100th pass on) and a
// status text that grows by one dot ("Cloning.", "Cloning..", ...). The text is
// looked for as soon as bytes arrive, so the outcome is seen when it comes rather
// than at the next pass; the passes keep their one-second rhythm (counted from the
// watch's start) whatever arrives. 180 passes without either text is a failure.
//
// It runs on the host's clone worker and reads the leased line's receive ring into
// its reply text, as the transfer's completion wait does. Once a stop is requested
// it reports nothing more and returns at once.

#include <chrono>
#include <functional>
#include <stop_token>
#include <string>

#include "serial/ReceiveBuffer.h"

namespace zendra {

class CloneMonitor {
 public:
  static constexpr int kPasses = 180;
  static constexpr int kPassMs = 1000;

  enum class Result {
    kComplete,  // the completion text came
    kError,     // "ERROR" came
    kTimedOut,  // neither within the passes
    kLineLost,  // the port went away under the watch
    kStopped,   // the host asked the watch to stop
  };

  struct Sinks {
    std::function<void(const std::string& text)> status;  // the animation text
    std::function<void(int pass)> progress;               // the row's bar: passes so far
  };

  CloneMonitor(ReceiveBuffer& ring, std::string& reply, Sinks sinks);

  Result Run(std::stop_token stop);

  // The status text of pass `pass` (from 0): "Cloning." and a dot more each pass.
  static std::string AnimationText(int pass);

  // How long the rest of the outcome's line may take to arrive (real time: a few
  // characters on the line and an adapter's latency).
  static constexpr std::chrono::milliseconds kRestOfLineSlack{50};

 private:
  void TakeRestOfLine(std::size_t from);

  ReceiveBuffer& ring_;
  std::string& reply_;
  Sinks sinks_;
};

}  // namespace zendra
