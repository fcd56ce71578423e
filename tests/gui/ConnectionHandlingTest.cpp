// The main window's connection handling against the simulated module: Open, Close,
// Reload, the model rule of the clone box, and the refusal of typed line settings.

#include <gmock/gmock.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

#include "GuiTestSupport.h"
#include "device/LineSettingsChoice.h"
#include "widgets/FindControl.h"
#include "app/MainDialog.h"
#include "config/ui/ConfigPage.h"
#include "firmware/ui/FirmwarePage.h"
#include "serial/PortList.h"
#include "support/FakeOperator.h"
#include "support/SimHarness.h"

namespace zendra::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// The connection controls, restated: 1006 and 1007 of the main dialog; 1002, 1003,
// 1004, 1027, 1026 and 1042 of the Configuration page; 1031, 1039, 1033, 1035 and
// 1036 of the Firmware Update page.
constexpr int kMainControls[] = {1006, 1007};
constexpr int kConfigControls[] = {1002, 1003, 1004, 1027, 1026, 1042};
constexpr int kFirmwareControls[] = {1031, 1039, 1033, 1035, 1036};

// Compressed protocol time, with room to spare: the time-outs of the handshake's
// transactions (1 s, 2 s) must outlast a 9600 baud reply on a busy machine.
constexpr double kTimeScale = 0.3;

sim::Options Module(const std::string& product = "MA11") {
  sim::Options options;
  options.productName = product;
  options.euiAddress = "000D6F0000A1B2C3";
  options.nodeName = "Zendra1";
  options.version = "v1.10.0";
  return options;
}

class MainDialogConnection : public ::testing::Test {
 protected:
  explicit MainDialogConnection(sim::Options options = Module())
      : harness(std::move(options), kTimeScale) {
    dialog.AddAndSelectPort(harness.Sim().PortPath());
  }

  template <typename T = QWidget>
  T* Main(int id) {
    return FindControl<T>(&dialog, id);
  }
  template <typename T = QWidget>
  T* Config(int id) {
    return FindControl<T>(dialog.Config(), id);
  }
  template <typename T = QWidget>
  T* Firmware(int id) {
    return FindControl<T>(dialog.Firmware(), id);
  }

  QStringList DeviceTexts() {
    return {Main<QLabel>(1022)->text(), Main<QLabel>(1024)->text(), Main<QLabel>(1023)->text(),
            Main<QLabel>(1025)->text()};
  }

  // Every connection control is `enabled`.
  void ExpectConnectionControls(bool enabled) {
    for (int id : kMainControls) EXPECT_EQ(Main(id)->isEnabled(), enabled) << "main " << id;
    for (int id : kConfigControls) EXPECT_EQ(Config(id)->isEnabled(), enabled) << "config " << id;
    for (int id : kFirmwareControls) {
      EXPECT_EQ(Firmware(id)->isEnabled(), enabled) << "firmware " << id;
    }
  }

  // A click and what it starts, to its end.
  void Press(int id) {
    Main<QPushButton>(id)->click();
    Settle(&dialog);
  }

  SimHarness harness;  // before the dialog: the port closes before the module goes
  FakeOperator op;
  PortList noPorts;
  MainDialog dialog{op, &noPorts};
};

TEST_F(MainDialogConnection, OpenShowsTheDeviceAndEnablesTheConnectionControls) {
  Press(1009);
  ASSERT_THAT(op.Messages(), IsEmpty());
  EXPECT_TRUE(dialog.Conn().IsOpen());
  EXPECT_EQ(Main<QPushButton>(1009)->text(), "Close");
  EXPECT_EQ(DeviceTexts(), QStringList({"MA11", "000D6F0000A1B2C3", "Zendra1", "v1.10.0"}));
  ExpectConnectionControls(true);
  // The value controls follow the selection, not the connection.
  for (int id : {1011, 1006, 1021}) EXPECT_FALSE(Config(id)->isEnabled()) << id;
  EXPECT_TRUE(Firmware(1038)->isEnabled());
  EXPECT_GT(op.WaitCount(), 0) << "the wait cursor was shown";
  EXPECT_EQ(op.WaitDepth(), 0);
}

