#include "cli/CliContext.h"

#include <iostream>

#include "config/ProgramFolder.h"
#include "firmware/MenuBootloader.h"
#include "serial/LineSettingTables.h"
#include "serial/RemoteAddress.h"

namespace zendra::cli {

CliContext::CliContext() {
  UseForHandshake(connection, MenuBootloader::Standard());
  // Only the reload command has an image to reload a damaged firmware with; every
  // other command says so instead of offering it (see ConnectModule).
  Connection::Hooks hooks;
  hooks.offerReload = false;
  connection.SetHooks(hooks);
}

CliContext::~CliContext() {
  line.reset();
  connection.Disconnect();
  if (trace_) {
    // The port has closed: the log is complete once the tap is off the line.
    connection.SetLineTap(nullptr);
    if (!trace_->Close())
      std::cerr << "zendra-cli: the trace file " << options.trace << " could not be written whole"
                << std::endl;
  }
  StopSimulators();
}

bool CliContext::StartTrace(const std::string& path, std::string& error) {
  auto trace = std::make_unique<TraceFile>();
  if (!trace->Open(path, error)) return false;
  trace_ = std::move(trace);
  connection.SetLineTap(&trace_->Log());
  return true;
}

void CliContext::Fail(int code, const std::string& message) {
  std::cerr << "zendra-cli: " << message << std::endl;
  exitCode = code;
}

bool CliContext::CheckRemoteAddress(const std::string& address) {
  const RemoteAddressCheck check = zendra::CheckRemoteAddress(address);
  if (check == RemoteAddressCheck::kSendable) return true;
  op.ShowMessage(RemoteAddressMessage(check));
  exitCode = kExitUsage;
  return false;
}

std::optional<LineSettings> CliContext::Settings() {
  LineSettings s;
  s.baudRate = SelectedSetting(options.baud, kBaudRateTable);
  if (s.baudRate == 0) {
    Fail(kExitUsage, "--baud " + options.baud + ": not a baud rate of the list (1200 ... 921600)");
    return std::nullopt;
  }
  if (options.parity == "none") s.parity = 0;
  else if (options.parity == "even") s.parity = 2;
  else if (options.parity == "odd") s.parity = 1;
  s.dataBits = options.dataBits;
  s.stopBits = options.stopBits == 2 ? 2 : 0;
  if (options.flow == "none") s.flowControl = SerialPort::kFlowNone;
  else if (options.flow == "software") s.flowControl = SerialPort::kFlowSoftware;
  else if (options.flow == "hardware") s.flowControl = SerialPort::kFlowHardware;
  return s;
}

std::optional<std::string> CliContext::PortName() {
  if (options.simulate) {
    const std::vector<std::string> ports = SimulatedPorts();
    if (ports.empty()) return std::nullopt;
    return ports.front();
  }
  if (options.port.empty()) {
    Fail(kExitUsage, "no port given: use --port DEVICE (or --simulate)");
    return std::nullopt;
  }
  return options.port;
}

std::string CliContext::ReloadCommand(const std::string& image) const {
  // The bootloader talks at its own rate whatever the application's rate is, but the
  // reload's handshake finds it from any rate: the port is what must be the same.
  std::string command = "zendra-cli";
  if (options.simulate) {
    command += " --simulate";
  } else {
    command += " --port " + options.port;
  }
  return command + " reload " + image;
}

void CliContext::PrintOpenFailureDetail() {
  // A port that is missing needs no more words than its name; one that another
  // program holds, that the user may not use, or whose driver did not take the
  // line settings gets what to do about it (or what the driver kept).
  const auto error = connection.LastOpenError();
  if (error != SerialPort::OpenError::kBusy && error != SerialPort::OpenError::kPermission &&
      error != SerialPort::OpenError::kSettings)
    return;
  std::cerr << "zendra-cli: " << connection.OpenFailureDetail() << std::endl;
}

bool CliContext::OpenPort() {
  const auto name = PortName();
  const auto settings = Settings();
  if (!name || !settings) return false;
  if (!connection.OpenPort(*name, *settings)) {
    Fail(kExitUsage, "could not open serial port " + *name);
    PrintOpenFailureDetail();
    return false;
  }
  line = connection.TryLease("zendra-cli");
  return line.has_value();
}

bool CliContext::ConnectModule() {
  const auto name = PortName();
  const auto settings = Settings();
  if (!name || !settings) return false;
  line = connection.TryLease("zendra-cli");
  if (!line || !connection.Connect(*line, *name, *settings)) {
    // The handshake has shown its own message; a port that would not open is a
    // port error, a module that would not answer a failure.
    switch (connection.LastFailure()) {
      case Connection::Failure::kPortNotOpened:
        // The handshake's message came with the port's own reason.
        exitCode = kExitUsage;
        break;
      case Connection::Failure::kFirmwareDamaged:
        Fail(kExitFailed,
             "the module's firmware is damaged: it waits in its bootloader. Reload it with: " +
                 ReloadCommand("IMAGE"));
        break;
      default:
        exitCode = kExitFailed;
        break;
    }
    return false;
  }
  return true;
}

}  // namespace zendra::cli
