// zendra-modsim: serves a simulated Zendra module on a pseudo-terminal until
// SIGINT or SIGTERM. The first line on stdout is the port path the host opens.

#include <signal.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "ModuleSimulator.h"

namespace {

using zendra::sim::ModuleSimulator;
using zendra::sim::Options;
using zendra::sim::RemoteNode;

std::vector<std::string> SplitCommas(const std::string& text) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  std::string part;
  while (std::getline(in, part, ',')) parts.push_back(part);
  if (!text.empty() && text.back() == ',') parts.emplace_back();
  return parts;
}

// EUI[,PRODUCT[,VERSION[,NODENAME[,TYPE[,DEFINITIONS]]]]]
RemoteNode ParseRemote(const std::string& text) {
  auto parts = SplitCommas(text);
  RemoteNode node;
  if (parts.empty() || parts[0].empty())
    throw CLI::ValidationError("--remote", "needs an EUI address");
  node.euiAddress = parts[0];
  if (parts.size() > 1 && !parts[1].empty()) node.productName = parts[1];
  if (parts.size() > 2 && !parts[2].empty()) node.version = parts[2];
  if (parts.size() > 3 && !parts[3].empty()) node.nodeName = parts[3];
  if (parts.size() > 4 && !parts[4].empty()) {
    try {
      node.nodeType = std::stoi(parts[4]);
    } catch (const std::exception&) {
      throw CLI::ValidationError("--remote", "node type must be a number: " + parts[4]);
    }
  }
  if (parts.size() > 5) node.definitionsFile = parts[5];
  return node;
}

// "0x18", "24", "NAK", "CAN", "ACK"
std::uint8_t ParseByte(const std::string& option, const std::string& text) {
  if (text == "ACK") return 0x06;
  if (text == "NAK") return 0x15;
  if (text == "CAN") return 0x18;
  char* end = nullptr;
  long value = std::strtol(text.c_str(), &end, 0);
  if (text.empty() || *end != '\0' || value < 0 || value > 255) {
    throw CLI::ValidationError(option, "not a byte: " + text);
  }
  return static_cast<std::uint8_t>(value);
}

// The definition file of this product and version next to the program, as the
// build and the installer put the sample files there; empty when there is none.
std::string DefinitionsBesideProgram(const std::string& product, const std::string& version) {
  std::error_code error;
  auto program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return {};
  auto path = program.parent_path() / (product + "_" + version + ".zmcon");
  return std::filesystem::is_regular_file(path, error) ? path.string() : std::string();
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Simulated Zendra radio module on a pseudo-terminal"};
  Options options;
  std::string baud = "9600";
  std::vector<std::string> remotes;
  std::vector<std::string> sets;
  std::string refuseWith = "NAK";
  std::string eotAnswer = "ACK";

  app.add_option("--product", options.productName, "Product name (model code)")
      ->capture_default_str();
  app.add_option("--version", options.version, "Firmware version")->capture_default_str();
  app.add_option("--eui", options.euiAddress, "EUI (IEEE) address")->capture_default_str();
  app.add_option("--node-name", options.nodeName, "Node name")->capture_default_str();
  app.add_option("--node-type", options.nodeType,
                 "1 coordinator, 2 router, 3 end device, 4 sleepy end device")
      ->capture_default_str();
  app.add_option("--baud", baud, "The module's UART rate, or 'auto' to follow the host")
      ->capture_default_str();
  app.add_flag("--damaged", options.damaged, "Damaged firmware: start in the bootloader menu");
  app.add_flag("--data-mode", options.dataMode,
               "Start in transparent mode: AT commands only after +++");
  bool builtIn = false;
  app.add_option(
      "--definitions", options.definitionsFile,
      "Definition file (.zmcon) of the registers; default: PRODUCT_VERSION.zmcon next to this "
      "program, else a built-in set");
  app.add_flag("--builtin-definitions", builtIn,
               "Use the built-in registers even when a file is next to the program");
  app.add_option("--remote", remotes,
                 "Remote node EUI[,PRODUCT[,VERSION[,NODENAME[,TYPE[,DEFINITIONS]]]]]")
      ->take_all();
  app.add_option("--set", sets, "Factory value of a register, CMD=VALUE")->take_all();
  app.add_option("--time-scale", options.timeScale,
                 "Scale of the module's own pauses (not the line's pace)")
      ->capture_default_str();
  app.add_option("--sleep-after", options.sleepAfterMs,
                 "Sleepy end device: idle ms before it sleeps")
      ->capture_default_str();
  app.add_option("--restart-ms", options.restartMs, "ATZ: ms the module is deaf while it restarts")
      ->capture_default_str();
  app.add_option("--radio-delay", options.radioDelayMs, "AT+RC=: ms until the remote's reply")
      ->capture_default_str();
  app.add_option("--refuse-block", options.faults.refuseBlock, "Refuse this block (1-based)");
  app.add_option("--refuse-times", options.faults.refuseTimes, "How often the block is refused");
  app.add_option("--refuse-with", refuseWith, "Byte that refuses it: NAK, CAN or a number")
      ->capture_default_str();
  app.add_option("--silent-after-block", options.faults.silentAfterBlock,
                 "Answer nothing after this block");
  app.add_flag("--never-send-c", options.faults.neverSendC, "Never send the 'C' start request");
  app.add_flag("--no-completion-text", options.faults.noCompletionText,
               "Never print the completion text");
  app.add_option("--eot-answer", eotAnswer, "Byte that answers EOT: ACK, NAK, CAN or a number")
      ->capture_default_str();
  app.add_flag("--silent", options.faults.silent, "The AT interpreter answers nothing");
  app.add_option("--log", options.logFile, "Append every received line to this file");

  try {
    app.parse(argc, argv);
    if (baud == "auto") {
      options.baudRate = 0;
    } else {
      try {
        options.baudRate = std::stoi(baud);
      } catch (const std::exception&) {
        throw CLI::ValidationError("--baud", "a rate or 'auto': " + baud);
      }
    }
    options.faults.refuseWith = ParseByte("--refuse-with", refuseWith);
    options.faults.eotAnswer = ParseByte("--eot-answer", eotAnswer);
    if (options.definitionsFile.empty() && !builtIn) {
      options.definitionsFile = DefinitionsBesideProgram(options.productName, options.version);
    }
    for (const auto& text : remotes) {
      RemoteNode remote = ParseRemote(text);
      if (remote.definitionsFile.empty() && !builtIn) {
        remote.definitionsFile = DefinitionsBesideProgram(remote.productName, remote.version);
      }
      options.remotes.push_back(remote);
    }
    for (const auto& set : sets) {
      auto eq = set.find('=');
      if (eq == std::string::npos || eq == 0)
        throw CLI::ValidationError("--set", "CMD=VALUE expected: " + set);
      options.registerValues.emplace_back(set.substr(0, eq), set.substr(eq + 1));
    }
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  }

  // The simulator's threads inherit this mask, so the signals reach sigwait below.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  ModuleSimulator module(options);
  if (!module.Start()) {
    std::cerr << "zendra-modsim: " << module.LastError() << "\n";
    return 1;
  }
  std::cout << module.PortPath() << std::endl;

  int received = 0;
  sigwait(&signals, &received);
  module.Stop();
  return 0;
}
