#pragma once
// The network scan: the local module is asked for the remote devices it knows in
// its network ("at+ds\r\n", sent unchanged) and answers with one line per device,
// then "OK" (see ScanReply.h for the reply's form). The Firmware Update page and the
// scan dialog run the same scan; they differ only in how they show the rows.
//
// The scan is one conversation with the module on the caller's lease of the line,
// run off the window's thread. It waits up to SCAN_TIMEOUT_SECONDS for the module,
// which lists its network as it scans it, line by line.

#include <string>
#include <string_view>
#include <vector>

#include "base/Operator.h"
#include "device/LineLease.h"
#include "discovery/DeviceRecord.h"

namespace zendra {

// How long the module may take to list its network, in whole seconds.
inline constexpr int SCAN_TIMEOUT_SECONDS = 15;
// The scan command: lower case, CR LF, seven bytes.
inline constexpr std::string_view kScanCommand = "at+ds\r\n";
inline constexpr const char* kScanFailedMessage = "ERROR: Could not scan the remote device.";

// Sends `command` as it stands and collects everything the module answers into the
// lease's reply, until a line that is exactly "OK" (the whole reply is returned) or
// "ERROR" ("ERROR" is returned), or for `seconds` × 100 polls of 10 ms ("ERROR").
// A closed port gives "ERROR" at once, with nothing sent. The collection reacts to
// every byte as it arrives rather than at the next poll; the bound stays.
std::string CollectAtReply(LineLease& line, std::string_view command, int seconds);

struct ScanResult {
  enum class Outcome {
    kListed,   // the module answered; `devices` may be empty (no remote device)
    kFailed,   // port closed, "ERROR" or no answer: the message has been shown
    kStopped,  // the holder of the line was asked to stop: nothing was shown
  };
  Outcome outcome = Outcome::kFailed;
  std::vector<DeviceRecord> devices;  // in reply order: a device's index is its row
};

// The whole scan: a sleepy local module is woken first ("\n" and 200 ms), the reply
// collected and its device records parsed. A failure is reported to `op` with
// "ERROR: Could not scan the remote device.", a port that went away during the
// scan at once with AtLink::kLineLostMessage.
ScanResult RunNetworkScan(LineLease& line, Operator& op);

}  // namespace zendra
