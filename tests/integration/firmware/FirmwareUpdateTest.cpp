// Local update and firmware reload against the simulated module, at the
// compressed time scale: what reaches the module, what the window is told, and
// what the module runs afterwards.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "FirmwareTestImages.h"
#include "../../unit/firmware/RecordingView.h"
#include "firmware/FirmwareReload.h"
#include "firmware/FirmwareUpdate.h"
#include "support/SimHarness.h"

namespace zendra::test {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

constexpr auto kDeadline = std::chrono::seconds(30);

bool Holds(const std::vector<std::string>& texts, const std::string& text) {
  return std::find(texts.begin(), texts.end(), text) != texts.end();
}

sim::Options ModuleAt115200() {
  sim::Options o;
  o.baudRate = 115200;
  return o;
}

// ---- local update ------------------------------------------------------------------

TEST(LocalUpdateTest, NewImageIsSentAndTheModuleIsReadBackWithItsNewVersion) {
  SimHarness h(ModuleAt115200());
  ASSERT_TRUE(h.Connect(115200));
  ASSERT_EQ(h.Conn().firmwareVersion, "v1.10.0");
  TempImages images;
  RecordingView view;
  FirmwareUpdate update(h.Conn(), view);
  update.SetChosenPath(images.Write(3000));

  ASSERT_TRUE(update.OnLocalUpdate());
  ASSERT_TRUE(view.WaitForFinished(kDeadline));
  EXPECT_THAT(view.FinishedOutcomes(), ElementsAre(FirmwareOutcome::kCompleted));
  EXPECT_EQ(update.LastOutcome(), FirmwareOutcome::kCompleted);

  const auto received = h.Sim().ReceivedImages();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0], images.LastPadded());
  EXPECT_EQ(h.Sim().Version(), "v1.11.0");
  EXPECT_FALSE(h.Sim().InBootloader());

  EXPECT_EQ(h.Conn().firmwareVersion, "v1.11.0");
  ASSERT_EQ(view.Texts().size(), 1u);
  EXPECT_EQ(view.Texts()[0].productName, "MA11");
  EXPECT_EQ(view.Texts()[0].euiAddress, "000D6F0000A1B2C3");
  EXPECT_EQ(view.Texts()[0].nodeName, "Zendra1");
  EXPECT_EQ(view.Texts()[0].firmwareVersion, "v1.11.0");
  EXPECT_THAT(view.Definitions(), ElementsAre("MA11_v1.11.0.zmcon"));
  EXPECT_THAT(view.Buttons(), ElementsAre(false, true));
  EXPECT_EQ(view.LastStatus(), "Completed successfully.");
  const auto statuses = view.Statuses();
  EXPECT_EQ(statuses.front(), "Preparing for firmware update...");
  EXPECT_TRUE(Holds(statuses, "Preparing for firmware update......"));
  EXPECT_TRUE(Holds(statuses, "100.00% Completed!"));
  EXPECT_TRUE(Holds(statuses, "Finishing..."));
  EXPECT_TRUE(Holds(statuses, "Update complete."));
  const auto progress = view.Progress();
  EXPECT_EQ(progress.front(), 0);
  EXPECT_EQ(progress.back(), 100);
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
  EXPECT_THAT(h.Sim().ReceivedLines(), Contains("AT+BOOTLOAD\n"));
  EXPECT_THAT(h.Op().Messages(), IsEmpty());
  EXPECT_EQ(h.Op().WaitDepth(), 0);
}

