#pragma once
// What a remote device's run looks like at a moment, as the firmware core tells
// every view of it (the page's device list, the command line): a typed event per
// change, never a status text to match. A run goes waiting -> preparing ->
// sending (percent, bytes) -> done (the version the device reports now), or ends
// failed (the outcome and why) or cancelled (the operator stopped it).

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
  static DeviceRunEvent Sending(int percent, std::int64_t bytes, std::int64_t total);
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

}  // namespace zendra
