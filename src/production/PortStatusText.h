#pragma once
// What the operator reads of one port of the production line, as the words of its
// line: the step with its figures while it runs ("update 37 % 10.8 kB/s",
// "configure 12 of 40"), then how it ended ("done 41.2 s", "FAILED at update: ...",
// "skipped: ..."), with " — unplug" while watching, when the module may go. The
// command line draws these; the texts are here so that every view says the same.

#include <optional>
#include <string>

#include "production/ProvisionResult.h"
#include "production/ProvisionStep.h"

namespace zendra {

struct PortStatus {
  std::string port;
  std::string euiAddress;  // empty until the module told it
  ProvisionProgress progress;
  std::optional<ProvisionResult> result;  // once the run has ended
  bool unplugged = false;                 // watching: the finished module was taken away
};

// The step or the ending of `status`; `watch` adds " — unplug" to an ending.
std::string PortStatusText(const PortStatus& status, bool watch);

}  // namespace zendra
