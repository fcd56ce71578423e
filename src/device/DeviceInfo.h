#pragma once
// What the connect handshake learned of the local module: the four texts of its
// identification (each the reply line of its query, or "ERROR" when the query
// failed), its node type and whether that makes it a sleepy end device.

#include <string>

namespace zendra {

struct DeviceInfo {
  std::string productName;      // "AT+PRODUCTNAME": the module's model code
  std::string euiAddress;       // "AT+LONGADDR"
  std::string nodeName;         // "AT+NODENAME"
  std::string firmwareVersion;  // "AT+VERSION"
  std::string nodeType;         // "AT+NODETYPE" at the last connect
  bool sleepy = false;          // node type "4": woken with "\n" before it is spoken to

  // The definition file of this firmware: product + "_" + version + ".zmcon".
  std::string DefinitionFileName() const { return productName + "_" + firmwareVersion + ".zmcon"; }

  bool operator==(const DeviceInfo&) const = default;
};

}  // namespace zendra
