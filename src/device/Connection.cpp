#include "device/Connection.h"

#include "base/Clock.h"

namespace zendra {

namespace {
constexpr const char* kCouldNotOpen = "ERROR: Could not open serial port.";
constexpr const char* kNoResponse = "ERROR: The device does not respond.";
constexpr const char* kCheckBaudRate =
    "ERROR: The local device does not respond. Please check baud rate.";
constexpr const char* kReloadQuestion =
    "The local device's firmware was demaged. Do you want to reload?";
// What the operator can check when the module stays silent at Open.
constexpr const char* kSilentAdvice =
    "The module did not answer at this baud rate. Check that the baud rate is the module's "
    "(9600 unless it was changed) and that the module is powered and connected.";
}  // namespace

Connection::Connection(Operator& op) : operator_(op), link_(port_, op), gate_(port_, link_) {}

Connection::~Connection() { port_.Close(); }

DeviceInfo Connection::Device() const {
  std::lock_guard lock(mutex_);
  return device_;
}

void Connection::SetDevice(const DeviceInfo& device) {
  std::lock_guard lock(mutex_);
  device_ = device;
}

std::string Connection::PortName() const {
  std::lock_guard lock(mutex_);
  return portName_;
}

LineSettings Connection::Settings() const {
  std::lock_guard lock(mutex_);
  return settings_;
}

bool Connection::OpenStored(int baudRate) {
  const LineSettings s = Settings();
  return port_.Open(PortName(), baudRate, s.parity, s.dataBits, s.stopBits, s.flowControl);
}

bool Connection::Reopen(LineLease& line, int baudRate) {
  port_.Close();
  line.Sleep(100);
  return OpenStored(baudRate);
}

bool Connection::OpenPort(const std::string& portName, const LineSettings& settings) {
  {
    std::lock_guard lock(mutex_);
    portName_ = portName;
    settings_ = settings;
  }
  if (!OpenStored(settings.baudRate)) return false;
  link_.portOpen = true;
  return true;
}

void Connection::Fail(LineLease& line, Failure why, const char* message) {
  // A caller that is going away wants no box, only the port closed.
  if (line.Stopped()) why = Failure::kStopped;
  lastFailure_ = why;
  if (message && why != Failure::kStopped) {
    switch (why) {
      case Failure::kPortNotOpened:
        operator_.ShowDetailedMessage(message, port_.OpenFailureDetail());
        break;
      case Failure::kNoResponse:
      case Failure::kCheckBaudRate:
        operator_.ShowDetailedMessage(message, kSilentAdvice);
        break;
      default:
        operator_.ShowMessage(message);
        break;
    }
  }
  port_.Close();
  link_.portOpen = false;
}

bool Connection::Connect(const std::string& portName, const LineSettings& settings) {
  auto line = TryLease("connect");
  if (!line) {
    lastFailure_ = Failure::kLineBusy;
    return false;
  }
  return Connect(*line, portName, settings);
}

bool Connection::Connect(LineLease& line, const std::string& name,
                         const LineSettings& lineSettings) {
  WaitCursor wait(operator_);
  {
    std::lock_guard lock(mutex_);
    portName_ = name;
    settings_ = lineSettings;
  }
  lastFailure_ = Failure::kNone;

  if (!OpenStored(lineSettings.baudRate)) {
    Fail(line, Failure::kPortNotOpened, kCouldNotOpen);
    return false;
  }
  link_.portOpen = true;
  port_.Write("\r\n");
  line.Sleep(100);

  // A port that goes away ends the handshake at once: no later step can answer,
  // and the module's silence is not a wrong baud rate.
  const auto lost = [&] {
    if (!link_.LineLost()) return false;
    Fail(line, Failure::kLineLost, AtLink::kLineLostMessage);
    return true;
  };
  link_.SendAtCommand("ATE0\r\n", 1);
  bool answered = !lost() && link_.SendAtCommand("ATR1\r\n", 3);
  if (lost()) return false;
  if (!answered && !line.Stopped()) {
    // The module may be in transparent mode: escape to command mode and ask again.
    link_.SendAtCommand("+++", 2);
    link_.SendAtCommand("ATE0\r\n", 1);
    answered = link_.SendAtCommand("ATR1\r\n", 1);
    if (answered) line.Sleep(1);
  }
  if (lost()) return false;
  if (line.Stopped()) {
    Fail(line, Failure::kStopped, nullptr);
    return false;
  }
  if (!answered) {
    const Probe probe = probe_ ? probe_(line) : Probe::kNoAnswer;
    if (lost()) return false;
    switch (probe) {
      case Probe::kNoAnswer:
        Fail(line, Failure::kNoResponse, kNoResponse);
        return false;
      case Probe::kDamaged:
        if (!hooks_.offerReload) {
          Fail(line, Failure::kFirmwareDamaged, nullptr);
          return false;
        }
        if (line.Stopped() || !operator_.AskYesNo(kReloadQuestion)) {
          Fail(line, Failure::kReloadDeclined, nullptr);
          return false;
        }
        if (hooks_.reloadFirmware) hooks_.reloadFirmware(line);
        if (!Reopen(line, lineSettings.baudRate)) {
          Fail(line, Failure::kPortNotOpened, kCouldNotOpen);
          return false;
        }
        break;
      case Probe::kGoOn:
        break;
    }
  }

  line.Sleep(200);
  port_.Write("\r\n");
  line.Sleep(200);
  if (!link_.SendAtCommand("ATE0\r\n", 2)) {
    if (lost()) return false;
    Fail(line, Failure::kCheckBaudRate, kCheckBaudRate);
    return false;
  }
  const std::string nodeType = link_.QueryAtCommand("AT+NODETYPE\r\n", 1);
  link_.sleepy = nodeType == "4";
  {
    std::lock_guard lock(mutex_);
    device_.nodeType = nodeType;
    device_.sleepy = link_.sleepy;
  }
  if (lost()) return false;
  ShowDeviceInfo(line);
  if (line.Stopped()) {
    Fail(line, Failure::kStopped, nullptr);
    return false;
  }
  return !lost();
}

void Connection::Disconnect() {
  WaitCursor wait(operator_);
  port_.Close();
  link_.portOpen = false;
  remoteMode_ = false;
  ClearDeviceInfo();
}

void Connection::ShowDeviceInfo(LineLease& /*line*/) {
  DeviceInfo device = Device();
  device.productName = link_.QueryAtCommand("AT+PRODUCTNAME\r\n", 1);
  device.euiAddress = link_.QueryAtCommand("AT+LONGADDR\r\n", 1);
  device.nodeName = link_.QueryAtCommand("AT+NODENAME\r\n", 1);
  device.firmwareVersion = link_.QueryAtCommand("AT+VERSION\r\n", 1);
  SetDevice(device);
  if (hooks_.applyModelRule) hooks_.applyModelRule(device.productName == "MC21X");
}

void Connection::Reboot(LineLease& /*line*/) {
  link_.WakeUpIfSleepy();
  link_.SendAtCommand("ATZ\r\n", 3);
}

void Connection::ClearDeviceInfo() {
  // The sleepy mark keeps its value until the next connect has asked the node type.
  std::lock_guard lock(mutex_);
  const bool sleepy = device_.sleepy;
  device_ = {};
  device_.sleepy = sleepy;
}

}  // namespace zendra
