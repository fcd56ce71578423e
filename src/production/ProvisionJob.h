#pragma once
// One port of the production line: one module brought to the plan's firmware and
// configuration, checked, and identified, on the caller's thread (the port's
// worker), with a connection and a line lease of its own.
//
// The run, in order:
// - connect: the rate detection finds when the plan gives none (PortDetect's
//   probe), then the handshake of the Open button;
// - update (with an image): a module of another model is skipped, never flashed;
//   one that runs the image's version is left alone unless forced; otherwise the
//   local update sends the image, and the module must then report that version;
// - configure: the configuration file's commands replayed as Import does, then
//   the --set values written as Save does;
// - verify: the module's values read back and compared, the file's with the
//   comparison of `diff` (ConfigurationDiff), the --set values one by one;
// - identify: the identification read again for the record.
// Before anything that changes the module, everything that could refuse the run
// is checked: the module's model, the configuration file's firmware version and
// the --set names against the definition file of the version the module will run
// (when that version is known before the update). A refusal there leaves the
// module as it was.
//
// Nothing the module says is shown in a box: the port's JobOperator keeps it, and
// the first message of the failing step is the run's reason. Progress goes to
// ProvisionEvents as typed values.
//
// A stop of the run's token is the operator's Cancel: the image going out is
// cancelled with CAN as the Cancel button does (the bootloader shows its menu
// again), any other wait ends at once; the run ends as cancelled.

#include <optional>
#include <stop_token>
#include <string>

#include "device/Connection.h"
#include "production/JobOperator.h"
#include "production/ProvisionEvents.h"
#include "production/ProvisionPlan.h"
#include "production/ProvisionResult.h"

namespace zendra {

struct ConfigCore;

class ProvisionJob {
 public:
  // `baudRate` 0: the plan's rate, or (when the plan has none) the one detected.
  // `settleMs`: protocol time to wait before the first byte (a module just plugged
  // in is still starting).
  ProvisionJob(std::string port, const ProvisionPlan& plan, ProvisionEvents& events,
               int baudRate = 0, int settleMs = 0);
  ProvisionJob(const ProvisionJob&) = delete;
  ProvisionJob& operator=(const ProvisionJob&) = delete;

  // The whole run; returns when it has ended (the port closed).
  ProvisionResult Run(std::stop_token stop);

 private:
  struct RunState;
  bool Connect(RunState& run);
  bool Prepare(RunState& run, ConfigCore& core, const std::string& definitionFile);
  bool Update(RunState& run);
  bool Configure(RunState& run, ConfigCore& core);
  bool Verify(RunState& run, ConfigCore& core);
  bool Identify(RunState& run);
  void Report(ProvisionProgress progress);
  // The run ends at `step`: failed, or cancelled when the stop was asked for.
  bool Fail(RunState& run, ProvisionStep step, std::string message);
  // The first message the operator was given since `mark`, else `fallback`.
  std::string Reason(std::size_t mark, const std::string& fallback) const;

  const std::string port_;
  const ProvisionPlan& plan_;
  ProvisionEvents& events_;
  const int baudRate_;
  const int settleMs_;
  JobOperator op_;
  Connection connection_{op_};
};

}  // namespace zendra
