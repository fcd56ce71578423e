// The port list of a Linux system (PortListPosix.cpp): the ttys of a sysfs tree
// that a device stands behind, sorted, and what a USB device tells of itself.
// Windows reads its serial map instead (WindowsPortTextTest.cpp tests the text).

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>

#include "serial/PortList.h"

namespace zendra {
namespace {

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
  AddTty("ttyS1", true, "0");  // legacy entry without a UART
  AddTty("ttyS10", true, "4");
  AddTty("ttyS2", true, "4");
  AddTty("ttyUSB0", true);
  AddTty("ttyACM1", true);
  AddTty("ttyACM0", true);
  AddTty("tty3", true);  // virtual console
  AddTty("ptmx", false);
  AddTty("ttyUSB5", false);  // no device behind it

  PortList list;
  ASSERT_TRUE(list.EnumeratePorts(root_.string(), "/dev"));
  std::vector<std::string> names;
  for (const auto& e : list.Entries()) names.push_back(e.name);
  EXPECT_EQ(names, (std::vector<std::string>{"/dev/ttyACM0", "/dev/ttyACM1", "/dev/ttyS0",
                                             "/dev/ttyS2", "/dev/ttyS10", "/dev/ttyUSB0"}));
  EXPECT_EQ(list.GetEntry(0).displayText, "/dev/ttyACM0");
}

TEST_F(PortListTest, APortBehindAUsbDeviceShowsTheDevicesProductAndSerialNumber) {
  namespace fs = std::filesystem;
  // sysfs as a USB adapter leaves it: the tty's device link leads to the port
  // under the interface, the interface under the device with its attributes.
  auto usbDevice = [&](const std::string& id, std::map<std::string, std::string> attributes) {
    const fs::path device = root_ / "devices" / "usb1" / id;
    fs::create_directories(device / (id + ":1.0") / "port");
    for (const auto& [name, value] : attributes) std::ofstream(device / name) << value << "\n";
    return device / (id + ":1.0") / "port";
  };
  auto addUsbTty = [&](const std::string& name, const fs::path& port) {
    fs::create_directories(root_ / "class" / name);
    fs::create_directory_symlink(port, root_ / "class" / name / "device");
  };
  addUsbTty("ttyUSB0", usbDevice("1-1", {{"idVendor", "0403"},
                                         {"idProduct", "6001"},
                                         {"manufacturer", "FTDI"},
                                         {"product", "FT232R USB UART"},
                                         {"serial", "A5XK3RJH"}}));
  // No product string: the maker; neither: the IDs; no serial number: no brackets.
  addUsbTty("ttyUSB1", usbDevice("1-2", {{"idVendor", "10c4"},
                                         {"idProduct", "ea60"},
                                         {"manufacturer", "Silicon Labs"}}));
  addUsbTty(
      "ttyACM0",
      usbDevice("1-3", {{"idVendor", "2341"}, {"idProduct", "0043"}, {"serial", "  85734323\t"}}));
  // A UART on the board: the path alone.
  fs::create_directories(root_ / "class" / "ttyS0" / "device");
  std::ofstream(root_ / "class" / "ttyS0" / "type") << "4\n";

  PortList list;
  ASSERT_TRUE(list.EnumeratePorts((root_ / "class").string(), "/dev"));
  std::vector<std::string> texts, names;
  for (const auto& e : list.Entries()) {
    texts.push_back(e.displayText);
    names.push_back(e.name);
  }
  EXPECT_EQ(texts,
            (std::vector<std::string>{"/dev/ttyACM0 \u2014 USB 2341:0043 (85734323)", "/dev/ttyS0",
                                      "/dev/ttyUSB0 \u2014 FT232R USB UART (A5XK3RJH)",
                                      "/dev/ttyUSB1 \u2014 Silicon Labs"}));
  // What Open takes stays the path.
  EXPECT_EQ(names, (std::vector<std::string>{"/dev/ttyACM0", "/dev/ttyS0", "/dev/ttyUSB0",
                                             "/dev/ttyUSB1"}));
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