TEST(LocalUpdateTest, SleepyModuleIsWokenBeforeItIsAskedToEnterTheBootloader) {
  sim::Options o = ModuleAt115200();
  o.nodeType = 4;
  SimHarness h(o);
  ASSERT_TRUE(h.Connect(115200));
  ASSERT_TRUE(h.Link().sleepy);
  TempImages images;
  RecordingView view;
  FirmwareUpdate update(h.Conn(), view);
  update.SetChosenPath(images.Write(700));
  h.Sim().ClearLog();
  ASSERT_TRUE(update.OnLocalUpdate());
  ASSERT_TRUE(view.WaitForFinished(kDeadline));
  // Asleep again after the page's two seconds, the module would have lost the
  // command without the wake-up "\n" before it.
  EXPECT_THAT(view.FinishedOutcomes(), ElementsAre(FirmwareOutcome::kCompleted));
  EXPECT_THAT(h.Sim().ReceivedLines(), Contains("AT+BOOTLOAD\n"));
  EXPECT_EQ(h.Conn().firmwareVersion, "v1.11.0");
}

TEST(LocalUpdateTest, ModuleThatDoesNotEnterItsBootloaderGetsNoWorkerAndTheButtonsBack) {
  SimHarness h(ModuleAt115200());
  ASSERT_TRUE(h.Connect(115200));
  sim::Faults f;
  f.silent = true;
  h.Sim().SetFaults(f);
  TempImages images;
  RecordingView view;
  FirmwareUpdate update(h.Conn(), view);
  update.SetChosenPath(images.Write(700));
  EXPECT_FALSE(update.OnLocalUpdate());
  EXPECT_FALSE(update.Busy());
  EXPECT_THAT(h.Op().Messages(), ElementsAre("ERROR: The device does not respond."));
  EXPECT_THAT(view.Buttons(), ElementsAre(false, true));
  EXPECT_TRUE(h.Sim().ReceivedImages().empty());
}

TEST(LocalUpdateTest, RefusedBlocksEndInTransmitErrorWithTheButtonsBackAndNoMessage) {
  sim::Options o = ModuleAt115200();
  o.faults.refuseBlock = 2;
  o.faults.refuseTimes = 10;
  SimHarness h(o);
  ASSERT_TRUE(h.Connect(115200));
  TempImages images;
  RecordingView view;
  FirmwareUpdate update(h.Conn(), view);
  update.SetChosenPath(images.Write(1000));
  ASSERT_TRUE(update.OnLocalUpdate());
  ASSERT_TRUE(view.WaitForFinished(kDeadline));
  EXPECT_THAT(view.FinishedOutcomes(), ElementsAre(FirmwareOutcome::kTransmitError));
  EXPECT_EQ(view.LastStatus(), "Transmit error.");
  EXPECT_TRUE(Holds(view.Statuses(), "002 Packets Error! [NAK-10]"));
  EXPECT_TRUE(Holds(view.Statuses(), "002 Packets Error! [NAK-01]"));
  EXPECT_THAT(view.Buttons(), ElementsAre(false, true));
  EXPECT_THAT(h.Op().Messages(), IsEmpty());
  // The three CAN took the bootloader out of its receive state: no image kept.
  EXPECT_TRUE(h.Sim().ReceivedImages().empty());
  EXPECT_TRUE(h.Sim().InBootloader());
}

TEST(LocalUpdateTest, NewFirmwareThatNeverAnswersIsReportedAfterTheBound) {
  // The module takes the image but the firmware it starts is mute.
  SimHarness h(ModuleAt115200());
  ASSERT_TRUE(h.Connect(115200));
  TempImages images;
  RecordingView view;
  FirmwareUpdate update(h.Conn(), view);
  update.SetChosenPath(images.Write(300));
  ASSERT_TRUE(update.OnLocalUpdate());
  ASSERT_TRUE(view.WaitForStatus("Update complete.", kDeadline));
  sim::Faults f;
  f.silent = true;
  h.Sim().SetFaults(f);
  ASSERT_TRUE(view.WaitForFinished(kDeadline));
  EXPECT_THAT(view.FinishedOutcomes(), ElementsAre(FirmwareOutcome::kNoRestart));
  EXPECT_EQ(view.LastStatus(), "Restart error.");
  EXPECT_THAT(h.Op().Messages(), ElementsAre("ERROR: The device does not respond."));
  EXPECT_THAT(view.Buttons(), ElementsAre(false, true));
  EXPECT_THAT(view.Texts(), IsEmpty());
}