TEST_F(MainDialogConnection, CloseEmptiesTheTextsAndDisablesTheConnectionControls) {
  Press(1009);
  ASSERT_TRUE(dialog.Conn().IsOpen());
  // What a remote configuration and a selection would have left on the page.
  auto& state = dialog.Config()->State();
  state.remoteProductName = "MB11";
  state.remoteEuiAddress = "000D6F0000000002";
  state.remoteVersion = "v3.0";
  state.rangeLabel = "Range: ";
  state.rangeText = "11 ~ 26";
  dialog.Config()->RefreshControls();
  Config<QCheckBox>(1027)->setChecked(true);
  Config<QPushButton>(1004)->setText("Reboot");
  dialog.Config()->AddTreeItem(nullptr, "Network");
  dialog.Conn().SetRemoteMode(true);

  Press(1009);
  EXPECT_FALSE(dialog.Conn().IsOpen());
  EXPECT_FALSE(dialog.Conn().RemoteMode());
  EXPECT_EQ(Main<QPushButton>(1009)->text(), "Open");
  EXPECT_EQ(DeviceTexts(), QStringList({"", "", "", ""}));
  for (int id : {1028, 1029, 1030, 1015, 1013}) EXPECT_EQ(Config<QLabel>(id)->text(), "") << id;
  EXPECT_FALSE(Config<QCheckBox>(1027)->isChecked());
  EXPECT_EQ(Config<QPushButton>(1004)->text(), "Restore to Factory Default");
  EXPECT_EQ(dialog.Config()->Tree()->topLevelItemCount(), 0);
  ExpectConnectionControls(false);
  EXPECT_THAT(op.Messages(), IsEmpty());
}

TEST_F(MainDialogConnection, ReloadReadsTheDeviceAnew) {
  Press(1009);
  ASSERT_EQ(Main<QLabel>(1023)->text(), "Zendra1");
  harness.Sim().SetRegister("AT+NODENAME", "Kitchen");
  harness.Sim().ClearLog();
  Press(1007);
  EXPECT_EQ(Main<QLabel>(1023)->text(), "Kitchen");
  EXPECT_EQ(Main<QPushButton>(1009)->text(), "Close");
  ExpectConnectionControls(true);
  EXPECT_TRUE(harness.Sim().WaitForLine("AT+PRODUCTNAME", std::chrono::milliseconds(0)))
      << "the identification was read again";
}

TEST_F(MainDialogConnection, RebootRestartsTheModuleAndKeepsTheConnection) {
  Press(1009);
  harness.Sim().ClearLog();
  Press(1006);
  EXPECT_TRUE(harness.Sim().WaitForLine("ATZ", std::chrono::milliseconds(0)));
  EXPECT_TRUE(dialog.Conn().IsOpen());
  EXPECT_EQ(Main<QPushButton>(1009)->text(), "Close");
  EXPECT_EQ(op.WaitDepth(), 0);
}

TEST_F(MainDialogConnection, ATypedBaudRateThatIsNotInTheListIsRefusedBeforeOpening) {
  Main<QComboBox>(1011)->setEditText("9601");
  Press(1009);
  EXPECT_THAT(op.Messages(), ElementsAre("ERROR: The baud rate \"9601\" is not one of the list."));
  EXPECT_FALSE(dialog.Conn().IsOpen());
  EXPECT_THAT(harness.Sim().ReceivedLines(), IsEmpty());
  EXPECT_EQ(Main<QPushButton>(1009)->text(), "Open");
  ExpectConnectionControls(false);

  // Typing an entry of the list exactly is as good as choosing it.
  op.Clear();
  Main<QComboBox>(1011)->setEditText("9600");
  Press(1009);
  EXPECT_THAT(op.Messages(), IsEmpty());
  EXPECT_TRUE(dialog.Conn().IsOpen());
}

