#include "serial/PortList.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <optional>

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

std::vector<PortInfo> ListSysfsPorts(const std::string& sysClassTty, const std::string& devFolder) {
  std::vector<PortInfo> entries;
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
    entries.push_back({path, usb.empty() ? path : path + " \u2014 " + usb});
  }
  return entries;
}

std::optional<UsbIdentity> ParseUsbInstanceId(const std::string& instanceId) {
  // USB\VID_0403&PID_6001\A5XK3RJH, or a driver's bus of its own:
  // FTDIBUS\VID_0403+PID_6001+A5XK3RJHA\0000.
  const std::size_t busEnd = instanceId.find('\\');
  if (busEnd == std::string::npos) return std::nullopt;
  const std::size_t idsEnd = instanceId.find('\\', busEnd + 1);
  const std::string ids = instanceId.substr(
      busEnd + 1, idsEnd == std::string::npos ? std::string::npos : idsEnd - busEnd - 1);
  const std::string rest = idsEnd == std::string::npos ? "" : instanceId.substr(idsEnd + 1);

  // The hardware IDs, split at '&' or '+': VID_xxxx, PID_xxxx, and on FTDIBUS the
  // serial number as the third part.
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= ids.size(); ++i) {
    if (i == ids.size() || ids[i] == '&' || ids[i] == '+') {
      parts.push_back(ids.substr(start, i - start));
      start = i + 1;
    }
  }
  auto hexField = [&](const char* tag, std::string& out) {
    for (const auto& part : parts) {
      if (part.size() != 8) continue;
      bool match = true;
      for (int i = 0; i < 4; ++i)
        if (std::toupper(static_cast<unsigned char>(part[i])) != tag[i]) match = false;
      for (std::size_t i = 4; match && i < 8; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(part[i]))) match = false;
      if (!match) continue;
      out = part.substr(4);
      for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      return true;
    }
    return false;
  };
  UsbIdentity usb;
  if (!hexField("VID_", usb.vendor) || !hexField("PID_", usb.product)) return std::nullopt;

  auto printable = [](const std::string& text) {
    if (text.empty()) return false;
    for (unsigned char c : text)
      if (c <= 0x20 || c >= 0x7F) return false;
    return true;
  };
  const bool plusForm = ids.find('+') != std::string::npos;
  if (plusForm) {
    if (parts.size() >= 3 && printable(parts[2])) usb.serial = parts[2];
  } else if (ids.find("MI_") == std::string::npos && ids.find("mi_") == std::string::npos &&
             rest.find('&') == std::string::npos && printable(rest)) {
    // The device's own serial number; a number the system made up (it has '&'
    // in it) or one of a composite device's interfaces is no serial number.
    usb.serial = rest;
  }
  return usb;
}

std::string DescribeWin32Port(const std::string& portName, const std::string& friendlyName,
                              const std::string& instanceId) {
  // "USB Serial Port (COM3)": the port's name in brackets is dropped, the box shows it.
  std::string name = friendlyName;
  const std::string suffix = " (" + portName + ")";
  if (name.size() >= suffix.size() &&
      name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
    name.erase(name.size() - suffix.size());
  for (char& c : name)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';

  std::string usbText;
  if (const auto usb = ParseUsbInstanceId(instanceId)) {
    usbText = "USB " + usb->vendor + ":" + usb->product;
    if (!usb->serial.empty()) usbText += ", " + usb->serial;
  }
  std::string detail = name;
  if (!usbText.empty()) detail = detail.empty() ? usbText : detail + " (" + usbText + ")";
  return detail.empty() ? portName : portName + " \u2014 " + detail;
}

std::vector<PortInfo> SortedPorts(std::vector<PortInfo> ports) {
  std::sort(ports.begin(), ports.end(),
            [](const PortInfo& a, const PortInfo& b) { return PortNameLess(a.name, b.name); });
  ports.erase(std::unique(ports.begin(), ports.end(),
                          [](const PortInfo& a, const PortInfo& b) { return a.name == b.name; }),
              ports.end());
  return ports;
}

}  // namespace zendra
