// Local update and firmware reload against the simulated module at the
// compressed time scale: what reaches the module, what the window is told, and
// what the module runs afterwards.

#include <gmock/gmock.h>


#include "../../unit/firmware/RecordingView.h"
#include "base/Clock.h"
#include "firmware/FirmwareReload.h"
#include "firmware/FirmwareUpdate.h"
#include "support/FirmwareImageFile.h"
#include "support/SimHarness.h"

namespace zendra::test {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Not;

constexpr auto kDeadline = std::chrono::seconds(30);
using Bytes = std::vector<std::uint8_t>;

// An MA11 image of `size` bytes, read back as version v1.11.0.
struct Image : FirmwareImageFile {
  explicit Image(std::size_t size, Form form = Form::kEbl)
      : FirmwareImageFile("MA11", "v1.11.0", size, form) {}
};

constexpr const char* kImageRefusedDetail =
    "The module's bootloader checked the image it received and refused it: it is no firmware "
    "the module can run. The module now waits in its bootloader without a working firmware and "
    "needs a reload with a valid firmware image.";

sim::Options Module(int baudRate = 115200, bool damaged = false, sim::Faults faults = {}) {
  sim::Options o;
  o.baudRate = baudRate;
  o.damaged = damaged;
  o.faults = faults;
  return o;
}

TEST(LocalUpdateTest, NewImageIsSentAndTheModuleIsReadBackWithItsNewVersion) {
  SimHarness h(Module());
  ASSERT_TRUE(h.Connect(115200));
  ASSERT_EQ(h.Conn().Device().firmwareVersion, "v1.10.0");
  const Image image(3000);
  RecordingView view;
  FirmwareUpdate update(h.Conn(), view, h.Op());
  update.SetChosenPath(image.Path());

  ASSERT_TRUE((update.CheckLocal() && update.OnLocalUpdate(h.TakeLine())));
  ASSERT_TRUE(view.WaitForFinished(kDeadline));
  EXPECT_THAT(view.finished, ElementsAre(FirmwareOutcome::kCompleted));
  EXPECT_THAT(h.Sim().ReceivedImages(), ElementsAre(image.Padded()));
  EXPECT_THAT(h.Sim().ReceivedLines(), Contains("AT+BOOTLOAD\n"));
  EXPECT_EQ(h.Sim().Version(), "v1.11.0");

  ASSERT_EQ(view.texts.size(), 1u);
  const DeviceInfo& t = view.texts[0];
  EXPECT_EQ(t.productName + " " + t.euiAddress + " " + t.nodeName + " " + t.firmwareVersion,
            "MA11 000D6F0000A1B2C3 Zendra1 v1.11.0");
  EXPECT_EQ(h.Conn().Device().firmwareVersion, "v1.11.0");
  EXPECT_THAT(view.definitions, ElementsAre("MA11_v1.11.0.zmcon"));
  EXPECT_THAT(view.buttons, ElementsAre(false, true));
  EXPECT_EQ(view.statuses.front(), "Preparing for firmware update...");
  EXPECT_THAT(view.statuses, Contains("Preparing for firmware update......"));
  EXPECT_THAT(view.statuses, Contains("Update complete."));
  EXPECT_EQ(view.statuses.back(), "Completed successfully.");
  EXPECT_EQ(view.progress.front(), 0);
  EXPECT_EQ(view.progress.back(), 100);
  EXPECT_THAT(h.Op().Messages(), IsEmpty());
  EXPECT_EQ(h.Op().WaitDepth(), 0);
}

TEST(LocalUpdateTest, ATextFileThatNamesTheModelIsRefusedBeforeAnythingIsSent) {
  SimHarness h(Module());
  ASSERT_TRUE(h.Connect(115200));
  h.Sim().ClearLog();
  const Image text(48, FirmwareImageFile::Form::kText);
  RecordingView view;
  FirmwareUpdate update(h.Conn(), view, h.Op());
  update.SetChosenPath(text.Path());
  EXPECT_FALSE(update.CheckLocal());
  EXPECT_THAT(h.Op().Messages(), ElementsAre("ERROR: The file is text, not a firmware image."));
  EXPECT_THAT(h.Sim().ReceivedLines(), IsEmpty());
  EXPECT_THAT(view.statuses, IsEmpty());
}

TEST(LocalUpdateTest, AnImageTheBootloaderRefusesFailsAndSaysTheModuleNeedsAReload) {
  SimHarness h(Module());
  ASSERT_TRUE(h.Connect(115200));
  const Image image(3000, FirmwareImageFile::Form::kNoEblHeader);
  RecordingView view;
  FirmwareUpdate update(h.Conn(), view, h.Op());
  update.SetChosenPath(image.Path());

  ASSERT_TRUE((update.CheckLocal() && update.OnLocalUpdate(h.TakeLine())));
  ASSERT_TRUE(view.WaitForFinished(kDeadline));
  EXPECT_THAT(view.finished, ElementsAre(FirmwareOutcome::kImageRefused));
  EXPECT_EQ(view.statuses.back(), "The bootloader refused the image.");
  EXPECT_THAT(view.statuses, Not(Contains("Completed successfully.")));
  EXPECT_THAT(h.Op().Messages(), ElementsAre("ERROR: Failed to update firmware."));
  EXPECT_THAT(h.Op().Details(), ElementsAre(kImageRefusedDetail));
  EXPECT_THAT(view.buttons, ElementsAre(false, true));
  EXPECT_THAT(view.texts, IsEmpty()) << "no device to read: it has no firmware";

  // The image came whole and was refused; the module waits in its bootloader, its
  // application gone, and nobody told it to run what is not there.
  EXPECT_TRUE(h.Sim().ReceivedImages().empty());
  ASSERT_EQ(h.Sim().RefusedImages().size(), 1u);
  EXPECT_EQ(h.Sim().RefusedImages()[0].image, image.Padded());
  EXPECT_TRUE(h.Sim().InBootloader());
  EXPECT_EQ(h.Sim().Version(), "v1.10.0");
  EXPECT_FALSE(h.Conn().Gate().Leased());
}

TEST(LocalUpdateTest, SleepyModuleIsWokenBeforeItIsAskedToEnterTheBootloader) {
  sim::Options o = Module();
  o.nodeType = 4;  // asleep again after the page's two seconds: it would lose the command
  SimHarness h(o);
  ASSERT_TRUE(h.Connect(115200));
  const Image image(700);
  RecordingView view;
  FirmwareUpdate update(h.Conn(), view, h.Op());
  update.SetChosenPath(image.Path());
  ASSERT_TRUE((update.CheckLocal() && update.OnLocalUpdate(h.TakeLine())));
  ASSERT_TRUE(view.WaitForFinished(kDeadline));
  EXPECT_THAT(view.finished, ElementsAre(FirmwareOutcome::kCompleted));
  EXPECT_EQ(h.Conn().Device().firmwareVersion, "v1.11.0");
}

TEST(LocalUpdateTest, SilentModuleGetsNoWorkerAndItsButtonsBack) {
  SimHarness h(Module());
  ASSERT_TRUE(h.Connect(115200));
  h.Sim().SetFaults(sim::Faults{.silent = true});
  const Image image(700);
  RecordingView view;
  FirmwareUpdate update(h.Conn(), view, h.Op());
  update.SetChosenPath(image.Path());
  EXPECT_FALSE((update.CheckLocal() && update.OnLocalUpdate(h.TakeLine())));
  EXPECT_FALSE(update.Busy());
  EXPECT_THAT(h.Op().Messages(), ElementsAre("ERROR: The device does not respond."));
  EXPECT_THAT(view.buttons, ElementsAre(false, true));
}

TEST(LocalUpdateTest, NewFirmwareThatNeverAnswersIsReportedAfterTheBound) {
  SimHarness h(Module());
  ASSERT_TRUE(h.Connect(115200));
  const Image image(300);
  RecordingView view;
  FirmwareUpdate update(h.Conn(), view, h.Op());
  update.SetChosenPath(image.Path());
  ASSERT_TRUE((update.CheckLocal() && update.OnLocalUpdate(h.TakeLine())));
  ASSERT_TRUE(view.WaitForStatus("Update complete.", kDeadline));
  h.Sim().SetFaults(sim::Faults{.silent = true});
  ASSERT_TRUE(view.WaitForFinished(kDeadline));
  EXPECT_THAT(view.finished, ElementsAre(FirmwareOutcome::kNoRestart));
  EXPECT_EQ(view.statuses.back(), "Restart error.");
  EXPECT_THAT(h.Op().Messages(), ElementsAre("ERROR: The device does not respond."));
  EXPECT_THAT(view.buttons, ElementsAre(false, true));
  EXPECT_THAT(view.texts, IsEmpty());
}

TEST(LocalUpdateTest, APortLostMidTransferEndsTheUpdateAtOnceAndSaysSo) {
  SimHarness h(Module());
  ASSERT_TRUE(h.Connect(115200));
  const Image image(40 * 1024);
  RecordingView view;
  FirmwareUpdate update(h.Conn(), view, h.Op());
  update.SetChosenPath(image.Path());
  ASSERT_TRUE((update.CheckLocal() && update.OnLocalUpdate(h.TakeLine())));
  ASSERT_TRUE(view.WaitForProgress(10, kDeadline));
  // The device is unplugged: the budget for a block's answer is 5 s (real time
  // from here on), the completion wait 30 s; neither may be waited out for a line
  // that is gone.
  Clock::SetScale(1.0);
  const auto lost = std::chrono::steady_clock::now();
  h.Sim().Vanish();
  ASSERT_TRUE(view.WaitForFinished(kDeadline));
  EXPECT_LT(std::chrono::steady_clock::now() - lost, std::chrono::seconds(1));
  EXPECT_THAT(view.finished, ElementsAre(FirmwareOutcome::kLineLost));
  EXPECT_EQ(view.statuses.back(), "Transmit error.");
  EXPECT_THAT(h.Op().Messages(), ElementsAre(ImageTransfer::kLineLostMessage));
  EXPECT_THAT(view.buttons, ElementsAre(false, true));
}

TEST(FirmwareReloadTest, DamagedModuleIsReloadedFromTheConnectQuestionAndThenConnects) {
  SimHarness h(Module(9600, true));
  const Image image(5000);
  RecordingView view;
  std::optional<FirmwareOutcome> outcome;
  h.Conn().SetHooks({.reloadFirmware = [&](LineLease& line) {
    FirmwareReload reload(h.Conn(), line, view, h.Op());
    reload.SetChosenPath(image.Path());
    if (reload.OnUpload()) reload.Join();
    outcome = reload.LastOutcome();
  }});
  h.Op().QueueAnswer(true);

  ASSERT_TRUE(h.Connect(9600)) << ::testing::PrintToString(h.Op().Events().size())
                               << ::testing::PrintToString(h.Op().Messages())
                               << ::testing::PrintToString(view.statuses)
                               << " failure " << static_cast<int>(h.Conn().LastFailure());
  EXPECT_THAT(h.Op().Questions(),
              ElementsAre("The local device's firmware was demaged. Do you want to reload?"));
  EXPECT_EQ(outcome, FirmwareOutcome::kCompleted);
  EXPECT_THAT(h.Op().Messages(), ElementsAre("Firmware update is completed successfully."));
  EXPECT_EQ(view.statuses.front(), "Preparing for firmware update...");
  EXPECT_EQ(view.statuses.back(), "Completed successfully.");
  EXPECT_THAT(view.buttons, ElementsAre(false, true));
  EXPECT_THAT(h.Sim().ReceivedImages(), ElementsAre(image.Padded()));
  EXPECT_EQ(h.Conn().Device().firmwareVersion, "v1.11.0");
  EXPECT_TRUE(h.Conn().IsOpen());
}

TEST(FirmwareReloadTest, AnImageTheBootloaderRefusesLeavesTheModuleDamagedAndSaysSo) {
  SimHarness h(Module(115200, true));
  ASSERT_TRUE(h.OpenPort(115200));
  const Image image(2000, FirmwareImageFile::Form::kNoEblHeader);
  RecordingView view;
  FirmwareReload reload(h.Conn(), h.Line(), view, h.Op());
  reload.SetChosenPath(image.Path());
  ASSERT_TRUE(reload.OnUpload());
  reload.Join();
  EXPECT_EQ(reload.LastOutcome(), FirmwareOutcome::kImageRefused);
  EXPECT_THAT(h.Op().Messages(), ElementsAre("ERROR: Failed to update firmware."));
  EXPECT_THAT(h.Op().Details(), ElementsAre(kImageRefusedDetail));
  EXPECT_EQ(view.statuses.back(), "The bootloader refused the image.");
  EXPECT_THAT(view.buttons, ElementsAre(false, true));
  EXPECT_TRUE(h.Sim().ReceivedImages().empty());
  EXPECT_EQ(h.Sim().RefusedImages().size(), 1u);
  EXPECT_TRUE(h.Sim().InBootloader());
  // No "2" was sent: the menu's run would find nothing to run.
  EXPECT_THAT(h.Sim().ReceivedLines(), Not(Contains("2")));
}

// The reload dialog on a damaged module, the line already at 115200.
struct ReloadCase {
  const char* what;
  sim::Faults faults;
  FirmwareOutcome outcome;
  std::vector<std::string> messages;
  const char* lastStatus;
};

class ReloadEndingTest : public ::testing::TestWithParam<ReloadCase> {};

TEST_P(ReloadEndingTest, ReloadEndsWithTheDialogsStatusAndMessage) {
  const ReloadCase& c = GetParam();
  SimHarness h(Module(115200, true, c.faults));
  ASSERT_TRUE(h.OpenPort(115200));
  const Image image(129);
  RecordingView view;
  FirmwareReload reload(h.Conn(), h.Line(), view, h.Op());
  reload.SetChosenPath(image.Path());
  ASSERT_TRUE(reload.OnUpload());
  reload.Join();
  EXPECT_EQ(reload.LastOutcome(), c.outcome);
  EXPECT_EQ(h.Op().Messages(), c.messages);
  EXPECT_EQ(view.statuses.back(), c.lastStatus);
  EXPECT_THAT(view.buttons, ElementsAre(false, true));
  if (c.outcome == FirmwareOutcome::kCompleted) {
    // One block and one byte: the second block carries 127 bytes of 0x26.
    EXPECT_THAT(h.Sim().ReceivedImages(), ElementsAre(image.Padded()));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ReloadEndingTest,
    ::testing::Values(
        ReloadCase{"completes", {}, FirmwareOutcome::kCompleted,
                   {"Firmware update is completed successfully."}, "Completed successfully."},
        ReloadCase{"refused once", {.refuseBlock = 1, .refuseTimes = 1}, FirmwareOutcome::kCompleted,
                   {"Firmware update is completed successfully."}, "Completed successfully."},
        ReloadCase{"quiet mid-transfer", {.silentAfterBlock = 1}, FirmwareOutcome::kTransmitError,
                   {"ERROR: Failed to update firmware."}, "Transmit error."},
        ReloadCase{"never asks", {.neverSendC = true}, FirmwareOutcome::kNoStartRequest,
                   {"ERROR: The device does not repond."}, "Preparing for firmware update..."}));

TEST(ReloadDialogTest, SecondUploadWhileTheWorkerRunsLeavesTheTransferAlone) {
  SimHarness h(Module(115200, true));
  ASSERT_TRUE(h.OpenPort(115200));
  const Image image(2000);
  RecordingView view;
  FirmwareReload reload(h.Conn(), h.Line(), view, h.Op());
  reload.SetChosenPath(image.Path());
  ASSERT_TRUE(reload.OnUpload());
  ASSERT_TRUE(view.WaitForStatus("12.80% Completed!", kDeadline));
  EXPECT_FALSE(reload.OnUpload());
  reload.Join();
  EXPECT_EQ(reload.LastOutcome(), FirmwareOutcome::kCompleted);
  EXPECT_THAT(h.Sim().ReceivedImages(), ElementsAre(image.Padded()));
}

TEST(ReloadDialogTest, ClosingTheDialogMidTransferStopsTheWorkerAndCancelsTheUpload) {
  SimHarness h(Module(115200, true));
  ASSERT_TRUE(h.OpenPort(115200));
  const Image image(64 * 1024);
  RecordingView view;
  auto reload = std::make_unique<FirmwareReload>(h.Conn(), h.Line(), view, h.Op());
  reload->SetChosenPath(image.Path());
  ASSERT_TRUE(reload->OnUpload());
  ASSERT_TRUE(view.WaitForStatus("5.08% Completed!", kDeadline));

  const auto asked = std::chrono::steady_clock::now();
  reload.reset();  // the dialog goes away: stop and join
  EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(1));
  const std::size_t reported = view.StatusCount();

  // CAN CAN CAN took the bootloader out of its receive state, back to its menu.
  auto& ring = h.Link().Receive();
  std::string text;
  const auto deadline = std::chrono::steady_clock::now() + kDeadline;
  while (text.find("upload aborted") == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    ring.WaitForBytes(deadline);
    text += ring.TakeText();
  }
  EXPECT_NE(text.find("upload aborted"), std::string::npos);
  EXPECT_TRUE(h.Sim().ReceivedImages().empty());
  EXPECT_TRUE(view.finished.empty());
  EXPECT_EQ(view.StatusCount(), reported);
}

}  // namespace
}  // namespace zendra::test
