#pragma once
// One remote device as the local module lists it in its answer to the network scan
// ("at+ds"). Every field is text exactly as received, after the cuts of the record
// line (see ParseScanReply). The IEEE address is how the other parts of the manager
// address the device ("AT+RC=" + address + ",").

#include <string>

namespace zendra {

struct DeviceRecord {
  std::string nodeType;     // "Type"
  std::string ieeeAddress;  // "IEEE Address"
  std::string version;      // "Version"
  std::string modelType;    // "ModelType"
  std::string nodeName;     // "NodeName"

  bool operator==(const DeviceRecord&) const = default;
};

}  // namespace zendra
