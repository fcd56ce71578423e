#include "RemoteNetwork.h"

#include <algorithm>
#include <cstdio>

#include "XmodemReceiver.h"

namespace zendra::sim {

namespace {

std::string Hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}

std::string TypeField(int nodeType) {
  switch (nodeType) {
    case 1:
      return "COO";
    case 2:
      return "FFD";
    case 3:
      return "RFD";
    case 4:
      return "SED";
    default:
      return "UNK";
  }
}

std::string RoleName(int nodeType) {
  switch (nodeType) {
    case 1:
      return "Coordinator";
    case 2:
      return "Router";
    case 3:
      return "End device";
    case 4:
      return "Sleepy end device";
    default:
      return "Node";
  }
}

bool IsEndDevice(int nodeType) { return nodeType == 3 || nodeType == 4; }

// The module reports versions in a fixed-width column.
std::string VersionField(const std::string& version, bool padded) {
  if (!padded) return version;
  std::string field = version + ' ';
  if (field.size() < 10) field.resize(10, ' ');
  return field;
}

struct Firmware {
  const char* product;
  const char* version;
};

// The products and versions that have sample definition files.
constexpr Firmware kFirmwares[] = {{"MA11", "v1.10.0"},
                                   {"MA11", "v1.9.5"},
                                   {"MB11", "v3.0"},
                                   {"MA11", "v1.11.0"},
                                   {"MC21X", "v1.0.0"}};

}  // namespace

std::string ShortAddressFor(std::string_view euiAddress) {
  std::uint16_t crc =
      Crc16Xmodem(reinterpret_cast<const std::uint8_t*>(euiAddress.data()), euiAddress.size());
  return Hex(1u + crc % 0xFFF7u, 4);
}

std::vector<RemoteNode> GeneratedNetwork(int count) {
  // Routers carry the network; most of the rest are end devices, some asleep.
  static constexpr int kTypes[] = {2, 3, 3, 4, 2, 3, 2, 3};
  std::vector<RemoteNode> nodes;
  for (int i = 0; i < count; ++i) {
    RemoteNode node;
    // An odd multiplier is a one-to-one map of the 24-bit numbers: no two alike.
    auto serial =
        static_cast<unsigned>((static_cast<std::uint64_t>(i) + 1) * 0x5BD1E9u) & 0xFFFFFFu;
    node.euiAddress = "000D6F0001" + Hex(serial, 6);
    node.nodeType = kTypes[i % 8];
    const Firmware& firmware = kFirmwares[(i * 3 + i / 5) % 5];
    node.productName = firmware.product;
    node.version = firmware.version;
    std::string number = std::to_string(i + 1);
    if (number.size() < 3) number.insert(0, 3 - number.size(), '0');
    const char* kind = node.nodeType == 2 ? "Router " : node.nodeType == 3 ? "Sensor " : "Sleeper ";
    node.nodeName = kind + number;
    nodes.push_back(std::move(node));
  }
  return nodes;
}

std::vector<RemoteNode> OddlyNamedNodes() {
  struct Odd {
    const char* eui;
    const char* name;
    int type;
    Firmware firmware;
  };
  static const Odd kOdd[] = {
      {"000D6F00000A0001", "Kitchen node", 2, kFirmwares[0]},
      {"000D6F00000A0002", "Shelf|A|2", 3, kFirmwares[1]},
      {"000D6F00000A0003", "BOOKSHELF", 2, kFirmwares[2]},
      {"000D6F00000A0004", "ERROR lab", 3, kFirmwares[4]},
      {"000D6F00000A0005", "OK lab", 4, kFirmwares[3]},
  };
  std::vector<RemoteNode> nodes;
  for (const auto& odd : kOdd) {
    RemoteNode node;
    node.euiAddress = odd.eui;
    node.nodeName = odd.name;
    node.nodeType = odd.type;
    node.productName = odd.firmware.product;
    node.version = odd.firmware.version;
    nodes.push_back(std::move(node));
  }
  return nodes;
}

void RemoteNetwork::Add(const RemoteNode& description, AtNode node) {
  std::string shortAddress = description.shortAddress.empty()
                                 ? ShortAddressFor(UpperAscii(description.euiAddress))
                                 : description.shortAddress;
  index_[UpperAscii(description.euiAddress)] = remotes_.size();
  remotes_.push_back(
      Remote{description.euiAddress, std::move(node), shortAddress, description.faults});
}

RemoteNetwork::Remote* RemoteNetwork::Find(std::string_view euiAddress) {
  auto it = index_.find(UpperAscii(euiAddress));
  return it == index_.end() ? nullptr : &remotes_[it->second];
}

const RemoteNetwork::Remote* RemoteNetwork::Find(std::string_view euiAddress) const {
  return const_cast<RemoteNetwork*>(this)->Find(euiAddress);
}

std::vector<std::string> RemoteNetwork::ScanLines(const AtNode& local,
                                                  const ScanOptions& options) const {
  std::vector<std::string> records;
  for (const auto& remote : remotes_) {
    const AtNode& node = remote.node;
    records.push_back(TypeField(node.NodeType()) + "|" + node.EuiAddress() + "|" +
                      remote.shortAddress + "|" +
                      VersionField(node.Version(), options.paddedVersions) + "|" +
                      node.ProductName() + "|" + node.Read("AT+NODENAME") + "\r\n");
  }
  std::vector<std::string> lines;
  if (options.markers) {
    int type = local.NodeType();
    std::string shortAddress = type == 1 ? "0000" : ShortAddressFor(UpperAscii(local.EuiAddress()));
    lines.push_back("*|" + RoleName(type) + "|" + local.EuiAddress() + "|" + shortAddress + "|" +
                    local.Version() + "|" + local.ProductName() + "|" + local.Read("AT+NODENAME") +
                    "\r\n");
  }
  std::vector<std::string> childTable;
  if (options.markers) {
    // The local module's child table: the end devices it is parent to.
    for (const auto& remote : remotes_) {
      if (IsEndDevice(remote.node.NodeType()))
        childTable.push_back("CHD|" + remote.shortAddress + "|" + remote.node.EuiAddress() +
                             "\r\n");
    }
    childTable.insert(childTable.begin(),
                      "CLD|" + std::to_string(childTable.size()) + " children\r\n");
  }
  std::vector<std::string> odd;
  if (options.oddRecords) {
    // Nodes the table holds half, or with a field too many.
    odd = {"RFD|000D6F00000DEAD1|v1.0.2\r\n",
           "FFD|000D6F00000DEAD2|7E01|v2.0.1|MB11|Hall|LQI 200\r\n"};
  }
  // The child table follows the first record, the odd records the second.
  auto childrenAt = std::min<std::size_t>(1, records.size());
  auto oddAt = std::min<std::size_t>(2, records.size());
  for (std::size_t i = 0; i <= records.size(); ++i) {
    if (i == childrenAt) lines.insert(lines.end(), childTable.begin(), childTable.end());
    if (i == oddAt) lines.insert(lines.end(), odd.begin(), odd.end());
    if (i < records.size()) lines.push_back(records[i]);
  }
  return lines;
}

}  // namespace zendra::sim