// ---- reload of a damaged firmware ----------------------------------------------------

TEST(FirmwareReloadTest, DamagedModuleIsReloadedFromTheConnectQuestionAndThenConnects) {
  sim::Options o;
  o.damaged = true;
  o.baudRate = 9600;
  SimHarness h(o);
  TempImages images;
  const auto path = images.Write(5000);
  RecordingView view;
  std::optional<FirmwareOutcome> outcome;
  Connection::Hooks hooks;
  hooks.reloadFirmware = [&] {
    FirmwareReload reload(h.Conn(), view);
    reload.SetChosenPath(path);
    if (reload.OnUpload()) reload.Join();
    outcome = reload.LastOutcome();
  };
  h.Conn().SetHooks(hooks);
  h.Op().QueueAnswer(true);

  ASSERT_TRUE(h.Connect(9600));
  EXPECT_THAT(h.Op().Questions(),
              ElementsAre("The local device's firmware was demaged. Do you want to reload?"));
  EXPECT_EQ(outcome, FirmwareOutcome::kCompleted);
  EXPECT_THAT(h.Op().Messages(), ElementsAre("Firmware update is completed successfully."));
  EXPECT_EQ(view.LastStatus(), "Completed successfully.");
  EXPECT_EQ(view.Statuses().front(), "Preparing for firmware update...");
  EXPECT_THAT(view.Buttons(), ElementsAre(false, true));
  const auto received = h.Sim().ReceivedImages();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0], images.LastPadded());
  EXPECT_EQ(h.Conn().productName, "MA11");
  EXPECT_EQ(h.Conn().firmwareVersion, "v1.11.0");
  EXPECT_TRUE(h.Conn().IsOpen());
}

class ReloadDialogTest : public ::testing::Test {
 protected:
  // A damaged module on a line already at the bootloader's 115200.
  void Open(sim::Faults faults = {}) {
    sim::Options o;
    o.damaged = true;
    o.faults = faults;
    harness_ = std::make_unique<SimHarness>(o);
    ASSERT_TRUE(harness_->OpenPort(115200));
  }
  SimHarness& H() { return *harness_; }
  std::unique_ptr<SimHarness> harness_;
  TempImages images_;
  RecordingView view_;
};

TEST_F(ReloadDialogTest, ImageOfOneBlockAndOneByteArrivesPaddedWithAmpersands) {
  Open();
  FirmwareReload reload(H().Conn(), view_);
  reload.SetChosenPath(images_.Write(129));
  ASSERT_TRUE(reload.OnUpload());
  reload.Join();
  EXPECT_EQ(reload.LastOutcome(), FirmwareOutcome::kCompleted);
  const auto received = H().Sim().ReceivedImages();
  ASSERT_EQ(received.size(), 1u);
  ASSERT_EQ(received[0].size(), 256u);
  EXPECT_TRUE(std::equal(images_.Last().begin(), images_.Last().end(), received[0].begin()));
  EXPECT_TRUE(std::all_of(received[0].begin() + 129, received[0].end(),
                          [](std::uint8_t b) { return b == 0x26; }));
}

TEST_F(ReloadDialogTest, RefusedBlockIsSentAgainAndTheTransferGoesOn) {
  sim::Faults f;
  f.refuseBlock = 1;
  f.refuseTimes = 1;
  Open(f);
  FirmwareReload reload(H().Conn(), view_);
  reload.SetChosenPath(images_.Write(128));
  ASSERT_TRUE(reload.OnUpload());
  reload.Join();
  EXPECT_EQ(reload.LastOutcome(), FirmwareOutcome::kCompleted);
  EXPECT_TRUE(Holds(view_.Statuses(), "001 Packets Error! [NAK-10]"));
  const auto received = H().Sim().ReceivedImages();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0], images_.LastPadded());
}

