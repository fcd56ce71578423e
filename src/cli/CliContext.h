#pragma once
// What every zendra-cli command shares: the global options, the terminal operator
// and the connection to the module.
//
// Exit status of every command: 0 success, 1 the module answered "ERROR" or did not
// answer in time (or the operation failed on the module's side), 2 a usage error or
// a port that cannot be opened (with a one-line message on stderr).

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/TerminalOperator.h"
#include "cli/TraceFile.h"
#include "device/Connection.h"

namespace zendra::sim {
class ModuleSimulator;
}

namespace zendra::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

struct GlobalOptions {
  std::string port;
  std::string baud = "9600";
  bool baudGiven = false;  // --baud was on the command line
  std::string parity = "none";
  int dataBits = 8;
  int stopBits = 1;
  std::string flow = "none";
  int timeout = 1;        // seconds, for commands that send one line
  bool json = false;
  bool yes = false;
  bool no = false;
  bool simulate = false;  // serve the command from an in-process simulated module
  std::string simulateArgs;  // that module's options, as zendra-modsim takes them
  std::optional<std::string> updateServer;  // --update-server: the update server's address
  std::string trace;  // --trace FILE: the traffic log of the line goes there
};

class CliContext {
 public:
  CliContext();
  ~CliContext();

  GlobalOptions options;
  TerminalOperator op;
  Connection connection{op};
  // The line, for the length of the command once the port is open: one command
  // is one activity.
  std::optional<LineLease> line;
  int exitCode = kExitOk;

  // Starts the traffic log of --trace FILE on the connection's line. false with
  // the reason in `error` when the file cannot be made.
  bool StartTrace(const std::string& path, std::string& error);

  // The line settings from the options; nullopt (after a message) when one is invalid.
  std::optional<LineSettings> Settings();
  // The port to open: --port, or the simulated module's port with --simulate.
  std::optional<std::string> PortName();
  // Every simulated module's port, module 1 first (--simulate="--count N" starts
  // N); empty after a message when they could not be started.
  std::vector<std::string> SimulatedPorts();

  // Opens the port only (no handshake) and marks the connection open, for
  // commands that talk to whatever answers. false after a message (exit 2).
  bool OpenPort();
  // Opens the port and runs the connect handshake. false after its message.
  bool ConnectModule();
  // The line of this command (after OpenPort or ConnectModule).
  LineLease& Line() { return *line; }

  // "zendra-cli [the port options of this run] reload IMAGE": what to type to
  // reload the firmware of the module on this port.
  std::string ReloadCommand(const std::string& image) const;

  // Prints a one-line error on stderr and sets the exit status.
  void Fail(int code, const std::string& message);
  // An address given with --remote, by the rule of every remote command line
  // (RemoteAddress.h): false after its message (exit 2). Checked before the port
  // is opened, so that nothing is sent.
  bool CheckRemoteAddress(const std::string& address);
  // After a port that would not open: a second line when there is something to
  // do about it (another program holds it, the user may not use serial ports).
  void PrintOpenFailureDetail();

 private:
  // Starts the simulated modules of --simulate once; false after a message.
  bool StartSimulators();
  void StopSimulators();

  // Shared, not unique: this header and CliContext.cpp never need the simulator
  // whole, and a build without the simulator (Windows) has none.
  std::vector<std::shared_ptr<sim::ModuleSimulator>> simulators_;
  std::unique_ptr<TraceFile> trace_;
};

// The --json output of a command: one line. Texts from the module or a file that
// are not UTF-8 are shown with the replacement character rather than refused.
inline std::string Dump(const nlohmann::ordered_json& value) {
  return value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

// Each command file registers its subcommands here.
void RegisterBasicCommands(CLI::App& app, CliContext& ctx);   // ports, at, info
void RegisterConfigCommands(CLI::App& app, CliContext& ctx);  // params, get, set, factory-default, reboot
void RegisterFirmwareCommands(CLI::App& app, CliContext& ctx);  // update, clone, reload
void RegisterTransferCommands(CLI::App& app, CliContext& ctx);  // export, import, dump, diff
void RegisterScanCommands(CLI::App& app, CliContext& ctx);      // scan
void RegisterWebUpdateCommands(CLI::App& app, CliContext& ctx);  // download-definitions, check-firmware
void RegisterDetectCommands(CLI::App& app, CliContext& ctx);     // detect
#ifdef ZENDRA_PRODUCTION
void RegisterProvisionCommands(CLI::App& app, CliContext& ctx);  // provision, records
#endif

}  // namespace zendra::cli
