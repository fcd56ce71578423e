// What goes beyond the templates to help a person plan and steer an update: the
// line under the progress bar (bytes sent of the total, the rate, the time left),
// Cancel on the Firmware Update page and in the reload dialog with the question the
// closing box asks, Detect beside Open, and the remembered Fast Flashing item.

#include <gmock/gmock.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <chrono>
#include <memory>

#include "support/FirmwareImageFile.h"
#include "GuiTestSupport.h"
#include "app/MainDialog.h"
#include "firmware/ui/FirmwarePage.h"
#include "firmware/ui/FirmwareUploadDialog.h"
#include "serial/PortList.h"
#include "serial/SerialPort.h"
#include "support/FakeOperator.h"
#include "support/SimHarness.h"
#include "widgets/FindControl.h"
#include "widgets/Settings.h"

namespace zendra::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::MatchesRegex;
using Bytes = std::vector<std::uint8_t>;

// Controls, restated: main window Open 1009, port box 1010, baud box 1011, Detect
// 1060; page status 1037, file 1031 (Choose), local Update 1033, the line under the
// bar 1060, Cancel 1061; reload dialog status 1049, Choose File 1047, Upload 1046,
// Close 1050, its line under the bar 1060, Cancel 1061.
constexpr int kDetect = 1060;
constexpr int kPageStatus = 1037;
constexpr int kTransferText = 1060;
constexpr int kCancel = 1061;
constexpr std::uint8_t kCan = 0x18;
constexpr double kTimeScale = 0.3;
constexpr int kTransferDeadlineMs = 60000;

const char* const kCancelQuestion =
    "A firmware update is running. If it is stopped now, the module will need a firmware "
    "reload before it works again.\r\n\r\nStop the update?";

// The host's bytes after its last 133-byte block, as the module recorded them.
Bytes HostBytesAfterLastBlock(const std::vector<sim::WireByte>& record) {
  Bytes after;
  std::size_t inBlock = 0;
  bool anyBlock = false;
  for (const auto& b : record) {
    if (!b.fromHost) continue;
    if (inBlock > 0) {
      if (++inBlock == 133) inBlock = 0;
      continue;
    }
    if (b.byte == 0x01) {
      inBlock = 1;
      anyBlock = true;
      after.clear();
    } else if (anyBlock) {
      after.push_back(b.byte);
    }
  }
  return after;
}

sim::Options Module() {
  sim::Options options;
  options.baudRate = 0;  // follows the rate the operator chooses
  options.recordWire = true;
  return options;
}

class UpdatePage : public ::testing::Test {
 protected:
  UpdatePage() : harness(Module(), kTimeScale) {
    dialog->AddAndSelectPort(harness.Sim().PortPath());
    dialog->show();
    auto* baud = FindControl<QComboBox>(dialog.get(), 1011);
    baud->setCurrentIndex(baud->findText("115200"));
    FindControl<QPushButton>(dialog.get(), 1009)->click();
    Settle(dialog.get());
    if (!dialog->Conn().IsOpen()) ADD_FAILURE() << "not connected";
  }
  template <typename T = QWidget>
  T* Page(int id) {
    return FindControl<T>(dialog->Firmware(), id);
  }
  QString Status() { return Page<QLabel>(kPageStatus)->text(); }
  void StartUpdate(const FirmwareImageFile& image) {
    op.QueueFile(image.Path());
    Page<QPushButton>(1031)->click();
    Page<QPushButton>(1033)->click();
    Settle(dialog.get());
  }

  SimHarness harness;
  FakeOperator op;
  PortList noPorts;
  std::unique_ptr<MainDialog> dialog = std::make_unique<MainDialog>(op, &noPorts);
};

TEST_F(UpdatePage, TheLineUnderTheBarTellsTheBytesTheRateAndTheTimeLeftAndNoKeepsTheUpdate) {
  const FirmwareImageFile image("MA11", "v1.11.0", 48 * 1024);
  EXPECT_FALSE(Page(kCancel)->isEnabled()) << "nothing to cancel yet";
  StartUpdate(image);
  ASSERT_TRUE(WaitUntil([&] { return Page<QLabel>(kTransferText)->text().contains("left"); },
                        kTransferDeadlineMs));
  EXPECT_THAT(Page<QLabel>(kTransferText)->text().toStdString(),
              MatchesRegex("[0-9,]+ of 49,152 bytes · [0-9.]+ kB/s · [0-9]+:[0-9][0-9] left"));
  ASSERT_TRUE(Page(kCancel)->isEnabled());

  // Cancel asks first, with No as the default; No lets the update go on to its end.
  op.Clear();
  op.QueueAnswer(false);
  Page<QPushButton>(kCancel)->click();
  ASSERT_EQ(op.Events().size(), 1u);
  EXPECT_EQ(op.Events()[0].kind, FakeOperator::Event::kQuestion);
  EXPECT_EQ(op.Events()[0].text, kCancelQuestion);
  EXPECT_TRUE(op.Events()[0].defaultNo);
  ASSERT_TRUE(WaitUntil([&] { return Status() == "Completed successfully."; }, kTransferDeadlineMs))
      << Status().toStdString();
  EXPECT_THAT(harness.Sim().ReceivedImages(), ElementsAre(image.Padded()));
  EXPECT_THAT(Page<QLabel>(kTransferText)->text().toStdString(),
              ::testing::StartsWith("49,152 of 49,152 bytes \u00b7 "));
  EXPECT_FALSE(Page(kCancel)->isEnabled());
}

