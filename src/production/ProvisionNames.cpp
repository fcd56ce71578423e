#include "production/ProvisionResult.h"
#include "production/ProvisionStep.h"

namespace zendra {

const char* StepName(ProvisionStep step) {
  switch (step) {
    case ProvisionStep::kConnect:
      return "connect";
    case ProvisionStep::kUpdate:
      return "update";
    case ProvisionStep::kConfigure:
      return "configure";
    case ProvisionStep::kVerify:
      return "verify";
    case ProvisionStep::kIdentify:
      return "identify";
    case ProvisionStep::kDone:
      return "done";
  }
  return "";
}

const char* OutcomeName(ProvisionOutcome outcome) {
  switch (outcome) {
    case ProvisionOutcome::kPassed:
      return "passed";
    case ProvisionOutcome::kFailed:
      return "failed";
    case ProvisionOutcome::kSkipped:
      return "skipped";
    case ProvisionOutcome::kCancelled:
      return "cancelled";
  }
  return "";
}

}  // namespace zendra
