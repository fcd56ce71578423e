// The Firmware Update page's remote half in the main window, against the simulated
// module and its network, driven as a field engineer drives it: Open at 115200,
// Search, rows ticked, the remote Update (by image or by clone, the box flipped
// half-way) with a bar per device; the buttons between two devices; closing the
// window in the middle of a sequence; and "Download from web server" with a server
// on the loopback interface.

#include <gmock/gmock.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>

#include "GuiTestSupport.h"
#include "app/MainDialog.h"
#include "config/ui/ConfigPage.h"
#include "discovery/ui/DeviceListCtrl.h"
#include "firmware/ui/FirmwarePage.h"
#include "serial/PortList.h"
#include "support/FakeOperator.h"
#include "support/FirmwareImageFile.h"
#include "support/SimHarness.h"
#include "support/TempFolder.h"
#include "support/http/LoopbackUpdateServer.h"
#include "webupdate/ui/UpdateServerSetting.h"
#include "widgets/FindControl.h"

namespace zendra::test {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using namespace std::chrono_literals;

// Restated: the main window's Open (1009), Reboot (1006), Reload (1007) and baud
// rate box (1011); the page's status line (1037), file location (1032), device list
// (1014), clone box (1038), Download (1039), Search (1035), remote Update (1036),
// local Update (1033), local bar (1034) and its five buttons.
constexpr int kFiveButtons[] = {1031, 1039, 1033, 1035, 1036};
constexpr int kSearch = 1035;
constexpr int kRemoteUpdate = 1036;
constexpr int kDownload = 1039;
constexpr int kTransferText = 1060;  // under the local bar: bytes, rate, time left
constexpr int kCancel = 1061;        // beside the local Update
constexpr int kRetryFailed = 1062;   // beside the remote Update
constexpr int kRemoteCancel = 1063;  // beside the remote Update

constexpr const char* kAllUpdated = "All remote firmware updates are completed successfully.";
constexpr const char* kOneCloned = "The remote firmware update is completed successfully.";
constexpr const char* kTransmitError = "Transmit error.";
constexpr const char* kSequenceHoldsLine =
    "ERROR: A remote firmware update is running. Please wait until it has ended.";

// The protocol's pauses at a tenth: a device's start (about nine seconds of pauses
// and the module's preparation) takes one, the looks come every half second.
constexpr double kTimeScale = 0.1;
constexpr int kDeadlineMs = 30000;

// GeneratedNetwork(4): rows 0 to 2 are MA11 modules (v1.10.0, v1.11.0, v1.9.5), row
// 3 an MC21X.
const std::vector<sim::RemoteNode> kNodes = sim::GeneratedNetwork(4);

sim::Options Network() {
  sim::Options options;
  options.productName = "MA11";
  options.version = "v1.10.0";
  options.baudRate = 115200;
  options.remotes = kNodes;
  options.cloneMs = 5000;
  options.remoteBootloadMs = 500;
  return options;
}

class FirmwarePageRemote : public ::testing::Test {
 protected:
  explicit FirmwarePageRemote(double timeScale = kTimeScale, sim::Options module = Network())
      : rows_(static_cast<int>(module.remotes.size())), harness(module, timeScale) {
    dialog->AddAndSelectPort(harness.Sim().PortPath());
    dialog->show();
    dialog->Tabs()->setCurrentIndex(1);
  }

  template <typename T = QWidget>
  T* Main(int id) {
    return FindControl<T>(dialog.get(), id);
  }
  template <typename T = QWidget>
  T* Page(int id) {
    return FindControl<T>(dialog->Firmware(), id);
  }
  FirmwarePage* Firmware() { return dialog->Firmware(); }
  DeviceListCtrl* List() { return Page<DeviceListCtrl>(1014); }
  QString Status() { return Page<QLabel>(1037)->text(); }
  std::optional<int> Bar(int row) { return List()->RowProgress(row); }

  void ConnectAndSearch() {
    auto* baud = Main<QComboBox>(1011);
    baud->setCurrentIndex(baud->findText("115200"));
    Main<QPushButton>(1009)->click();
    ASSERT_TRUE(Settle(dialog.get()));
    ASSERT_TRUE(dialog->Conn().IsOpen()) << ::testing::PrintToString(op.Messages());
    Page<QPushButton>(kSearch)->click();
    ASSERT_TRUE(Settle(dialog.get()));
    ASSERT_EQ(List()->rowCount(), rows_);
    ASSERT_THAT(op.Messages(), IsEmpty());
    harness.Sim().ClearLog();
  }
  void Choose(const std::string& path) {
    op.QueueFile(path);
    Page<QPushButton>(1031)->click();
  }
  void Tick(int row) { List()->item(row, 0)->setCheckState(Qt::Checked); }

