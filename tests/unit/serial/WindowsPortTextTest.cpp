// What the Windows port list shows of a port: the USB identity read from a
// device instance ID, the friendly name, and the order of COM ports.

#include <gtest/gtest.h>

#include "serial/PortList.h"

namespace zendra {
namespace {

TEST(UsbInstanceId, TheUsbBusGivesIdsAndTheDevicesOwnSerialNumber) {
  const auto ftdi = ParseUsbInstanceId("USB\\VID_0403&PID_6001\\A5XK3RJH");
  ASSERT_TRUE(ftdi);
  EXPECT_EQ(ftdi->vendor, "0403");
  EXPECT_EQ(ftdi->product, "6001");
  EXPECT_EQ(ftdi->serial, "A5XK3RJH");
  // Lower case as the Linux list shows them; the system writes either case.
  const auto cp210x = ParseUsbInstanceId("usb\\vid_10C4&pid_EA60\\0001");
  ASSERT_TRUE(cp210x);
  EXPECT_EQ(cp210x->vendor, "10c4");
  EXPECT_EQ(cp210x->product, "ea60");
  EXPECT_EQ(cp210x->serial, "0001");
}

TEST(UsbInstanceId, ANumberTheSystemMadeUpOrAnInterfaceIsNoSerialNumber) {
  const auto made = ParseUsbInstanceId("USB\\VID_2341&PID_0043\\5&2E0D8A1C&0&2");
  ASSERT_TRUE(made);
  EXPECT_EQ(made->vendor, "2341");
  EXPECT_EQ(made->serial, "");
  const auto interface = ParseUsbInstanceId("USB\\VID_0403&PID_6010&MI_00\\7&1A2B3C4D&0&0000");
  ASSERT_TRUE(interface);
  EXPECT_EQ(interface->product, "6010");
  EXPECT_EQ(interface->serial, "");
  const auto bare = ParseUsbInstanceId("USB\\VID_0403&PID_6001");
  ASSERT_TRUE(bare);
  EXPECT_EQ(bare->serial, "");
}

TEST(UsbInstanceId, ADriversOwnBusJoinsIdsAndSerialNumberWithPlus) {
  const auto ftdibus = ParseUsbInstanceId("FTDIBUS\\VID_0403+PID_6001+A5XK3RJHA\\0000");
  ASSERT_TRUE(ftdibus);
  EXPECT_EQ(ftdibus->vendor, "0403");
  EXPECT_EQ(ftdibus->product, "6001");
  EXPECT_EQ(ftdibus->serial, "A5XK3RJHA");
}

TEST(UsbInstanceId, DevicesNotOnUsbAndMalformedIdsGiveNothing) {
  EXPECT_FALSE(ParseUsbInstanceId("ACPI\\PNP0501\\1"));
  EXPECT_FALSE(ParseUsbInstanceId(""));
  EXPECT_FALSE(ParseUsbInstanceId("USB"));
  EXPECT_FALSE(ParseUsbInstanceId("USB\\VID_04&PID_6001\\X"));    // IDs are four digits
  EXPECT_FALSE(ParseUsbInstanceId("USB\\VID_04G3&PID_6001\\X"));  // and hexadecimal
  EXPECT_FALSE(ParseUsbInstanceId("USB\\PID_6001\\A5XK3RJH"));    // no vendor
  EXPECT_FALSE(ParseUsbInstanceId("ROOT\\PORTS\\0000"));
}

TEST(WindowsPortText, FriendlyNameWithoutTheBracketedPortThenTheUsbIdentity) {
  EXPECT_EQ(DescribeWin32Port("COM3", "USB Serial Port (COM3)",
                              "FTDIBUS\\VID_0403+PID_6001+A5XK3RJHA\\0000"),
            "COM3 \u2014 USB Serial Port (USB 0403:6001, A5XK3RJHA)");
  EXPECT_EQ(DescribeWin32Port("COM1", "Communications Port (COM1)", "ACPI\\PNP0501\\1"),
            "COM1 \u2014 Communications Port");
  // A friendly name that names another port keeps it: the text is the system's.
  EXPECT_EQ(DescribeWin32Port("COM4", "Old name (COM2)", ""), "COM4 \u2014 Old name (COM2)");
  EXPECT_EQ(DescribeWin32Port("COM5", "", "USB\\VID_2341&PID_0043\\5&2E0D8A1C&0&2"),
            "COM5 \u2014 USB 2341:0043");
  EXPECT_EQ(DescribeWin32Port("COM6", "", ""), "COM6");
  EXPECT_EQ(DescribeWin32Port("COM7", "Bad\tname\n (COM7)", ""), "COM7 \u2014 Bad name ");
}

TEST(WindowsPortText, PortsAreSortedByNumberAndListedOnce) {
  const auto sorted = SortedPorts({{"COM10", "COM10"},
                                   {"COM2", "COM2 \u2014 a"},
                                   {"COM1", "COM1"},
                                   {"COM2", "COM2 \u2014 b"},
                                   {"CNCA0", "CNCA0"}});
  std::vector<std::string> names;
  for (const auto& port : sorted) names.push_back(port.name);
  EXPECT_EQ(names, (std::vector<std::string>{"CNCA0", "COM1", "COM2", "COM10"}));
  EXPECT_EQ(sorted[2].displayText, "COM2 \u2014 a");
}

}  // namespace
}  // namespace zendra