TEST_F(UpdatePage, YesToCancelStopsTheTransferWithThreeCanAndGivesTheButtonsBack) {
  const FirmwareImageFile image("MA11", "v1.11.0", 48 * 1024);
  StartUpdate(image);
  ASSERT_TRUE(WaitUntil([&] { return Status().endsWith("% Completed!"); }, kTransferDeadlineMs));
  op.Clear();
  op.QueueAnswer(true);
  Page<QPushButton>(kCancel)->click();
  ASSERT_TRUE(WaitUntil([&] { return Status() == "Update cancelled."; }, kTransferDeadlineMs))
      << Status().toStdString();
  EXPECT_THAT(op.Questions(), ElementsAre(kCancelQuestion));
  EXPECT_FALSE(Page(kCancel)->isEnabled());
  ASSERT_TRUE(WaitUntil([&] { return Page(1033)->isEnabled(); }));
  EXPECT_TRUE(FindControl(dialog.get(), 1009)->isEnabled()) << "the line is free again";
  // The module has the host's last bytes a few character times after they went.
  const auto lastBytes = [&] { return HostBytesAfterLastBlock(harness.Sim().WireRecord()); };
  WaitUntil([&] { return lastBytes().size() >= 3; });
  EXPECT_EQ(lastBytes(), Bytes({kCan, kCan, kCan}));
  EXPECT_THAT(harness.Sim().ReceivedImages(), IsEmpty());
  EXPECT_TRUE(harness.Sim().InBootloader());
  EXPECT_FALSE(dialog->Firmware()->UpdateRunning());
  // No update runs: closing the window asks nothing.
  op.Clear();
  dialog->close();
  EXPECT_THAT(op.Questions(), IsEmpty());
}

TEST(ReloadDialogCancel, YesStopsTheUploadWithThreeCanAndTheDialogCanBeClosedAgain) {
  sim::Options options;
  options.damaged = true;
  options.recordWire = true;
  SimHarness harness(options, kTimeScale);
  ASSERT_TRUE(harness.OpenPort(115200));
  FirmwareUploadDialog dialog(harness.Conn(), harness.Line(), harness.Op());
  dialog.show();
  const FirmwareImageFile image("MA11", "v1.11.0", 48 * 1024);
  harness.Op().QueueFile(image.Path());
  FindControl<QPushButton>(&dialog, 1047)->click();
  EXPECT_FALSE(FindControl(&dialog, kCancel)->isEnabled());
  FindControl<QPushButton>(&dialog, 1046)->click();
  ASSERT_TRUE(WaitUntil(
      [&] { return FindControl<QLabel>(&dialog, kTransferText)->text().contains(" bytes"); },
      kTransferDeadlineMs));
  Settle(&dialog);
  ASSERT_TRUE(FindControl(&dialog, kCancel)->isEnabled());
  EXPECT_FALSE(FindControl(&dialog, 1050)->isEnabled()) << "Close waits for the upload";

  harness.Op().QueueAnswer(true);
  FindControl<QPushButton>(&dialog, kCancel)->click();
  ASSERT_TRUE(WaitUntil([&] { return !dialog.Transferring(); }, kTransferDeadlineMs));
  EXPECT_THAT(harness.Op().Questions(), ElementsAre(kCancelQuestion));
  EXPECT_EQ(FindControl<QLabel>(&dialog, 1049)->text(), "Update cancelled.");
  for (int id : {1046, 1047, 1050}) EXPECT_TRUE(FindControl(&dialog, id)->isEnabled()) << id;
  const auto lastBytes = [&] { return HostBytesAfterLastBlock(harness.Sim().WireRecord()); };
  WaitUntil([&] { return lastBytes().size() >= 3; });
  EXPECT_EQ(lastBytes(), Bytes({kCan, kCan, kCan}));
  EXPECT_THAT(harness.Op().Messages(), IsEmpty());
  dialog.close();
  EXPECT_FALSE(dialog.isVisible());
}

