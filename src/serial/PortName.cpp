#include "serial/PortName.h"

#include <cctype>

namespace zendra {

namespace {

constexpr char kDevicePrefix[] = "\\\\.\\";
constexpr std::size_t kDevicePrefixLength = sizeof kDevicePrefix - 1;

}  // namespace

std::optional<int> ComPortNumber(const std::string& name) {
  if (name.size() < 4 || name.size() > 6) return std::nullopt;
  for (std::size_t i = 0; i < 3; ++i) {
    if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i]) return std::nullopt;
  }
  int n = 0;
  for (std::size_t i = 3; i < name.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(name[i]))) return std::nullopt;
    n = n * 10 + (name[i] - '0');
  }
  if (n < 1) return std::nullopt;
  return n;
}

std::string ComPortToPosixPath(const std::string& name) {
  const auto n = ComPortNumber(name);
  return n ? "/dev/ttyS" + std::to_string(*n - 1) : name;
}

std::string Win32PortName(const std::string& name) {
  std::string bare = name;
  if (bare.compare(0, kDevicePrefixLength, kDevicePrefix) == 0) bare.erase(0, kDevicePrefixLength);
  const auto n = ComPortNumber(bare);
  return n ? "COM" + std::to_string(*n) : name;
}

std::string Win32DevicePath(const std::string& name) {
  const std::string port = Win32PortName(name);
  return ComPortNumber(port) ? kDevicePrefix + port : port;
}

}  // namespace zendra
