#pragma once
// What a firmware run looks like at a moment, as the firmware core tells every
// view of it (the Firmware Update page and its device list, the reload dialog, the
// command line): a typed event per change, never a status text to match. A remote
// device's run goes waiting -> preparing -> sending (percent, bytes, rate, time
// left) -> done (the version the device reports now), or ends failed (the outcome
// and why) or cancelled (the operator stopped it). The local update and the
// reload send their image's progress as sending events too; their end is the
// view's Finished with the outcome.

#include <cstdint>
#include <optional>
#include <string>

#include "firmware/FirmwareOutcome.h"

namespace zendra {

struct DeviceRunEvent {
  enum class Kind { kWaiting, kPreparing, kSending, kDone, kFailed, kCancelled };
  Kind kind = Kind::kWaiting;
  // kSending: how far the image has got (0-100), and its bytes acknowledged of
  // the total; a clone has no bytes and counts the seconds it has waited instead.
  int percent = 0;
  std::int64_t bytes = 0;
  std::int64_t total = 0;
  bool clone = false;
  // kSending of an image: bytes per second over the last few seconds, and the
  // seconds until the rest has gone at that rate; each once it is known (the time
  // left not once everything has gone).
  std::optional<double> bytesPerSecond;
  std::optional<double> secondsLeft;
  // kDone, kFailed, kCancelled: how the device ended; none for a row that was
  // cancelled before its turn came.
  std::optional<FirmwareOutcome> outcome;
  // kFailed: why; kCancelled: what the device needs now.
  std::string reason;
  // kDone: the version the device reports after its update ("ERROR" when it did
  // not answer).
  std::string newVersion;

  static DeviceRunEvent Waiting() { return {}; }
  static DeviceRunEvent Preparing(bool clone);
  static DeviceRunEvent Sending(int percent, std::int64_t bytes, std::int64_t total,
                                std::optional<double> bytesPerSecond = std::nullopt,
                                std::optional<double> secondsLeft = std::nullopt);
  static DeviceRunEvent Cloning(int seconds);
  static DeviceRunEvent Done(std::string newVersion);
  static DeviceRunEvent Failed(FirmwareOutcome outcome);
  // `sent`: something reached the device (its bootloader was asked for, or an
  // image was on its way), so it needs its firmware again.
  static DeviceRunEvent Cancelled(std::optional<FirmwareOutcome> outcome, bool sent);
};

// The event as a row's status reads it, short enough for the list's cell:
// "waiting", "preparing", "sending 37 %", "cloning 12 s", "done — v1.11.7",
// "failed — transfer failed", "cancelled — needs firmware", "cancelled — not started".
std::string DeviceRunText(const DeviceRunEvent& event);
// The same in whole words, for the cell's tool tip and a log: "failed — the image
// transfer failed", "cancelled — needs its firmware again".
std::string DeviceRunDetail(const DeviceRunEvent& event);
// A sending event as the status line shows it: an image's "37.50% Completed!"
// (two decimals of the bytes sent), a clone's "Cloning." with a dot per second.
std::string SendingStatus(const DeviceRunEvent& event);
// An image's sending event as the line under a bar shows it: "12,800 of 262,144
// bytes · 11.2 kB/s · 0:22 left", the rate and the time left once known.
std::string SendingBytes(const DeviceRunEvent& event);

}  // namespace zendra
