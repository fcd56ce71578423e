// Port names as people type them, under both systems' rules: "COMn" is a
// Windows port by that name and, on POSIX systems, the n-th legacy port.

#include <gtest/gtest.h>

#include "serial/PortName.h"
#include "serial/SerialPort.h"

namespace zendra {
namespace {

TEST(PortName, ComNumberTakesOnlyComFollowedByDigits) {
  EXPECT_EQ(ComPortNumber("COM1"), 1);
  EXPECT_EQ(ComPortNumber("com12"), 12);
  EXPECT_EQ(ComPortNumber("Com256"), 256);
  EXPECT_EQ(ComPortNumber("COM999"), 999);
  EXPECT_EQ(ComPortNumber("COM0"), std::nullopt);
  EXPECT_EQ(ComPortNumber("COM"), std::nullopt);
  EXPECT_EQ(ComPortNumber("COM1000"), std::nullopt);  // more digits than a port has
  EXPECT_EQ(ComPortNumber("COMx"), std::nullopt);
  EXPECT_EQ(ComPortNumber("COM-1"), std::nullopt);
  EXPECT_EQ(ComPortNumber("COM 3"), std::nullopt);
  EXPECT_EQ(ComPortNumber("COM3 "), std::nullopt);
  EXPECT_EQ(ComPortNumber("CON3"), std::nullopt);
  EXPECT_EQ(ComPortNumber("/dev/ttyS2"), std::nullopt);
}

TEST(PortName, PosixRulesMapComNumbersToTheLegacyPorts) {
  EXPECT_EQ(ComPortToPosixPath("COM1"), "/dev/ttyS0");
  EXPECT_EQ(ComPortToPosixPath("com3"), "/dev/ttyS2");
  EXPECT_EQ(ComPortToPosixPath("COM12"), "/dev/ttyS11");
  EXPECT_EQ(ComPortToPosixPath("/dev/ttyUSB0"), "/dev/ttyUSB0");
  EXPECT_EQ(ComPortToPosixPath("COM0"), "COM0");  // no such port: the open fails
  EXPECT_EQ(ComPortToPosixPath("COMx"), "COMx");
}

TEST(PortName, WindowsRulesKeepTheComNameAndReachEveryNumber) {
  EXPECT_EQ(Win32PortName("com3"), "COM3");
  EXPECT_EQ(Win32PortName("COM03"), "COM3");
  EXPECT_EQ(Win32PortName("\\\\.\\COM17"), "COM17");
  EXPECT_EQ(Win32PortName("\\\\.\\CNCA0"), "\\\\.\\CNCA0");  // a driver's own name stays as typed
  EXPECT_EQ(Win32PortName("COM0"), "COM0");
  // COM10 and above are reached only through the device namespace.
  EXPECT_EQ(Win32DevicePath("COM3"), "\\\\.\\COM3");
  EXPECT_EQ(Win32DevicePath("com10"), "\\\\.\\COM10");
  EXPECT_EQ(Win32DevicePath("\\\\.\\COM255"), "\\\\.\\COM255");
  EXPECT_EQ(Win32DevicePath("\\\\.\\CNCA0"), "\\\\.\\CNCA0");
}

TEST(PortName, TheSerialPortResolvesByItsOwnSystemsRules) {
#ifdef _WIN32
  EXPECT_EQ(SerialPort::ResolvePortName("com3"), "COM3");
  EXPECT_EQ(SerialPort::ResolvePortName("COM12"), "COM12");
#else
  EXPECT_EQ(SerialPort::ResolvePortName("COM1"), "/dev/ttyS0");
  EXPECT_EQ(SerialPort::ResolvePortName("COM12"), "/dev/ttyS11");
  EXPECT_EQ(SerialPort::ResolvePortName("com3"), "/dev/ttyS2");
  EXPECT_EQ(SerialPort::ResolvePortName("/dev/ttyUSB0"), "/dev/ttyUSB0");
#endif
}

}  // namespace
}  // namespace zendra
