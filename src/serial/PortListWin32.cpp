#include "serial/PortList.h"
// The port list of Windows: the COM ports of the system's serial map, described
// by what SetupAPI knows of the device behind each (friendly name, instance ID).

#include <windows.h>
// windows.h first: the SetupAPI headers need its types.
#include <cfgmgr32.h>
#include <setupapi.h>

#include <filesystem>
#include <map>

namespace zendra {

namespace {

std::string Utf8(const std::wstring& wide) {
  const auto text = std::filesystem::path(wide).u8string();
  return std::string(text.begin(), text.end());
}

// The value of a REG_SZ, without the terminating NULs the registry may keep.
std::wstring StringValue(const wchar_t* data, DWORD bytes) {
  std::wstring value(data, bytes / sizeof(wchar_t));
  while (!value.empty() && value.back() == L'\0') value.pop_back();
  return value;
}

struct DeviceText {
  std::string friendlyName;
  std::string instanceId;
};

std::wstring InstanceId(DEVINST device) {
  wchar_t id[MAX_DEVICE_ID_LEN + 1] = {};
  if (CM_Get_Device_IDW(device, id, MAX_DEVICE_ID_LEN, 0) != CR_SUCCESS) return {};
  return id;
}

// Every present device of the ports class, by the port name its settings hold.
std::map<std::string, DeviceText> PortDevices() {
  std::map<std::string, DeviceText> devices;
  const HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
  if (set == INVALID_HANDLE_VALUE) return devices;
  SP_DEVINFO_DATA info{};
  info.cbSize = sizeof info;
  for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &info); ++index) {
    const HKEY key = SetupDiOpenDevRegKey(set, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) continue;
    wchar_t portName[64] = {};
    DWORD bytes = sizeof portName - sizeof(wchar_t);
    DWORD type = 0;
    const bool named =
        RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(portName),
                         &bytes) == ERROR_SUCCESS &&
        type == REG_SZ;
    RegCloseKey(key);
    if (!named) continue;

    DeviceText text;
    wchar_t friendly[256] = {};
    if (SetupDiGetDeviceRegistryPropertyW(set, &info, SPDRP_FRIENDLYNAME, nullptr,
                                          reinterpret_cast<BYTE*>(friendly),
                                          sizeof friendly - sizeof(wchar_t), nullptr))
      text.friendlyName = Utf8(friendly);
    // The port of a composite USB device is an interface, and a driver's own bus
    // may keep the serial number from it: the parent device then carries the IDs
    // and the serial number.
    std::wstring id = InstanceId(info.DevInst);
    const auto usb = ParseUsbInstanceId(Utf8(id));
    DEVINST parent = 0;
    if ((!usb || usb->serial.empty()) && CM_Get_Parent(&parent, info.DevInst, 0) == CR_SUCCESS) {
      const std::wstring parentId = InstanceId(parent);
      const auto parentUsb = ParseUsbInstanceId(Utf8(parentId));
      if (parentUsb && (!usb || !parentUsb->serial.empty())) id = parentId;
    }
    text.instanceId = Utf8(id);
    devices[Utf8(portName)] = text;
  }
  SetupDiDestroyDeviceInfoList(set);
  return devices;
}

}  // namespace

bool PortList::EnumeratePorts(const std::string&, const std::string&) {
  std::vector<PortInfo> ports;
  HKEY map = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &map) !=
      ERROR_SUCCESS) {
    entries_.clear();  // no serial port at all: the key is not there
    return true;
  }
  const auto devices = PortDevices();
  for (DWORD index = 0;; ++index) {
    wchar_t valueName[256];
    DWORD nameLength = 256;
    wchar_t data[64];
    DWORD bytes = sizeof data;
    DWORD type = 0;
    const LONG result = RegEnumValueW(map, index, valueName, &nameLength, nullptr, &type,
                                      reinterpret_cast<BYTE*>(data), &bytes);
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result != ERROR_SUCCESS || type != REG_SZ) continue;
    const std::string name = Utf8(StringValue(data, bytes));
    if (name.empty()) continue;
    const auto device = devices.find(name);
    ports.push_back({name, device == devices.end()
                               ? name
                               : DescribeWin32Port(name, device->second.friendlyName,
                                                   device->second.instanceId)});
  }
  RegCloseKey(map);
  entries_ = SortedPorts(std::move(ports));
  return true;
}

}  // namespace zendra
