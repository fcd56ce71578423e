// The pure rules of the serial layer: port names, write time-outs, the line
// setting tables, the reply-line extraction and the port list.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "serial/AtLink.h"
#include "serial/LineSettingTables.h"
#include "serial/PortList.h"
#include "serial/SerialPort.h"

namespace zendra {
namespace {

TEST(PortNames, ComNumbersMapToTheLinuxSerialDevices) {
  EXPECT_EQ(SerialPort::ResolvePortName("COM1"), "/dev/ttyS0");
  EXPECT_EQ(SerialPort::ResolvePortName("COM12"), "/dev/ttyS11");
  EXPECT_EQ(SerialPort::ResolvePortName("com3"), "/dev/ttyS2");
  EXPECT_EQ(SerialPort::ResolvePortName("/dev/ttyUSB0"), "/dev/ttyUSB0");
  EXPECT_EQ(SerialPort::ResolvePortName("COM0"), "COM0");      // no such port: fails to open
  EXPECT_EQ(SerialPort::ResolvePortName("COMx"), "COMx");
}

TEST(WriteTimeout, MultiplierIs230400DividedByTheBaudRate) {
  EXPECT_EQ(SerialPort::WriteTimeoutMultiplier(1200), 192);
  EXPECT_EQ(SerialPort::WriteTimeoutMultiplier(9600), 24);
  EXPECT_EQ(SerialPort::WriteTimeoutMultiplier(115200), 2);
  EXPECT_EQ(SerialPort::WriteTimeoutMultiplier(460800), 0);
  EXPECT_EQ(SerialPort::WriteTimeoutMultiplier(921600), 0);
}

TEST(LineSettingTables, LabelsMapToTheCodesOpenTakes) {
  EXPECT_EQ(SelectedSetting("Even", kParityTable), 2);
  EXPECT_EQ(SelectedSetting("Odd", kParityTable), 1);
  EXPECT_EQ(SelectedSetting("None", kParityTable), 0);
  EXPECT_EQ(SelectedSetting("2", kStopBitsTable), 2);
  EXPECT_EQ(SelectedSetting("1", kStopBitsTable), 0);
  EXPECT_EQ(SelectedSetting("Hardware", kFlowControlTable), 12);
  EXPECT_EQ(SelectedSetting("921600", kBaudRateTable), 921600);
  // A typed text that is no label gives 0.
  EXPECT_EQ(SelectedSetting("9601", kBaudRateTable), 0);
  EXPECT_EQ(SelectedSetting("", kBaudRateTable), 0);
  EXPECT_EQ(SelectedSetting("even", kParityTable), 0);
}

TEST(LineSettingTables, EveryBaudRateOfTheListCanBeOpened) {
  for (const auto& entry : kBaudRateTable) EXPECT_TRUE(SerialPort::IsSupportedBaudRate(entry.value)) << entry.label;
  EXPECT_FALSE(SerialPort::IsSupportedBaudRate(0));
}

struct ReplyCase {
  const char* reply;
  const char* line;
};

TEST(ReplyLine, IsTheValueBetweenTheLineEndsBeforeOk) {
  const ReplyCase cases[] = {
      {"\r\nv1.10.0\r\nOK\r\n", "v1.10.0"},
      {"v1.10.0\r\nOK", "v1.10.0"},
      {"OK", ""},
      {"\r\nOK\r\n", ""},
      {"\r\n4\r\nOK\r\n", "4"},
      // A stray line end left over from an earlier answer spoils the value line:
      // the reason a transaction takes the rest of its "OK" line.
      {"\r\n\r\nv1.10.0\r\nOK\r\n", ""},
      {"\r\nvalue with OK inside\r\nOK\r\n", ""},
      {"\r\nabc\nOK", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(AtLink::ReplyLine(c.reply), c.line) << c.reply;
}

TEST(ReplyLine, RemoteLinePrefixesTheAddressUnchanged) {
  EXPECT_EQ(AtLink::RemoteLine("ATZ\r\n", "000D6F0000A1B2C3"), "AT+RC=000D6F0000A1B2C3,ATZ\r\n");
  EXPECT_EQ(AtLink::RemoteLine("ATZ\r\n", ""), "AT+RC=,ATZ\r\n");
}

class PortListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = std::filesystem::temp_directory_path() /
            ("zendra-ports-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + std::to_string(reinterpret_cast<std::uintptr_t>(this)));
    std::filesystem::create_directories(root_);
  }
  void TearDown() override { std::filesystem::remove_all(root_); }

  void AddTty(const std::string& name, bool device, const char* type = nullptr) {
    const auto dir = root_ / name;
    std::filesystem::create_directories(dir);
    if (device) std::filesystem::create_directories(dir / "device");
    if (type) std::ofstream(dir / "type") << type << "\n";
  }

  std::filesystem::path root_;
};

TEST_F(PortListTest, ListsRealSerialDevicesSortedByKindAndNumber) {
  AddTty("ttyS0", true, "4");
  AddTty("ttyS1", true, "0");       // legacy entry without a UART
  AddTty("ttyS10", true, "4");
  AddTty("ttyS2", true, "4");
  AddTty("ttyUSB0", true);
  AddTty("ttyACM1", true);
  AddTty("ttyACM0", true);
  AddTty("tty3", true);             // virtual console
  AddTty("ptmx", false);
  AddTty("ttyUSB5", false);         // no device behind it

  PortList list;
  ASSERT_TRUE(list.EnumeratePorts(root_.string(), "/dev"));
  std::vector<std::string> names;
  for (const auto& e : list.Entries()) names.push_back(e.name);
  EXPECT_EQ(names, (std::vector<std::string>{"/dev/ttyACM0", "/dev/ttyACM1", "/dev/ttyS0", "/dev/ttyS2",
                                             "/dev/ttyS10", "/dev/ttyUSB0"}));
  EXPECT_EQ(list.GetEntry(0).displayText, "/dev/ttyACM0");
}

TEST_F(PortListTest, AComputerWithoutSerialPortsGivesAnEmptyList) {
  PortList list;
  ASSERT_TRUE(list.EnumeratePorts(root_.string(), "/dev"));
  EXPECT_EQ(list.Count(), 0);
  ASSERT_TRUE(list.EnumeratePorts((root_ / "missing").string(), "/dev"));
  EXPECT_EQ(list.Count(), 0);
}

}  // namespace
}  // namespace zendra
