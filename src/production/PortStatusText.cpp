#include "production/PortStatusText.h"

#include <cstdio>

#include "firmware/TransferRate.h"

namespace zendra {

namespace {

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", seconds);
  return text;
}

std::string StepText(const ProvisionProgress& p) {
  std::string text = StepName(p.step);
  switch (p.step) {
    case ProvisionStep::kUpdate:
      if (p.totalBytes > 0) {
        text += " " + std::to_string(p.percent) + " %";
        if (p.bytesPerSecond) text += " " + TransferRate::Rate(*p.bytesPerSecond);
      }
      break;
    case ProvisionStep::kConfigure:
    case ProvisionStep::kVerify:
      if (p.n > 0) text += " " + std::to_string(p.k) + " of " + std::to_string(p.n);
      break;
    default:
      break;
  }
  return text;
}

}  // namespace

std::string PortStatusText(const PortStatus& status, bool watch) {
  if (status.unplugged) return "empty";
  if (!status.result) return StepText(status.progress);
  const ProvisionResult& r = *status.result;
  const std::string step = r.failedStep ? StepName(*r.failedStep) : "";
  // What the operator must see stays in front, where a narrow line keeps it.
  std::string head, tail;
  switch (r.outcome) {
    case ProvisionOutcome::kPassed:
      head = "done";
      tail = " (" + Seconds(r.seconds) + ")";
      break;
    case ProvisionOutcome::kFailed:
      head = "FAILED at " + step;
      tail = ": " + r.message;
      break;
    case ProvisionOutcome::kSkipped:
      head = "skipped";
      tail = ": " + r.message;
      break;
    case ProvisionOutcome::kCancelled:
      head = "cancelled at " + step;
      break;
  }
  if (!r.recordError.empty()) head += " NOT RECORDED";
  if (watch) head += " \u2014 unplug";
  if (!r.recordError.empty()) tail += " (" + r.recordError + ")";
  return head + tail;
}

}  // namespace zendra
