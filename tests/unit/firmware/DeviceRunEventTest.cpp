// A remote device's run as its row's status reads it: every kind, the bounds of
// the percentage, a clone's seconds, and a version that could not be read.

#include <gmock/gmock.h>

#include "firmware/DeviceRunEvent.h"

namespace zendra::test {
namespace {

using Kind = DeviceRunEvent::Kind;

TEST(DeviceRunEventTest, EachKindReadsAsTheRowShowsIt) {
  EXPECT_EQ(DeviceRunText(DeviceRunEvent::Waiting()), "waiting");
  EXPECT_EQ(DeviceRunText(DeviceRunEvent::Preparing(false)), "preparing");
  EXPECT_EQ(DeviceRunText(DeviceRunEvent::Sending(37, 1110, 3000)), "sending 37 %");
  EXPECT_EQ(DeviceRunText(DeviceRunEvent::Cloning(12)), "cloning 12 s");
  EXPECT_EQ(DeviceRunText(DeviceRunEvent::Done("v1.11.7")), "done \u2014 v1.11.7");
  EXPECT_EQ(DeviceRunText(DeviceRunEvent::Failed(FirmwareOutcome::kNotStarted)),
            "failed \u2014 no response");
  EXPECT_EQ(DeviceRunText(DeviceRunEvent::Cancelled(FirmwareOutcome::kStopped, true)),
            "cancelled \u2014 needs firmware");
  EXPECT_EQ(DeviceRunText(DeviceRunEvent::Cancelled(std::nullopt, false)),
            "cancelled \u2014 not started");
}

// The tool tip's words: the whole reason, as the closing report gives it.
TEST(DeviceRunEventTest, TheDetailSaysWhyInWholeWords) {
  EXPECT_EQ(DeviceRunDetail(DeviceRunEvent::Failed(FirmwareOutcome::kNotStarted)),
            "failed \u2014 the remote device did not respond");
  EXPECT_EQ(DeviceRunDetail(DeviceRunEvent::Failed(FirmwareOutcome::kImageRefused)),
            "failed \u2014 its bootloader refused the image");
  EXPECT_EQ(DeviceRunDetail(DeviceRunEvent::Cancelled(FirmwareOutcome::kStopped, true)),
            "cancelled \u2014 needs its firmware again");
  EXPECT_EQ(DeviceRunDetail(DeviceRunEvent::Done("v1.11.7")), "done \u2014 v1.11.7");
  // Every outcome a device can fail with has a short reason of its own.
  for (int i = 0; i <= static_cast<int>(FirmwareOutcome::kStopped); ++i) {
    const auto outcome = static_cast<FirmwareOutcome>(i);
    const std::string text = DeviceRunText(DeviceRunEvent::Failed(outcome));
    EXPECT_NE(text, "failed \u2014 unknown") << OutcomeName(outcome);
    EXPECT_LE(text.size(), std::string("failed \u2014 ").size() + 16) << text;
  }
}

TEST(DeviceRunEventTest, TheEventsCarryTheirValuesAndTheTextsNeedNoParsing) {
  const auto sending = DeviceRunEvent::Sending(140, 3000, 3000);
  EXPECT_EQ(sending.kind, Kind::kSending);
  EXPECT_EQ(sending.percent, 100) << "clipped as the bar clips it";
  EXPECT_EQ(sending.bytes, 3000);
  EXPECT_EQ(sending.total, 3000);
  EXPECT_FALSE(sending.clone);
  EXPECT_EQ(DeviceRunEvent::Sending(-3, 0, 10).percent, 0);
  // A clone counts its seconds past 100 (it waits up to 180).
  EXPECT_EQ(DeviceRunEvent::Cloning(150).percent, 150);
  const auto failed = DeviceRunEvent::Failed(FirmwareOutcome::kTransmitError);
  EXPECT_EQ(failed.kind, Kind::kFailed);
  EXPECT_EQ(failed.outcome, FirmwareOutcome::kTransmitError);
  EXPECT_EQ(failed.reason, "the image transfer failed");
  const auto done = DeviceRunEvent::Done("v2.0");
  EXPECT_EQ(done.outcome, FirmwareOutcome::kCompleted);
  EXPECT_EQ(done.newVersion, "v2.0");
}

TEST(DeviceRunEventTest, ADoneDeviceWhoseVersionCouldNotBeReadSaysSo) {
  EXPECT_EQ(DeviceRunText(DeviceRunEvent::Done("ERROR")), "done \u2014 version?");
  EXPECT_EQ(DeviceRunDetail(DeviceRunEvent::Done("ERROR")),
            "done \u2014 its version could not be read");
  EXPECT_EQ(DeviceRunDetail(DeviceRunEvent::Done("")), "done \u2014 its version could not be read");
}

}  // namespace
}  // namespace zendra::test
