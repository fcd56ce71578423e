#pragma once
// How one module's run ended, with everything its record and the operator's line
// need: what the module was before and after, and where and why a run that did
// not pass stopped.

#include <optional>
#include <string>

#include "production/ProvisionStep.h"

namespace zendra {

enum class ProvisionOutcome {
  kPassed,     // every step asked for was done and verified
  kFailed,     // a step failed (see failedStep and message)
  kSkipped,    // the module is of another model than the image: left as it was
  kCancelled,  // stopped by the operator (the second Ctrl+C)
};

// "passed", "failed", "skipped", "cancelled".
const char* OutcomeName(ProvisionOutcome outcome);

struct ProvisionResult {
  std::string port;
  // As the module reported them; empty until it answered.
  std::string product;
  std::string euiAddress;
  std::string nodeName;
  std::string firmwareBefore;
  std::string firmwareAfter;
  ProvisionOutcome outcome = ProvisionOutcome::kFailed;
  std::optional<ProvisionStep> failedStep;  // where a run that did not pass stopped
  std::string message;                      // why, as the operator reads it
  bool updated = false;                     // an image went out whole
  // The comparison of the module's values with what it was to get: nullopt when
  // nothing was to be verified or the run stopped before it.
  std::optional<bool> verified;
  double seconds = 0;
  // The record of the run: its id in the records database, or why it could not be
  // written (both empty when the run is not recorded).
  std::optional<long long> recordId;
  std::string recordError;

  bool Passed() const { return outcome == ProvisionOutcome::kPassed; }
};

}  // namespace zendra
