// detect: on which port, at which rate, a module answers, and what it is.

#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/CliContext.h"
#include "serial/PortDetect.h"
#include "serial/PortList.h"

namespace zendra::cli {

namespace {

// The ports named (detect's --port, the global --port, the simulated module's),
// or every port of this computer when none is.
std::vector<std::string> PortsToTry(CliContext& ctx, const std::vector<std::string>& named) {
  std::vector<std::string> ports = named;
  if (!ctx.options.port.empty() && !ctx.options.simulate) ports.push_back(ctx.options.port);
  if (ctx.options.simulate) {
    if (auto simulated = ctx.PortName()) ports.push_back(*simulated);
  }
  if (!ports.empty()) return ports;
  PortList list;
  list.EnumeratePorts();
  for (const auto& entry : list.Entries()) ports.push_back(entry.name);
  return ports;
}

std::string Line(const DetectedPort& found) {
  std::string line = found.port + "  ";
  switch (found.state) {
    case DetectedPort::State::kModule:
      return line + std::to_string(found.baudRate) + "  " + found.productName + "  " +
             found.firmwareVersion;
    case DetectedPort::State::kBootloader:
      return line + std::to_string(found.baudRate) + "  bootloader";
    case DetectedPort::State::kBusy:
      return line + "busy: " + found.detail;
    case DetectedPort::State::kNotOpened:
      return line + "not opened: " + found.detail;
    case DetectedPort::State::kNoAnswer:
      break;
  }
  return line + "no answer";
}

void Detect(CliContext& ctx, const std::vector<std::string>& named) {
  const std::vector<std::string> ports = PortsToTry(ctx, named);
  if (ctx.exitCode != kExitOk) return;  // the simulated module did not start
  const auto started = std::chrono::steady_clock::now();
  const std::vector<DetectedPort> results = PortDetect().Run(ports);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

  bool found = false;
  for (const auto& result : results) found = found || result.Found();
  if (ctx.options.json) {
    auto items = nlohmann::ordered_json::array();
    for (const auto& result : results) {
      nlohmann::ordered_json item;
      item["port"] = result.port;
      item["state"] = PortDetect::StateName(result.state);
      item["baudRate"] = result.baudRate;
      item["productName"] = result.productName;
      item["firmwareVersion"] = result.firmwareVersion;
      item["detail"] = result.detail;
      item["ms"] = result.took.count();
      items.push_back(item);
    }
    std::cout << Dump(items) << std::endl;
  } else {
    for (const auto& result : results) std::cout << Line(result) << "\n";
    std::cout << std::flush;
  }
  char summary[96];
  std::snprintf(summary, sizeof summary, "%zu port%s tried in %.2f s", results.size(),
                results.size() == 1 ? "" : "s", seconds);
  std::cerr << "zendra-cli: " << summary << (found ? "" : "; no module answered") << std::endl;
  ctx.exitCode = found ? kExitOk : kExitFailed;
}

}  // namespace

void RegisterDetectCommands(CLI::App& app, CliContext& ctx) {
  auto* detect = app.add_subcommand(
      "detect",
      "Find the port and baud rate a module answers at (every port, or those given with "
      "--port), and its product and firmware version");
  auto ports = std::make_shared<std::vector<std::string>>();
  detect->add_option("--port", *ports, "A port to try (repeatable); without it every port found")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  detect->callback([&ctx, ports] { Detect(ctx, *ports); });
}

}  // namespace zendra::cli
