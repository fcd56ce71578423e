#include "serial/PortList.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

namespace zendra {

namespace fs = std::filesystem;

namespace {

// Splits "ttyUSB12" into "ttyUSB" and 12 (-1 when there is no number).
std::pair<std::string, long> SplitName(const std::string& name) {
  std::size_t i = name.size();
  while (i > 0 && std::isdigit(static_cast<unsigned char>(name[i - 1]))) --i;
  if (i == name.size() || name.size() - i > 9) return {name, -1};
  return {name.substr(0, i), std::stol(name.substr(i))};
}

bool IsSerialKind(const std::string& name) {
  static const char* const kinds[] = {"ttyS", "ttyUSB", "ttyACM", "ttyAMA", "ttyO",
                                      "ttySC", "ttyXRUSB", "ttyHS", "ttymxc", "rfcomm"};
  const std::string prefix = SplitName(name).first;
  return std::any_of(std::begin(kinds), std::end(kinds),
                     [&](const char* kind) { return prefix == kind; });
}

std::string ReadFirstLine(const fs::path& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

// A sysfs attribute as text, without the line end and stray blanks; empty when absent.
std::string ReadAttribute(const fs::path& path) {
  std::string value = ReadFirstLine(path);
  while (!value.empty() && std::isspace(static_cast<unsigned char>(value.back()))) value.pop_back();
  std::size_t start = 0;
  while (start < value.size() && std::isspace(static_cast<unsigned char>(value[start]))) ++start;
  value.erase(0, start);
  // A description stays one printable line in the box.
  for (char& c : value)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  return value;
}

}  // namespace

std::string DescribeUsbDevice(const std::string& ttyDeviceFolder) {
  std::error_code ec;
  fs::path folder = fs::canonical(ttyDeviceFolder, ec);
  if (ec) return {};
  for (int up = 0; up < 4 && !folder.empty(); ++up, folder = folder.parent_path()) {
    if (!fs::exists(folder / "idVendor", ec)) {
      if (folder == folder.root_path()) break;
      continue;
    }
    std::string name = ReadAttribute(folder / "product");
    if (name.empty()) name = ReadAttribute(folder / "manufacturer");
    if (name.empty())
      name = "USB " + ReadAttribute(folder / "idVendor") + ":" + ReadAttribute(folder / "idProduct");
    const std::string serial = ReadAttribute(folder / "serial");
    return serial.empty() ? name : name + " (" + serial + ")";
  }
  return {};
}

bool PortNameLess(const std::string& a, const std::string& b) {
  const auto [pa, na] = SplitName(a);
  const auto [pb, nb] = SplitName(b);
  if (pa != pb) return pa < pb;
  return na < nb;
}

bool PortList::EnumeratePorts(const std::string& sysClassTty, const std::string& devFolder) {
  entries_.clear();
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(sysClassTty, ec)) {
    const std::string name = entry.path().filename().string();
    if (!IsSerialKind(name)) continue;
    // A real device stands behind a port: the entry has a "device" link.
    if (!fs::exists(entry.path() / "device", ec)) continue;
    // ttyS entries exist for every possible legacy port; type 0 means no UART.
    if (SplitName(name).first == "ttyS") {
      const std::string type = ReadFirstLine(entry.path() / "type");
      if (type.empty() || type == "0") continue;
    }
    names.push_back(name);
  }
  std::sort(names.begin(), names.end(), PortNameLess);
  for (const auto& name : names) {
    const std::string path = devFolder + "/" + name;
    const std::string usb = DescribeUsbDevice((fs::path(sysClassTty) / name / "device").string());
    entries_.push_back({path, usb.empty() ? path : path + " \u2014 " + usb});
  }
  return true;
}

}  // namespace zendra
