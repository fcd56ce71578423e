// scan: the network scan from a terminal. The local module is identified first (the
// connect handshake, which also learns whether it must be woken before a command),
// then asked for the remote devices it knows; one row per device.

#include <iomanip>
#include <iostream>

#include <nlohmann/json.hpp>

#include "base/SingleByteText.h"
#include "cli/CliContext.h"
#include "discovery/NetworkScan.h"

namespace zendra::cli {

namespace {

void Scan(CliContext& ctx) {
  if (!ctx.ConnectModule()) return;
  // A failure's message ("ERROR: Could not scan the remote device.") goes to stderr
  // through the terminal operator.
  const ScanResult result = RunNetworkScan(ctx.Line(), ctx.op);
  if (result.outcome != ScanResult::Outcome::kListed) {
    ctx.exitCode = kExitFailed;
    return;
  }
  if (ctx.options.json) {
    auto rows = nlohmann::ordered_json::array();
    for (std::size_t i = 0; i < result.devices.size(); ++i) {
      const DeviceRecord& d = result.devices[i];
      nlohmann::ordered_json row;
      row["index"] = i;
      row["type"] = d.nodeType;
      row["address"] = d.ieeeAddress;
      row["version"] = d.version;
      row["model"] = d.modelType;
      // A name holds whatever bytes it was given; JSON needs UTF-8.
      row["name"] = SingleByteTextAsUtf8(d.nodeName);
      rows.push_back(std::move(row));
    }
    std::cout << Dump(rows) << std::endl;
  } else {
    // Columns as the scan dialog shows them; the name last, since it may hold spaces.
    for (std::size_t i = 0; i < result.devices.size(); ++i) {
      const DeviceRecord& d = result.devices[i];
      std::cout << std::left << std::setw(4) << i << ' ' << std::setw(4) << d.nodeType << ' '
                << std::setw(16) << d.ieeeAddress << ' ' << std::setw(8) << d.version << ' '
                << std::setw(6) << d.modelType << ' ' << d.nodeName << '\n';
    }
    std::cout << std::flush;
  }
  ctx.exitCode = kExitOk;
}

}  // namespace

void RegisterScanCommands(CLI::App& app, CliContext& ctx) {
  app.add_subcommand("scan",
                     "Scan the network: list the remote devices the local module knows "
                     "(index, type, IEEE address, version, model type, node name)")
      ->callback([&ctx] { Scan(ctx); });
}

}  // namespace zendra::cli
