// The window closing while a look of the remote sequence prepares a device: the
// stop comes from another thread than the look's, both reach the sequence's line
// at once, and the line goes back once the look has let go of it (run under
// ThreadSanitizer by the tsan preset).

#include <gmock/gmock.h>

#include <thread>

#include "../../unit/firmware/RecordingView.h"
#include "firmware/FirmwareUpdate.h"
#include "support/FirmwareImageFile.h"
#include "support/SimHarness.h"

namespace zendra::test {
namespace {

using ::testing::Contains;
using ::testing::Not;
using ::testing::Optional;

constexpr auto kDeadline = std::chrono::seconds(60);
const std::string kR1 = "000D6F0000000A01";
const std::string kR2 = "000D6F0000000A02";

sim::Options Network() {
  sim::Options o;
  o.baudRate = 115200;
  o.nodeType = 1;
  for (const std::string& eui : {kR1, kR2}) {
    sim::RemoteNode node;
    node.euiAddress = eui;
    node.productName = "MA11";
    node.version = "v1.9.5";
    o.remotes.push_back(node);
  }
  o.relayBlockMs = 10;
  return o;
}

TEST(RemoteSequenceStop, AStopFromAnotherThreadWhileALookPreparesEndsTheLookAndFreesTheLine) {
  SimHarness h(Network());
  ASSERT_TRUE(h.Connect(115200));
  const FirmwareImageFile image("MA11", "v1.11.0", 2048);
  RecordingView view;
  FirmwareUpdate update(h.Conn(), view, h.Op());
  update.SetChosenPath(image.Path());
  ASSERT_THAT(update.OnRemoteUpdate({{kR1, true}, {kR2, true}}), Optional(100));

  // The look prepares the first device for seconds (its pauses before the
  // bootload command) on its own thread, as the page's task does.
  std::optional<int> next = 0;
  std::jthread look([&] { next = update.OnUpdateTimer(); });
  ASSERT_TRUE(view.WaitForStatus("Preparing for firmware update...", kDeadline));
  const auto asked = std::chrono::steady_clock::now();
  update.StopRemoteUpdate();
  look.join();
  // The stop ended the look's pauses: no device was asked for its bootloader.
  EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(5));
  EXPECT_EQ(next, std::nullopt);
  EXPECT_FALSE(update.Busy());
  EXPECT_FALSE(update.RemoteUpdateRunning());
  EXPECT_FALSE(h.Conn().Gate().Leased());
  EXPECT_THAT(h.Sim().ReceivedLines(), Not(Contains("AT+BOOTLOAD=1," + kR1 + "\r\n")));
  EXPECT_TRUE(h.Sim().ReceivedRemoteImages().empty());
  EXPECT_THAT(update.Sequence().Outcomes()[0], Optional(FirmwareOutcome::kStopped));
  EXPECT_FALSE(update.Sequence().Outcomes()[1].has_value()) << "the second was never started";
  // The module is itself and the line free for the next activity.
  auto line = h.Conn().TryLease("scan");
  ASSERT_TRUE(line.has_value());
  EXPECT_EQ(line->Link().QueryAtCommand("AT+VERSION\r\n", 1), "v1.10.0");
}

}  // namespace
}  // namespace zendra::test