  std::vector<bool> FiveEnabled() {
    std::vector<bool> enabled;
    for (int id : kFiveButtons) enabled.push_back(Page(id)->isEnabled());
    return enabled;
  }
  // Open/Close, Reboot, Reload and the Configuration page: the main window's own
  // users of the line.
  std::vector<bool> MainLineUsersEnabled() {
    return {Main(1009)->isEnabled(), Main(1006)->isEnabled(), Main(1007)->isEnabled(),
            dialog->Config()->isEnabled()};
  }
  bool SentLineContaining(const std::string& text) {
    for (const auto& line : harness.Sim().ReceivedLines())
      if (line.find(text) != std::string::npos) return true;
    return false;
  }
  std::vector<std::string> RemoteImageOwners() {
    std::vector<std::string> owners;
    for (const auto& image : harness.Sim().ReceivedRemoteImages())
      owners.push_back(image.euiAddress);
    return owners;
  }
  bool SequenceEnded() {
    return !Firmware()->UpdateRunning() && !Firmware()->UpdateTimer().isActive() &&
           !Firmware()->Tasks().Busy();
  }

  const int rows_;     // the devices of the module's network, a row each
  SimHarness harness;  // before the dialog: the port closes before the module goes
  FakeOperator op;
  PortList noPorts;
  std::unique_ptr<MainDialog> dialog = std::make_unique<MainDialog>(op, &noPorts);
};

const std::vector<bool> kFiveOn(5, true);
// Choose file and Download off for a clone, the rest on.
const std::vector<bool> kCloneChecked = {false, false, true, true, true};

TEST_F(FirmwarePageRemote, TwoTickedRowsAreUpdatedOneAfterTheOtherWhileTheWindowPaints) {
  ASSERT_NO_FATAL_FAILURE(ConnectAndSearch());
  const FirmwareImageFile image("MA11", "v1.11.7", 3000);
  Choose(image.Path());
  Tick(0);
  Tick(2);

  TickProbe probe;
  Page<QPushButton>(kRemoteUpdate)->click();
  // While one device runs the other's bar stays where it is: row 2 does not move
  // before row 0 is full.
  int row2BeforeRow0Done = 0;
  // The line under the local bar tells of a local update only.
  bool localLineShown = false;
  ASSERT_TRUE(WaitUntil(
      [&] {
        if (Bar(0).value_or(0) < 100)
          row2BeforeRow0Done = std::max(row2BeforeRow0Done, Bar(2).value_or(0));
        localLineShown = localLineShown || !Page<QLabel>(kTransferText)->text().isEmpty();
        return Status() == kAllUpdated && SequenceEnded();
      },
      kDeadlineMs))
      << Status().toStdString() << " " << ::testing::PrintToString(op.Messages());
  std::cout << "largest gap between two 20 ms ticks: " << probe.LargestGap() << " ms" << std::endl;
  // The module is asked for seconds at every start; a window waiting for it would
  // miss its ticks for that long. The bound leaves room for a loaded machine.
  EXPECT_LE(probe.LargestGap(), 300);

  EXPECT_EQ(row2BeforeRow0Done, 0);
  EXPECT_FALSE(localLineShown);
  EXPECT_EQ(Page<QProgressBar>(1034)->value(), 0);
  EXPECT_EQ(Bar(0), 100);
  EXPECT_EQ(Bar(2), 100);
  EXPECT_EQ(Bar(1), 0);
  EXPECT_EQ(Bar(3), 0);
  // Each device its own image, in row order, through the local module.
  EXPECT_THAT(RemoteImageOwners(), ElementsAre(kNodes[0].euiAddress, kNodes[2].euiAddress));
  for (const auto& received : harness.Sim().ReceivedRemoteImages())
    EXPECT_EQ(received.image, image.Padded());
  EXPECT_EQ(harness.Sim().RemoteVersion(kNodes[0].euiAddress), "v1.11.7");
  EXPECT_EQ(harness.Sim().RemoteVersion(kNodes[2].euiAddress), "v1.11.7");
  EXPECT_EQ(harness.Sim().RemoteVersion(kNodes[1].euiAddress), kNodes[1].version);
  EXPECT_FALSE(SentLineContaining(kNodes[1].euiAddress));
  EXPECT_THAT(op.Messages(), IsEmpty());
  // The line is free again: the page's buttons and the window's users of the line.
  EXPECT_EQ(FiveEnabled(), kFiveOn);
  EXPECT_EQ(MainLineUsersEnabled(), std::vector<bool>(4, true));
  EXPECT_FALSE(dialog->Conn().Gate().Leased());
}

// Twice as slow: the time between a failed device and the next look is what the
// test looks at, and it must stay long enough on a busy machine.
class FirmwarePageRemoteGap : public FirmwarePageRemote {
 protected:
  FirmwarePageRemoteGap() : FirmwarePageRemote(2 * kTimeScale) {}
};

TEST_F(FirmwarePageRemoteGap,
       BetweenTwoDevicesTheFiveButtonsComeBackButTheLineStaysWithTheSequence) {
  ASSERT_NO_FATAL_FAILURE(ConnectAndSearch());
  // The first device refuses every block: the transfer fails, and the second
  // device is started at the next look.
  harness.Sim().SetRemoteFaults(kNodes[0].euiAddress, sim::RemoteFaults{.refuseEveryBlock = true});
  const FirmwareImageFile first("MA11", "v1.11.7", 3000);
  const FirmwareImageFile second("MA11", "v1.11.8", 2000);
  Choose(first.Path());
  Tick(0);
  Tick(2);
  Page<QPushButton>(kRemoteUpdate)->click();

  // The first device has failed and the next look is still to come.
  ASSERT_TRUE(WaitUntil([&] { return Status() == kTransmitError && FiveEnabled() == kFiveOn; },
                        kDeadlineMs))
      << Status().toStdString();
  EXPECT_EQ(MainLineUsersEnabled(), std::vector<bool>(4, false));
  EXPECT_TRUE(dialog->Conn().Gate().Leased());
  EXPECT_TRUE(Firmware()->UpdateRunning()) << "closing now would ask first";
  EXPECT_EQ(Bar(0), 0);
  // The next look is due 5000 ms of protocol time after the last one.
  EXPECT_TRUE(Firmware()->UpdateTimer().isActive());
  EXPECT_EQ(Firmware()->UpdateTimer().interval(), 1000);

  // Search would take the line from the sequence and change the rows it addresses:
  // it says so and leaves the list; so does the local Update.
  Page<QPushButton>(kSearch)->click();
  Page<QPushButton>(1033)->click();
  EXPECT_THAT(op.Messages(), ElementsAre(kSequenceHoldsLine, kSequenceHoldsLine));
  EXPECT_EQ(List()->rowCount(), 4);
  EXPECT_FALSE(SentLineContaining("at+ds"));
  // Another file chosen now is the one the next device gets.
  Choose(second.Path());
  op.Clear();

  // The last device completed, the first did not: the closing says so and names it
  // by its row (address and node name), never "All ... completed successfully".
  ASSERT_TRUE(WaitUntil(
      [&] {
        return Status() == "Remote firmware update failed for 1 of 2 devices." && SequenceEnded();
      },
      kDeadlineMs))
      << Status().toStdString() << " " << ::testing::PrintToString(op.Messages());
  EXPECT_THAT(op.Messages(),
              ElementsAre("ERROR: Remote firmware update failed for 1 of 2 devices:\r\n" +
                          kNodes[0].euiAddress + " (" + kNodes[0].nodeName +
                          "): the image transfer failed."));
  op.Clear();
  EXPECT_FALSE(SentLineContaining("nodename")) << "the rows carry the names";
  ASSERT_EQ(harness.Sim().ReceivedRemoteImages().size(), 1u);
  EXPECT_EQ(harness.Sim().ReceivedRemoteImages()[0].euiAddress, kNodes[2].euiAddress);
  EXPECT_EQ(harness.Sim().ReceivedRemoteImages()[0].image, second.Padded());
  EXPECT_EQ(Bar(0), 0);
  EXPECT_EQ(Bar(2), 100);
  EXPECT_EQ(harness.Sim().RemoteVersion(kNodes[0].euiAddress), kNodes[0].version);
  EXPECT_THAT(op.Messages(), IsEmpty());
  EXPECT_EQ(MainLineUsersEnabled(), std::vector<bool>(4, true));
}

TEST_F(FirmwarePageRemote, ACloneOfOneRowEndsWithItsOwnTextAndAFullBar) {
  ASSERT_NO_FATAL_FAILURE(ConnectAndSearch());
  Page<QCheckBox>(1038)->click();
  ASSERT_FALSE(Page(1031)->isEnabled()) << "a clone needs no file";
  Tick(2);
  Page<QPushButton>(kRemoteUpdate)->click();

  ASSERT_TRUE(WaitUntil([&] { return Status().startsWith("Cloning."); }, kDeadlineMs))
      << Status().toStdString() << " " << ::testing::PrintToString(op.Messages());
  EXPECT_TRUE(Firmware()->UpdateRunning()) << "closing now would ask first";
  ASSERT_TRUE(WaitUntil([&] { return Status() == kOneCloned && SequenceEnded(); }, kDeadlineMs))
      << Status().toStdString() << " " << ::testing::PrintToString(op.Messages());
  EXPECT_EQ(Bar(2), 100);
  EXPECT_EQ(Bar(0), 0);
  EXPECT_THAT(harness.Sim().ReceivedLines(),
              Contains("AT+BOOTLOAD=2," + kNodes[2].euiAddress + "\r\n"));
  EXPECT_FALSE(SentLineContaining("AT+BOOTLOAD=1,"));
  // The remote runs the local module's firmware now.
  EXPECT_EQ(harness.Sim().RemoteVersion(kNodes[2].euiAddress), "v1.10.0");
  EXPECT_THAT(op.Messages(), IsEmpty());
  // The five buttons come back with the line, but for the file choice: the box is
  // still checked.
  EXPECT_EQ(FiveEnabled(), kCloneChecked);
  EXPECT_EQ(MainLineUsersEnabled(), std::vector<bool>(4, true));
}

TEST_F(FirmwarePageRemote, WhileTheCloneBoxIsCheckedTheFileChoiceStaysOffWhateverRuns) {
  ASSERT_NO_FATAL_FAILURE(ConnectAndSearch());
  Page<QCheckBox>(1038)->click();
  ASSERT_EQ(FiveEnabled(), kCloneChecked);

  // A task of the page: Search.
  Page<QPushButton>(kSearch)->click();
  ASSERT_TRUE(WaitUntil([&] { return !Firmware()->Tasks().Busy(); }, kDeadlineMs));
  ASSERT_TRUE(Settle(dialog.get()));
  EXPECT_EQ(FiveEnabled(), kCloneChecked) << "after Search";

  // Line activity long enough for the window to show it (the Configuration page
  // reading a parameter, say): the main window's users of the line go off, then on.
  {
    auto line = dialog->Conn().TryLease("parameter read");
    ASSERT_TRUE(line.has_value());
    ASSERT_TRUE(WaitUntil([&] { return !Main(1009)->isEnabled(); }, kDeadlineMs));
    EXPECT_EQ(FiveEnabled(), std::vector<bool>(5, false));
  }
  ASSERT_TRUE(WaitUntil([&] { return Main(1009)->isEnabled(); }, kDeadlineMs));
  ASSERT_TRUE(Settle(dialog.get()));
  EXPECT_EQ(FiveEnabled(), kCloneChecked) << "after line activity";
  EXPECT_FALSE(Page(1032)->isEnabled());

  Page<QCheckBox>(1038)->click();
  EXPECT_EQ(FiveEnabled(), kFiveOn);
  EXPECT_TRUE(Page(1032)->isEnabled());
}

TEST_F(FirmwarePageRemote, FlippingTheCloneBoxMidSequenceClonesTheRowsNotStartedYet) {
  ASSERT_NO_FATAL_FAILURE(ConnectAndSearch());
  const FirmwareImageFile image("MA11", "v1.11.7", 3000);
  Choose(image.Path());
  Tick(0);
  Tick(2);
  Page<QPushButton>(kRemoteUpdate)->click();
  // Row 0 has been started as an image update; row 2 is still to come.
  ASSERT_TRUE(WaitUntil([&] { return SentLineContaining("AT+BOOTLOAD=1," + kNodes[0].euiAddress); },
                        kDeadlineMs))
      << Status().toStdString() << " " << ::testing::PrintToString(op.Messages());
  Page<QCheckBox>(1038)->click();

  ASSERT_TRUE(WaitUntil(
      [&] {
        return Status() == "All firmware updates are completed successfully." && SequenceEnded();
      },
      kDeadlineMs))
      << Status().toStdString() << " " << ::testing::PrintToString(op.Messages());
  EXPECT_THAT(RemoteImageOwners(), ElementsAre(kNodes[0].euiAddress));
  EXPECT_THAT(harness.Sim().ReceivedLines(),
              Contains("AT+BOOTLOAD=2," + kNodes[2].euiAddress + "\r\n"));
  EXPECT_FALSE(SentLineContaining("AT+BOOTLOAD=1," + kNodes[2].euiAddress));
  EXPECT_EQ(harness.Sim().RemoteVersion(kNodes[0].euiAddress), "v1.11.7");
  EXPECT_EQ(harness.Sim().RemoteVersion(kNodes[2].euiAddress), "v1.10.0");
  EXPECT_EQ(Bar(0), 100);
  EXPECT_EQ(Bar(2), 100);
  EXPECT_THAT(op.Messages(), IsEmpty());
}

TEST_F(FirmwarePageRemote, CancelDuringARemoteTransferStopsItAndStartsNoFurtherDevice) {
  ASSERT_NO_FATAL_FAILURE(ConnectAndSearch());
  const FirmwareImageFile image("MA11", "v1.11.7", 64 * 1024);
  Choose(image.Path());
  Tick(0);
  Tick(2);
  EXPECT_FALSE(Page(kRemoteCancel)->isEnabled());
  Page<QPushButton>(kRemoteUpdate)->click();
  ASSERT_TRUE(WaitUntil([&] { return Bar(0).value_or(0) >= 3 && Page(kRemoteCancel)->isEnabled(); },
                        kDeadlineMs))
      << Status().toStdString() << " " << ::testing::PrintToString(op.Messages());
  op.Clear();

  // No goes on with the transfer.
  op.QueueAnswer(false);
  Page<QPushButton>(kRemoteCancel)->click();
  ASSERT_EQ(op.Events().size(), 1u);
  EXPECT_EQ(op.Events()[0].kind, FakeOperator::Event::kQuestion);
  EXPECT_TRUE(op.Events()[0].defaultNo);
  EXPECT_EQ(op.Events()[0].text,
            "A remote firmware update is running. If it is stopped now, the remote devices not "
            "updated yet keep their old firmware, and a device whose image is being sent will "
            "need its update again.\r\n\r\nStop the update?");
  EXPECT_TRUE(harness.Sim().Relaying());
  EXPECT_TRUE(Firmware()->Update().Busy());

  op.QueueAnswer(true);
  Page<QPushButton>(kRemoteCancel)->click();
  ASSERT_TRUE(
      WaitUntil([&] { return Status() == "Update cancelled." && SequenceEnded(); }, kDeadlineMs))
      << Status().toStdString() << " " << ::testing::PrintToString(op.Messages());
  // CAN CAN CAN ended the relay; the second device was never asked for.
  EXPECT_TRUE(WaitUntil([&] { return !harness.Sim().Relaying(); }, 3000));
  EXPECT_TRUE(harness.Sim().ReceivedRemoteImages().empty());
  EXPECT_FALSE(SentLineContaining("AT+BOOTLOAD=1," + kNodes[2].euiAddress));
  EXPECT_EQ(harness.Sim().RemoteVersion(kNodes[0].euiAddress), kNodes[0].version);
  EXPECT_EQ(Bar(0), 0);
  EXPECT_EQ(Bar(2), 0);
  EXPECT_FALSE(Page(kRemoteCancel)->isEnabled());
  EXPECT_FALSE(Page(kCancel)->isEnabled()) << "the local update's";
  EXPECT_EQ(List()->RowStatus(0), "cancelled \u2014 needs firmware");
  EXPECT_EQ(List()->RowStatus(2), "cancelled \u2014 not started");
  EXPECT_FALSE(Page(kRetryFailed)->isEnabled()) << "nothing failed";
  EXPECT_EQ(FiveEnabled(), kFiveOn);
  EXPECT_EQ(MainLineUsersEnabled(), std::vector<bool>(4, true));
  EXPECT_FALSE(dialog->Conn().Gate().Leased());
  EXPECT_THAT(op.Messages(), IsEmpty());
}

// A clone runs on the remote side and cannot be stopped from here: Cancel during
// it cancels the rows still to come, the run goes on until the clone has ended,
// and its end says that the run was cancelled, not that all devices are updated.
TEST_F(FirmwarePageRemote, CancelDuringACloneLetsItEndAndStartsNoFurtherDevice) {
  ASSERT_NO_FATAL_FAILURE(ConnectAndSearch());
  Page<QCheckBox>(1038)->click();
  Tick(0);
  Tick(2);
  Page<QPushButton>(kRemoteUpdate)->click();
  ASSERT_TRUE(WaitUntil([&] { return Status().startsWith("Cloning."); }, kDeadlineMs))
      << Status().toStdString() << " " << ::testing::PrintToString(op.Messages());

  op.QueueAnswer(true);
  Page<QPushButton>(kRemoteCancel)->click();
  EXPECT_EQ(List()->RowStatus(2), "cancelled \u2014 not started");
  // The clone holds the line until it ends: nothing that would use it comes back.
  ASSERT_TRUE(Settle(dialog.get()));
  EXPECT_TRUE(Firmware()->UpdateRunning());
  EXPECT_EQ(FiveEnabled(), std::vector<bool>(5, false));
  EXPECT_FALSE(Page(kRemoteCancel)->isEnabled());

  ASSERT_TRUE(
      WaitUntil([&] { return SequenceEnded() && FiveEnabled() == kCloneChecked; }, kDeadlineMs))
      << Status().toStdString() << " " << ::testing::PrintToString(op.Messages());
  EXPECT_EQ(Status(), "Update cancelled.");
  EXPECT_THAT(List()->RowStatus(0).toStdString(), ::testing::StartsWith("done"));
  EXPECT_EQ(List()->RowStatus(2), "cancelled \u2014 not started");
  EXPECT_EQ(Bar(0), 100);
  EXPECT_FALSE(SentLineContaining("AT+BOOTLOAD=2," + kNodes[2].euiAddress));
  EXPECT_EQ(MainLineUsersEnabled(), std::vector<bool>(4, true));
  EXPECT_FALSE(dialog->Conn().Gate().Leased());
  EXPECT_THAT(op.Messages(), IsEmpty());
}

// A run of three devices read back from the list's Status column: the first
// completes (its Version cell read again from the device), the second fails (its
// relay refuses every block), the third is cancelled while the local module
// prepares it (its remote never answers the bootload). "Retry failed" then starts
// the second alone, with every bar and status of the run before cleared.
TEST_F(FirmwarePageRemote, AMixedRunShowsEachDevicesEndAndRetryFailedStartsOnlyTheFailedOne) {
  ASSERT_NO_FATAL_FAILURE(ConnectAndSearch());
  harness.Sim().SetRemoteFaults(kNodes[1].euiAddress, sim::RemoteFaults{.refuseEveryBlock = true});
  harness.Sim().SetRemoteFaults(kNodes[2].euiAddress,
                                sim::RemoteFaults{.bootload = sim::RemoteFaults::Bootload::Silent});
  const FirmwareImageFile image("MA11", "v1.11.7", 3000);
  Choose(image.Path());
  Tick(0);
  Tick(1);
  Tick(2);
  EXPECT_FALSE(Page(kRetryFailed)->isEnabled());
  Page<QPushButton>(kRemoteUpdate)->click();

  // While the first device's image goes out the others wait; the third is being
  // prepared once the second has failed.
  bool othersWaited = false;
  bool percentShown = false;
  ASSERT_TRUE(WaitUntil(
      [&] {
        const QString first = List()->RowStatus(0);
        if (first.startsWith("sending ")) {
          percentShown = percentShown || first.endsWith(" %");
          othersWaited = othersWaited ||
                         (List()->RowStatus(1) == "waiting" && List()->RowStatus(2) == "waiting");
        }
        return SentLineContaining("AT+BOOTLOAD=1," + kNodes[2].euiAddress);
      },
      kDeadlineMs))
      << Status().toStdString() << " " << ::testing::PrintToString(op.Messages());
  EXPECT_TRUE(othersWaited);
  EXPECT_TRUE(percentShown);
  EXPECT_EQ(List()->RowStatus(2), "preparing");
  EXPECT_TRUE(Page(kRemoteCancel)->isEnabled()) << "Cancel stands while a device is prepared";
  EXPECT_FALSE(Page(kCancel)->isEnabled()) << "the local update's Cancel";

  op.QueueAnswer(true);
  Page<QPushButton>(kRemoteCancel)->click();
  ASSERT_TRUE(
      WaitUntil([&] { return Status() == "Update cancelled." && SequenceEnded(); }, kDeadlineMs))
      << Status().toStdString() << " " << ::testing::PrintToString(op.Messages());
  EXPECT_EQ(List()->RowStatus(0), "done \u2014 v1.11.7");
  EXPECT_EQ(List()->Version(0), "v1.11.7") << "read again from the device";
  EXPECT_TRUE(SentLineContaining("AT+RC=" + kNodes[0].euiAddress + ",at+version"));
  EXPECT_EQ(List()->RowStatus(1), "failed \u2014 transfer failed");
  EXPECT_EQ(List()->item(1, DeviceListCtrl::kStatusColumn)->toolTip(),
            "failed \u2014 the image transfer failed");
  EXPECT_EQ(List()->Version(1).toStdString(), kNodes[1].version);
  EXPECT_EQ(List()->RowStatus(2), "cancelled \u2014 needs firmware");
  EXPECT_EQ(List()->RowStatus(3), "");
  EXPECT_EQ(Bar(0), 100);
  EXPECT_EQ(Bar(1), 0);
  EXPECT_EQ(Bar(2), 0);
  EXPECT_THAT(RemoteImageOwners(), ElementsAre(kNodes[0].euiAddress));
  EXPECT_FALSE(Page(kRemoteCancel)->isEnabled());
  EXPECT_FALSE(dialog->Conn().Gate().Leased());
  op.Clear();

  // Retry: the second device alone, its relay mended meanwhile.
  harness.Sim().SetRemoteFaults(kNodes[1].euiAddress, sim::RemoteFaults{});
  ASSERT_TRUE(Page(kRetryFailed)->isEnabled());
  EXPECT_THAT(Firmware()->FailedRows(), ElementsAre(1));
  harness.Sim().ClearLog();
  Page<QPushButton>(kRetryFailed)->click();
  EXPECT_EQ(List()->RowStatus(0), "") << "a run starts with no status of the last";
  EXPECT_EQ(Bar(0), 0);
  EXPECT_EQ(List()->RowStatus(2), "");
  EXPECT_FALSE(Page(kRetryFailed)->isEnabled());
  ASSERT_TRUE(WaitUntil([&] { return Status() == kAllUpdated && SequenceEnded(); }, kDeadlineMs))
      << Status().toStdString() << " " << ::testing::PrintToString(op.Messages());
  EXPECT_EQ(List()->item(0, 0)->checkState(), Qt::Unchecked);
  EXPECT_EQ(List()->item(1, 0)->checkState(), Qt::Checked);
  EXPECT_EQ(List()->item(2, 0)->checkState(), Qt::Unchecked);
  EXPECT_THAT(RemoteImageOwners(), ElementsAre(kNodes[1].euiAddress));
  EXPECT_FALSE(SentLineContaining("AT+BOOTLOAD=1," + kNodes[0].euiAddress));
  EXPECT_FALSE(SentLineContaining("AT+BOOTLOAD=1," + kNodes[2].euiAddress));
  EXPECT_EQ(List()->RowStatus(1), "done \u2014 v1.11.7");
  EXPECT_EQ(List()->Version(1), "v1.11.7");
  EXPECT_EQ(List()->RowStatus(0), "");
  EXPECT_EQ(Bar(1), 100);
  EXPECT_FALSE(Page(kRetryFailed)->isEnabled()) << "nothing failed this time";
  EXPECT_THAT(op.Messages(), IsEmpty());
}

// A thread's name as the kernel keeps it.
std::string ThreadName(const std::filesystem::path& folder) {
  std::ifstream comm(folder / "comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

// The threads of this process that are no thread of Qt's own: Qt names those
// ("Thread (pooled)", ...), while every std::thread (the port's reader, the page's
// task and workers, the simulated module's) keeps the program's name.
std::size_t OwnThreadCount() {
  const std::string program = ThreadName("/proc/self");
  std::size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
    if (ThreadName(entry.path()) == program) ++count;
  return count;
}

TEST_F(FirmwarePageRemote, ClosingTheWindowMidSequenceAsksAndYesCancelsTheRelayedImage) {
  // No port open yet: no reader, no task, no worker.
  const std::size_t threadsBefore = OwnThreadCount();
  ASSERT_NO_FATAL_FAILURE(ConnectAndSearch());
  const FirmwareImageFile image("MA11", "v1.11.7", 64 * 1024);
  Choose(image.Path());
  Tick(0);
  Tick(2);
  Page<QPushButton>(kRemoteUpdate)->click();
  ASSERT_TRUE(WaitUntil([&] { return Bar(0).value_or(0) >= 3; }, kDeadlineMs))
      << Status().toStdString() << " " << ::testing::PrintToString(op.Messages());
  ASSERT_TRUE(harness.Sim().Relaying());
  EXPECT_GT(OwnThreadCount(), threadsBefore) << "the port's reader and the transfer run";
  op.Clear();

  // No keeps the window and the sequence.
  op.QueueAnswer(false);
  dialog->close();
  EXPECT_TRUE(dialog->isVisible());
  ASSERT_EQ(op.Events().size(), 1u);
  EXPECT_EQ(op.Events()[0].kind, FakeOperator::Event::kQuestion);
  EXPECT_TRUE(op.Events()[0].defaultNo);
  EXPECT_THAT(op.Events()[0].text, HasSubstr("A remote firmware update is running."));
  EXPECT_TRUE(Firmware()->Update().Busy());

  op.QueueAnswer(true);
  dialog->close();
  EXPECT_FALSE(dialog->isVisible());
  const auto asked = std::chrono::steady_clock::now();
  dialog.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - asked, 2s);
  // The page's task and workers and the port's reader have ended with the window.
  EXPECT_TRUE(WaitUntil([&] { return OwnThreadCount() <= threadsBefore; }, 2000))
      << OwnThreadCount() << " threads, " << threadsBefore << " before the window opened the port";

  // CAN CAN CAN ended the relay at once; left alone it would wait a minute of
  // protocol time (six seconds here) for the next block.
  EXPECT_TRUE(WaitUntil([&] { return !harness.Sim().Relaying(); }, 3000));
  EXPECT_TRUE(harness.Sim().ReceivedRemoteImages().empty());
  EXPECT_FALSE(SentLineContaining("AT+BOOTLOAD=1," + kNodes[2].euiAddress));
  EXPECT_EQ(harness.Sim().RemoteVersion(kNodes[0].euiAddress), kNodes[0].version);
  // The local module is itself again: the next Open finds it as it was.
  ASSERT_TRUE(harness.Connect(115200));
  EXPECT_EQ(harness.Conn().Device().firmwareVersion, "v1.10.0");
  EXPECT_EQ(harness.Conn().Device().productName, "MA11");
  EXPECT_THAT(op.Messages(), IsEmpty());
}

// The update server's base URL for one test.
class ScopedUpdateServer {
 public:
  explicit ScopedUpdateServer(const std::string& url) { UpdateServerSetting::SetForThisRun(url); }
  ~ScopedUpdateServer() { UpdateServerSetting::SetForThisRun(std::nullopt); }
};

// The local MA11 and a network of two: another MA11 (its version differs from the
// listed one, yet a device of the local product is not offered anything) and an MB11.
sim::Options LocalAndTwoRemotes() {
  sim::Options options = Network();
  options.remotes = {kNodes[2], kNodes[0]};
  options.remotes[0].productName = "MA11";
  options.remotes[0].version = "v1.9.5";
  options.remotes[1].productName = "MB11";
  options.remotes[1].version = "v3.0";
  // Each answer of a remote takes 150 ms here: a window asking them itself would
  // stand still for the four of them.
  options.radioDelayMs = 1500;
  return options;
}

class FirmwarePageDownload : public FirmwarePageRemote {
 protected:
  FirmwarePageDownload() : FirmwarePageRemote(kTimeScale, LocalAndTwoRemotes()) {}
};

std::string Offer(const std::string& product, const std::string& current, const std::string& next,
                  const std::string& file) {
  return "New firmware is available.\r\nWould you like to download?\r\n\r\nPRODUCT: " + product +
         "\r\nCURRENT VERSION: " + current + "\r\nNEW VERSION: " + next + "\r\nFILENAME: " + file;
}

TEST_F(FirmwarePageDownload,
       ADeviceOfTheLocalProductIsSkippedAndTheLastAcceptedImageIsChosenWhileTheWindowPaints) {
  LoopbackUpdateServer server;
  server.Serve("Firmware",
               "VEXA\r\nMA11:v1.11.0:MA11_v1.11.0.ebl\r\nMB11:v3.1:images/MB11_v3.1.ebl\r\n");
  server.Serve("MA11_v1.11.0.ebl", "MA11 image");
  server.Serve("images/MB11_v3.1.ebl", "MB11 image");
  const ScopedUpdateServer setting(server.BaseUrl());
  TempFolder folder;
  const std::string local = folder.Path() + "local.ebl";
  const std::string remote = folder.Path() + "remote.ebl";
  const std::string remoteMa11 = LocalAndTwoRemotes().remotes[0].euiAddress;
  const std::string remoteMb11 = LocalAndTwoRemotes().remotes[1].euiAddress;
  ASSERT_NO_FATAL_FAILURE(ConnectAndSearch());
  const FirmwareImageFile chosen("MA11", "v1.11.7", 1000);
  Choose(chosen.Path());
  ASSERT_EQ(Firmware()->ImagePath(), chosen.Path());
  op.Clear();

  // The local module's offer declined, the MB11's taken.
  op.QueueAnswer(false);
  op.QueueAnswer(true);
  op.QueueFile(remote);
  TickProbe probe;
  Page<QPushButton>(kDownload)->click();
  ASSERT_TRUE(Settle(dialog.get()));
  std::cout << "largest gap between two 20 ms ticks: " << probe.LargestGap() << " ms" << std::endl;

  EXPECT_THAT(op.Messages(), IsEmpty());
  const auto events = op.Events();
  ASSERT_EQ(events.size(), 3u) << ::testing::PrintToString(op.Questions());
  EXPECT_EQ(events[0].kind, FakeOperator::Event::kQuestion);
  EXPECT_EQ(events[0].caption, "NOTICE");
  EXPECT_EQ(events[0].text, Offer("MA11", "v1.10.0", "v1.11.0", "MA11_v1.11.0.ebl"));
  EXPECT_EQ(events[1].kind, FakeOperator::Event::kQuestion);
  EXPECT_EQ(events[1].caption, "NOTICE");
  EXPECT_EQ(events[1].text, Offer("MB11", "v3.0", "v3.1", "images/MB11_v3.1.ebl"));
  EXPECT_EQ(events[2].kind, FakeOperator::Event::kSaveFile);
  EXPECT_EQ(events[2].text, "ebl Files(*.ebl)|*.ebl|All Files(*.*)|*.*|");
  // The save dialog proposes the listed name's last component.
  EXPECT_EQ(events[2].caption, "MB11_v3.1.ebl");
  EXPECT_EQ(ReadFile(remote), "MB11 image");
  EXPECT_FALSE(std::filesystem::exists(local));
  // Both devices of the list were asked through the local module, in lower case
  // with a line feed only; the MA11 among them was then left alone.
  for (const std::string& address : {remoteMa11, remoteMb11}) {
    EXPECT_TRUE(SentLineContaining("AT+RC=" + address + ",at+productname\n")) << address;
    EXPECT_TRUE(SentLineContaining("AT+RC=" + address + ",at+version\n")) << address;
  }
  EXPECT_THAT(harness.Sim().ReceivedLines(), Contains("AT+PRODUCTNAME\n"));
  EXPECT_THAT(harness.Sim().ReceivedLines(), Contains("AT+VERSION\n"));
  // The saved image is the chosen one, and the field shows it.
  EXPECT_EQ(Firmware()->ImagePath(), remote);
  EXPECT_EQ(Page<QLineEdit>(1032)->text().toStdString(), remote);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "the download dialog has closed";
  EXPECT_EQ(FiveEnabled(), kFiveOn);
  EXPECT_FALSE(dialog->Conn().Gate().Leased());
  // The module's queries and the server's answers took none of the window's time.
  EXPECT_LE(probe.LargestGap(), 300);

  // The local offer taken, the remote one declined: the later "No" leaves the
  // image accepted before it.
  op.Clear();
  op.QueueAnswer(true);
  op.QueueFile(local);
  op.QueueAnswer(false);
  Page<QPushButton>(kDownload)->click();
  ASSERT_TRUE(Settle(dialog.get()));
  EXPECT_THAT(op.Messages(), IsEmpty());
  EXPECT_EQ(op.Questions().size(), 2u);
  EXPECT_EQ(ReadFile(local), "MA11 image");
  EXPECT_EQ(Firmware()->ImagePath(), local);
  EXPECT_EQ(Page<QLineEdit>(1032)->text().toStdString(), local);

  // A run that saves nothing keeps the file chosen before.
  op.Clear();
  op.QueueAnswer(false);
  op.QueueAnswer(false);
  Page<QPushButton>(kDownload)->click();
  ASSERT_TRUE(Settle(dialog.get()));
  EXPECT_THAT(op.Messages(), ElementsAre("ERROR: No new firmware is available."));
  EXPECT_EQ(Firmware()->ImagePath(), local);
  EXPECT_EQ(Page<QLineEdit>(1032)->text().toStdString(), local);
}

// A network whose scan lists a node by an address that holds a second command: a
// row made from such a reply must never become a command line.
sim::Options NetworkWithAnOddAddress() {
  sim::Options options = Network();
  options.remotes = {kNodes[0], kNodes[1]};
  options.remotes[1].euiAddress = kNodes[1].euiAddress + ",AT+NODENAME=x";
  return options;
}

class FirmwarePageOddAddress : public FirmwarePageRemote {
 protected:
  FirmwarePageOddAddress() : FirmwarePageRemote(kTimeScale, NetworkWithAnOddAddress()) {}
};

TEST_F(FirmwarePageOddAddress, ARowWhoseAddressWouldBreakTheCommandLineIsRefusedAndNothingIsSent) {
  ASSERT_NO_FATAL_FAILURE(ConnectAndSearch());
  ASSERT_EQ(List()->item(1, 2)->text().toStdString(), kNodes[1].euiAddress + ",AT+NODENAME=x");
  const FirmwareImageFile image("MA11", "v1.11.7", 3000);
  Choose(image.Path());
  Tick(0);
  Tick(1);
  Page<QPushButton>(kRemoteUpdate)->click();
  ASSERT_TRUE(WaitUntil([&] { return SequenceEnded() && !op.Messages().empty(); }, kDeadlineMs));
  Settle(dialog.get());

  EXPECT_THAT(op.Messages(),
              ElementsAre("ERROR: Invalid remote address: it holds a comma or a control character "
                          "(such as a line end), which would break the command line."));
  // The press refused: no device was started, and the odd row's address went
  // nowhere - the good row before it was asked for its product only.
  EXPECT_FALSE(SentLineContaining("NODENAME="));
  EXPECT_FALSE(SentLineContaining("BOOTLOAD"));
  EXPECT_TRUE(SentLineContaining("AT+RC=" + kNodes[0].euiAddress + ",at+productname"));
  EXPECT_TRUE(harness.Sim().ReceivedRemoteImages().empty());
  EXPECT_EQ(FiveEnabled(), kFiveOn);
}

}  // namespace
}  // namespace zendra::test
