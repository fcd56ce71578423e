// The words of a port's line on the operator's screen.

#include <gmock/gmock.h>

#include "production/PortStatusText.h"

namespace zendra::test {
namespace {

PortStatus Running(ProvisionProgress progress) {
  PortStatus status;
  status.port = "/dev/ttyUSB0";
  status.progress = progress;
  return status;
}

PortStatus Ended(ProvisionOutcome outcome, std::optional<ProvisionStep> step, std::string message) {
  PortStatus status;
  status.port = "/dev/ttyUSB0";
  ProvisionResult result;
  result.outcome = outcome;
  result.failedStep = step;
  result.message = std::move(message);
  result.seconds = 41.26;
  status.result = result;
  return status;
}

TEST(PortStatusText, SaysTheStepWithItsFigures) {
  EXPECT_EQ(PortStatusText(Running({.step = ProvisionStep::kConnect}), false), "connect");
  EXPECT_EQ(PortStatusText(Running({.step = ProvisionStep::kUpdate}), false), "update");
  EXPECT_EQ(PortStatusText(Running({.step = ProvisionStep::kUpdate,
                                    .bytes = 75776,
                                    .totalBytes = 204800,
                                    .percent = 37,
                                    .bytesPerSecond = 10800.0}),
                           false),
            "update 37 % 10.8 kB/s");
  EXPECT_EQ(PortStatusText(Running({.step = ProvisionStep::kUpdate, .totalBytes = 204800}), false),
            "update 0 %");
  EXPECT_EQ(PortStatusText(Running({.step = ProvisionStep::kConfigure, .k = 12, .n = 40}), false),
            "configure 12 of 40");
  EXPECT_EQ(PortStatusText(Running({.step = ProvisionStep::kVerify, .k = 3, .n = 40}), true),
            "verify 3 of 40");
}

TEST(PortStatusText, SaysHowItEndedAndWhileWatchingThatTheModuleMayGo) {
  EXPECT_EQ(PortStatusText(Ended(ProvisionOutcome::kPassed, {}, ""), false), "done (41.3 s)");
  EXPECT_EQ(PortStatusText(Ended(ProvisionOutcome::kPassed, {}, ""), true),
            "done \u2014 unplug (41.3 s)");
  EXPECT_EQ(PortStatusText(Ended(ProvisionOutcome::kFailed, ProvisionStep::kUpdate, "lost"), true),
            "FAILED at update \u2014 unplug: lost");
  EXPECT_EQ(
      PortStatusText(Ended(ProvisionOutcome::kSkipped, ProvisionStep::kUpdate, "MB11"), false),
      "skipped: MB11");
  EXPECT_EQ(PortStatusText(Ended(ProvisionOutcome::kCancelled, ProvisionStep::kVerify, ""), false),
            "cancelled at verify");
  PortStatus unrecorded = Ended(ProvisionOutcome::kPassed, {}, "");
  unrecorded.result->recordError = "disk full";
  EXPECT_EQ(PortStatusText(unrecorded, false), "done NOT RECORDED (41.3 s) (disk full)");
  PortStatus empty = Ended(ProvisionOutcome::kPassed, {}, "");
  empty.unplugged = true;
  EXPECT_EQ(PortStatusText(empty, true), "empty");
}

}  // namespace
}  // namespace zendra::test
