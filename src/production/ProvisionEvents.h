#pragma once
// Where the ports of a production run report: what the operator's screen (or a
// test) shows of each port. Calls come from the ports' workers, several at once;
// an implementation locks what it shares and returns quickly: a port waits for its
// own calls only, never for another port's.

#include <string>

#include "device/DeviceInfo.h"
#include "production/ProvisionResult.h"
#include "production/ProvisionStep.h"

namespace zendra {

class ProvisionEvents {
 public:
  virtual ~ProvisionEvents() = default;
  // A run starts on `port` (a module plugged in, with --watch).
  virtual void Started(const std::string& /*port*/) {}
  virtual void Progress(const std::string& port, const ProvisionProgress& progress) = 0;
  // The module identified itself (after the connect, and again at the end).
  virtual void Identified(const std::string& /*port*/, const DeviceInfo& /*device*/) {}
  // The run has ended and its record has been written (or not: see the result).
  virtual void Finished(const ProvisionResult& /*result*/) {}
  // With --watch: the module of a finished port was taken away; a module plugged
  // into it next is a new run.
  virtual void Unplugged(const std::string& /*port*/) {}
};

}  // namespace zendra
