#include "app/Connection.h"

#include <cstdint>

#include "base/Clock.h"

namespace zendra {

namespace {
constexpr int kBootloaderBaud = 115200;
constexpr const char* kCouldNotOpen = "ERROR: Could not open serial port.";
constexpr const char* kNoResponse = "ERROR: The device does not respond.";
constexpr const char* kCheckBaudRate =
    "ERROR: The local device does not respond. Please check baud rate.";
constexpr const char* kReloadQuestion =
    "The local device's firmware was demaged. Do you want to reload?";

bool Holds(const std::string& text, const char* what) { return text.find(what) != std::string::npos; }
}  // namespace

Connection::Connection(Operator& op) : link(port, op), operator_(op) {}

Connection::~Connection() { port.Close(); }

bool Connection::OpenStored(int baudRate) {
  return port.Open(portName, baudRate, settings.parity, settings.dataBits, settings.stopBits,
                   settings.flowControl);
}

bool Connection::Reopen(int baudRate) {
  port.Close();
  Clock::Sleep(100);
  return OpenStored(baudRate);
}

void Connection::Fail(Failure why, const char* message) {
  lastFailure_ = why;
  if (message) operator_.ShowMessage(message);
  port.Close();
  link.portOpen = false;
}

bool Connection::Connect(const std::string& name, const LineSettings& lineSettings) {
  WaitCursor wait(operator_);
  portName = name;
  settings = lineSettings;
  lastFailure_ = Failure::kNone;

  if (!OpenStored(settings.baudRate)) {
    Fail(Failure::kPortNotOpened, kCouldNotOpen);
    return false;
  }
  link.portOpen = true;
  port.Write("\r\n");
  Clock::Sleep(100);

  link.SendAtCommand("ATE0\r\n", 1);
  bool answered = link.SendAtCommand("ATR1\r\n", 3);
  if (!answered) {
    // The module may be in transparent mode: escape to command mode and ask again.
    link.SendAtCommand("+++", 2);
    link.SendAtCommand("ATE0\r\n", 1);
    answered = link.SendAtCommand("ATR1\r\n", 1);
    if (answered) Clock::Sleep(1);
  }
  if (!answered) {
    switch (ProbeBootloader()) {
      case -1:
        Fail(Failure::kNoResponse, kNoResponse);
        return false;
      case 0:
        if (!hooks_.offerReload) {
          Fail(Failure::kFirmwareDamaged, nullptr);
          return false;
        }
        if (!operator_.AskYesNo(kReloadQuestion)) {
          Fail(Failure::kReloadDeclined, nullptr);
          return false;
        }
        if (hooks_.reloadFirmware) hooks_.reloadFirmware();
        if (!Reopen(settings.baudRate)) {
          Fail(Failure::kPortNotOpened, kCouldNotOpen);
          return false;
        }
        break;
      default:
        break;
    }
  }

  Clock::Sleep(200);
  port.Write("\r\n");
  Clock::Sleep(200);
  if (!link.SendAtCommand("ATE0\r\n", 2)) {
    Fail(Failure::kCheckBaudRate, kCheckBaudRate);
    return false;
  }
  nodeType = link.QueryAtCommand("AT+NODETYPE\r\n", 1);
  link.sleepy = nodeType == "4";
  ShowDeviceInfo();
  return true;
}

void Connection::Disconnect() {
  WaitCursor wait(operator_);
  port.Close();
  link.portOpen = false;
  remoteMode = false;
  ClearDeviceInfo();
}

int Connection::ProbeBootloader() {
  link.reply.clear();
  port.Receive().Reset();
  if (settings.baudRate != kBootloaderBaud) {
    // The bootloader talks at 115200 whatever the application's rate is.
    port.Close();
    Clock::Sleep(100);
    OpenStored(kBootloaderBaud);
    Clock::Sleep(100);
  }
  port.Write("\x03");
  Clock::Sleep(200);
  port.Write("\n");

  if (!link.CollectReplyUntil(
          [](const std::string& r) { return Holds(r, "BL") || WaitingForUpload(r); }, 30))
    return -1;
  if (!Holds(link.reply, "BL")) {
    // The bootloader waits for an upload (our own "ATR1" reached its menu, whose
    // "1" starts one, or a transfer was broken off) and hears nothing but blocks.
    // Cancel the upload: it shows its menu again, and the probe goes on from there.
    static constexpr std::uint8_t kCan = 0x18;
    for (int i = 0; i < 3; ++i) port.Write(&kCan, 1);
    Clock::Sleep(100);
    link.reply.clear();
    port.Write("\n");
    if (!link.CollectReplyUntil([](const std::string& r) { return Holds(r, "BL"); }, 30))
      return -1;
  }

  // The menu is there: choose "2" (run the firmware) and see whether the
  // application answers or the menu comes back. The bootloader prints its menu
  // for the ETX and again for the "\n"; the second one may still be on its way, so
  // the ring is emptied after the pause, not before it: a stale "BL" must not be
  // taken for the menu coming back after "2".
  link.reply.clear();
  Clock::Sleep(100);
  port.Receive().Reset();
  port.Write("2");
  Clock::Sleep(3000);
  port.Write("\n");
  if (link.CollectReplyUntil([](const std::string& r) { return Holds(r, "OK") || Holds(r, "BL"); },
                             30)) {
    return Holds(link.reply, "OK") ? 1 : 0;
  }
  // Silence after "2": carry on with the operator's own settings.
  Reopen(settings.baudRate);
  Clock::Sleep(100);
  return 1;
}

bool Connection::WaitingForUpload(const std::string& received) {
  if (received.find('C') == std::string::npos) return false;
  return received.find_first_not_of("C\x15") == std::string::npos;
}

void Connection::ShowDeviceInfo() {
  productName = link.QueryAtCommand("AT+PRODUCTNAME\r\n", 1);
  euiAddress = link.QueryAtCommand("AT+LONGADDR\r\n", 1);
  nodeName = link.QueryAtCommand("AT+NODENAME\r\n", 1);
  firmwareVersion = link.QueryAtCommand("AT+VERSION\r\n", 1);
  if (hooks_.applyModelRule) hooks_.applyModelRule(productName == "MC21X");
}

void Connection::Reboot() {
  link.WakeUpIfSleepy();
  link.SendAtCommand("ATZ\r\n", 3);
}

std::string Connection::DefinitionFileName() const {
  return productName + "_" + firmwareVersion + ".zmcon";
}

void Connection::ClearDeviceInfo() {
  productName.clear();
  euiAddress.clear();
  nodeName.clear();
  firmwareVersion.clear();
  nodeType.clear();
}

}  // namespace zendra
