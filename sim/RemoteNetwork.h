#pragma once
// The remote nodes the local module knows in its network: each one's AT
// personality, its 16-bit network address and what goes wrong with it, looked up
// by EUI address without regard to case. It also writes the network scan's reply
// ("at+ds"): one record per node, six fields joined by "|",
//
//   TYPE|EUI|SHORT|VERSION|PRODUCT|NAME CR LF
//
// with TYPE "COO" (coordinator), "FFD" (router), "RFD" (end device) or "SED"
// (sleepy end device), and, when asked for, the marker lines and odd records a
// real module's table shows: a "*|" header describing the local module, a child
// table ("CLD|" count, one "CHD|" line per end device) after the first record, a
// record of three fields and one of seven after the second.

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "AtNode.h"
#include "ModuleSimulator.h"

namespace zendra::sim {

class RemoteNetwork {
 public:
  struct Remote {
    std::string euiAddress;  // as configured
    AtNode node;
    std::string shortAddress;
    RemoteFaults faults;
  };

  // A node whose short address is empty gets one derived from its EUI address.
  void Add(const RemoteNode& description, AtNode node);
  Remote* Find(std::string_view euiAddress);
  const Remote* Find(std::string_view euiAddress) const;

  // The scan's lines, each ended with CR LF, without the final "OK".
  std::vector<std::string> ScanLines(const AtNode& local, const ScanOptions& options) const;

 private:
  std::vector<Remote> remotes_;
  std::map<std::string, std::size_t> index_;  // upper-case EUI → remotes_
};

// A 16-bit network address for a node without one: four hexadecimal digits, never
// the coordinator's 0000 nor one of the reserved FFF8 … FFFF.
std::string ShortAddressFor(std::string_view euiAddress);

}  // namespace zendra::sim