TEST_F(ReloadDialogTest, ModuleGoingQuietMidTransferIsATransmitError) {
  sim::Faults f;
  f.silentAfterBlock = 2;
  Open(f);
  FirmwareReload reload(H().Conn(), view_);
  reload.SetChosenPath(images_.Write(1000));
  ASSERT_TRUE(reload.OnUpload());
  reload.Join();
  EXPECT_EQ(reload.LastOutcome(), FirmwareOutcome::kTransmitError);
  EXPECT_EQ(view_.LastStatus(), "Transmit error.");
  EXPECT_THAT(H().Op().Messages(), ElementsAre("ERROR: Failed to update firmware."));
  EXPECT_THAT(view_.Buttons(), ElementsAre(false, true));
}

TEST_F(ReloadDialogTest, BootloaderThatNeverAsksForTheImageIsReportedWithItsOwnWording) {
  sim::Faults f;
  f.neverSendC = true;
  Open(f);
  FirmwareReload reload(H().Conn(), view_);
  reload.SetChosenPath(images_.Write(300));
  ASSERT_TRUE(reload.OnUpload());
  reload.Join();
  EXPECT_EQ(reload.LastOutcome(), FirmwareOutcome::kNoStartRequest);
  EXPECT_THAT(H().Op().Messages(), ElementsAre("ERROR: The device does not repond."));
  // The dialog's status stays where the engine left it.
  EXPECT_EQ(view_.LastStatus(), "Preparing for firmware update...");
}

TEST_F(ReloadDialogTest, AnyByteAnsweringTheFirstEotIsTakenAndTheUploadCompletes) {
  sim::Faults f;
  f.eotAnswer = 0x15;
  Open(f);
  FirmwareReload reload(H().Conn(), view_);
  reload.SetChosenPath(images_.Write(200));
  ASSERT_TRUE(reload.OnUpload());
  reload.Join();
  EXPECT_EQ(reload.LastOutcome(), FirmwareOutcome::kCompleted);
}

TEST_F(ReloadDialogTest, ModuleWithoutABootloaderMenuIsReportedAndNoWorkerStarts) {
  sim::Options o;
  o.faults.silent = true;
  o.baudRate = 115200;  // a running firmware that says nothing to "\n"
  harness_ = std::make_unique<SimHarness>(o);
  ASSERT_TRUE(H().OpenPort(115200));
  FirmwareReload reload(H().Conn(), view_);
  reload.SetChosenPath(images_.Write(200));
  EXPECT_FALSE(reload.OnUpload());
  EXPECT_FALSE(reload.Busy());
  EXPECT_THAT(H().Op().Messages(), ElementsAre("ERROR: The device does not respond."));
  EXPECT_THAT(view_.Buttons(), ElementsAre(false, true));
}

TEST_F(ReloadDialogTest, ClosingTheDialogMidTransferStopsTheWorkerAndCancelsTheUpload) {
  Open();
  auto reload = std::make_unique<FirmwareReload>(H().Conn(), view_);
  reload->SetChosenPath(images_.Write(64 * 1024));
  ASSERT_TRUE(reload->OnUpload());
  ASSERT_TRUE(view_.WaitForStatus("5.08% Completed!", kDeadline));
  ASSERT_TRUE(reload->Busy());

  // The dialog goes away: its destructor stops and joins the worker.
  const auto asked = std::chrono::steady_clock::now();
  reload.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(1));
  const auto callsAfterClose = view_.Statuses().size();
  EXPECT_TRUE(view_.FinishedOutcomes().empty());

  // CAN CAN CAN took the bootloader out of its receive state, back to its menu.
  auto& ring = H().Link().Receive();
  std::string text;
  const auto deadline = std::chrono::steady_clock::now() + kDeadline;
  while (text.find("upload aborted") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    ring.WaitForBytes(deadline);
    text += ring.TakeText();
  }
  EXPECT_THAT(text, HasSubstr("upload aborted"));
  EXPECT_TRUE(H().Sim().ReceivedImages().empty());
  EXPECT_EQ(view_.Statuses().size(), callsAfterClose);
}

}  // namespace
}  // namespace zendra::test
