#pragma once
// Port names as people type them. "COMn" is how a serial port is named on
// Windows; on POSIX systems it stands for the n-th legacy port, /dev/ttyS(n-1).
// These are plain text rules, the same on every system, so that both are
// checked wherever the tests run; SerialPort::ResolvePortName takes its system's.

#include <optional>
#include <string>

namespace zendra {

// n for "COMn" (any case, n from 1 to 999, no sign, no blanks); nothing otherwise.
std::optional<int> ComPortNumber(const std::string& name);

// "COM3" -> "/dev/ttyS2"; anything else unchanged.
std::string ComPortToPosixPath(const std::string& name);

// The name a Windows port goes by: "com3" and "\\.\COM3" -> "COM3"; anything
// else (a device path of another kind) unchanged.
std::string Win32PortName(const std::string& name);

// The path CreateFile opens for a port: "COM3" -> "\\.\COM3", which reaches
// COM10 and above too; a name that is no COM port is taken as a path already.
std::string Win32DevicePath(const std::string& name);

}  // namespace zendra