TEST(DetectButton, FillsThePortAndBaudBoxesFromTheModuleThatAnswered) {
  sim::Options options;
  options.baudRate = 57600;
  SimHarness harness(options, 0.3);
  FakeOperator op;
  PortList noPorts;
  MainDialog dialog(op, &noPorts);
  dialog.AddAndSelectPort(harness.Sim().PortPath());
  // The box shows something else when Detect is pressed.
  FindControl<QComboBox>(&dialog, 1010)->setEditText("/dev/zendra-no-such-port");
  EXPECT_EQ(FindControl<QComboBox>(&dialog, 1011)->currentText(), "9600");
  ASSERT_TRUE(FindControl(&dialog, kDetect)->isEnabled());

  FindControl<QPushButton>(&dialog, kDetect)->click();
  ASSERT_TRUE(Settle(&dialog));
  EXPECT_THAT(op.Messages(), IsEmpty());
  EXPECT_EQ(FindControl<QComboBox>(&dialog, 1010)->currentText().toStdString(),
            harness.Sim().PortPath());
  EXPECT_EQ(FindControl<QComboBox>(&dialog, 1011)->currentText(), "57600");

  // Open with what Detect found connects; Detect waits while the window holds a port.
  FindControl<QPushButton>(&dialog, 1009)->click();
  ASSERT_TRUE(Settle(&dialog));
  ASSERT_TRUE(dialog.Conn().IsOpen());
  EXPECT_EQ(dialog.Conn().Device().productName, "MA11");
  EXPECT_FALSE(FindControl(&dialog, kDetect)->isEnabled());
}

TEST(DetectButton, ShowsTheRateFoundAlsoOverARateTypedIntoTheBox) {
  sim::Options options;
  options.baudRate = 9600;
  SimHarness harness(options, 0.3);
  FakeOperator op;
  PortList noPorts;
  MainDialog dialog(op, &noPorts);
  dialog.AddAndSelectPort(harness.Sim().PortPath());
  auto* baud = FindControl<QComboBox>(&dialog, 1011);
  // The list's 9600 is the current entry; a rate typed over it shows instead.
  ASSERT_EQ(baud->currentText(), "9600");
  baud->setEditText("12345");
  ASSERT_EQ(baud->currentText(), "12345");

  FindControl<QPushButton>(&dialog, kDetect)->click();
  ASSERT_TRUE(Settle(&dialog));
  EXPECT_THAT(op.Messages(), IsEmpty());
  EXPECT_EQ(baud->currentText(), "9600");
  EXPECT_EQ(baud->lineEdit()->text(), "9600");
}

TEST(DetectButton, NamesThePortsItTriedAndThoseOtherProgramsHoldWhenNoModuleAnswered) {
  SimHarness harness(sim::Options{}, 0.3);
  SerialPort holder;  // another program on the module's port
  ASSERT_TRUE(holder.Open(harness.Sim().PortPath(), 9600, 0, 8, 0, SerialPort::kFlowNone));
  FakeOperator op;
  PortList noPorts;
  MainDialog dialog(op, &noPorts);
  dialog.AddAndSelectPort(harness.Sim().PortPath());
  FindControl<QPushButton>(&dialog, kDetect)->click();
  ASSERT_TRUE(Settle(&dialog));
  ASSERT_EQ(op.Events().size(), 1u);
  EXPECT_EQ(op.Events()[0].text,
            "ERROR: No module answered on 1 serial port: " + harness.Sim().PortPath() + ".");
  EXPECT_EQ(op.Events()[0].detail, harness.Sim().PortPath() + " is in use by another program.");
  EXPECT_THAT(harness.Sim().ReceivedLines(), IsEmpty());
}

TEST(FastFlashingSetting, IsOffByDefaultReachesTheUpdatesAndIsRemembered) {
  FakeOperator op;
  PortList noPorts;
  {
    MainDialog dialog(op, &noPorts);
    dialog.RestoreSettings(*OpenSettings());
    ASSERT_TRUE(dialog.FastFlashing()->isCheckable());
    EXPECT_FALSE(dialog.FastFlashing()->isChecked());
    EXPECT_FALSE(dialog.Firmware()->Update().FastTransfer());
    dialog.FastFlashing()->trigger();
    EXPECT_TRUE(dialog.Firmware()->Update().FastTransfer());
    dialog.SaveSettings(*OpenSettings(), false);
  }
  {
    MainDialog dialog(op, &noPorts);
    dialog.RestoreSettings(*OpenSettings());
    EXPECT_TRUE(dialog.FastFlashing()->isChecked());
    EXPECT_TRUE(dialog.Firmware()->Update().FastTransfer());
    dialog.FastFlashing()->trigger();
    dialog.SaveSettings(*OpenSettings(), false);
  }
  MainDialog dialog(op, &noPorts);
  dialog.RestoreSettings(*OpenSettings());
  EXPECT_FALSE(dialog.FastFlashing()->isChecked());
}

}  // namespace
}  // namespace zendra::test