TEST_F(MainDialogConnection, APortThatCannotBeOpenedLeavesEverythingDisconnected) {
  dialog.AddAndSelectPort("/dev/zendra-no-such-port");
  Press(1009);
  EXPECT_THAT(op.Messages(), ElementsAre("ERROR: Could not open serial port."));
  EXPECT_EQ(Main<QPushButton>(1009)->text(), "Open");
  EXPECT_EQ(DeviceTexts(), QStringList({"", "", "", ""}));
  ExpectConnectionControls(false);
}

class Mc21xConnection : public MainDialogConnection {
 protected:
  Mc21xConnection() : MainDialogConnection(Module("MC21X")) {}
};

TEST_F(Mc21xConnection, AnMc21xUnchecksAndDisablesTheCloneBoxAndTheNextProductEnablesItAgain) {
  auto* clone = Firmware<QCheckBox>(1038);
  clone->click();
  ASSERT_FALSE(Firmware(1032)->isEnabled());

  Press(1009);
  ASSERT_EQ(Main<QLabel>(1022)->text(), "MC21X");
  EXPECT_FALSE(clone->isChecked());
  EXPECT_FALSE(clone->isEnabled());
  for (int id : {1031, 1039, 1032}) EXPECT_TRUE(Firmware(id)->isEnabled()) << id;
  Press(1009);
  EXPECT_FALSE(clone->isEnabled()) << "closing leaves the box as the rule set it";

  SimHarness other(Module("MB11"), kTimeScale);
  dialog.AddAndSelectPort(other.Sim().PortPath());
  Press(1009);
  ASSERT_EQ(Main<QLabel>(1022)->text(), "MB11");
  EXPECT_TRUE(clone->isEnabled());
  EXPECT_FALSE(clone->isChecked());
  Press(1009);
}

TEST(LineSettingsChoice, NamesTheFirstBoxWhoseTextIsNoneOfItsList) {
  const SerialPortBoxTexts good{" /dev/ttyUSB0 ", "115200", "7", "Even", "2", "Hardware"};
  const auto chosen = LineSettingsChoice::FromBoxTexts(good);
  EXPECT_FALSE(chosen.Refused());
  EXPECT_EQ(chosen.portName, "/dev/ttyUSB0");
  EXPECT_EQ(chosen.settings.baudRate, 115200);
  EXPECT_EQ(chosen.settings.dataBits, 7);
  EXPECT_EQ(chosen.settings.parity, 2);
  EXPECT_EQ(chosen.settings.stopBits, 2);
  EXPECT_EQ(chosen.settings.flowControl, 12);

  const struct {
    SerialPortBoxTexts texts;
    const char* refusal;
  } cases[] = {
      {{"COM12", "9600", "9", "None", "1", "None"},
       "ERROR: The data bits \"9\" is not one of the list."},
      {{"COM12", "9600", "8", "none", "1", "None"},
       "ERROR: The parity \"none\" is not one of the list."},
      {{"COM12", "9600", "8", "None", "1.5", "None"},
       "ERROR: The stop bits \"1.5\" is not one of the list."},
      {{"COM12", "9600", "8", "None", "1", "RTS"},
       "ERROR: The flow control \"RTS\" is not one of the list."},
      {{"COM12", "", "8", "Odd", "3", "None"}, "ERROR: Please choose the baud rate."},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LineSettingsChoice::FromBoxTexts(c.texts).refusal, c.refusal);
  }
  // The port is taken as it stands; an empty one fails at Open with its own message.
  EXPECT_EQ(LineSettingsChoice::FromBoxTexts({"COM12", "9600", "8", "None", "1", "None"}).portName,
            "COM12");
  EXPECT_FALSE(LineSettingsChoice::FromBoxTexts({"", "9600", "8", "None", "1", "None"}).Refused());
}

}  // namespace
}  // namespace zendra::test
