#pragma once
// Everything that describes the connection to the local module, and the
// connect/disconnect handshake that identifies it.
//
// The main window owns one Connection; pages, dialogs and workers reach the port,
// the AT transactions and the device information through it. The handshake wakes
// the module, switches its echo off, recognises a module that sits in its
// bootloader menu (and offers to reload a damaged firmware), learns whether it is
// a sleepy end device and reads its identification. Windows stay thin: they read
// their controls, call Connect/Disconnect and apply the result.

#include <functional>
#include <string>

#include "base/Operator.h"
#include "serial/AtLink.h"
#include "serial/SerialPort.h"

namespace zendra {

// The operator's line settings with the codes SerialPort::Open takes.
struct LineSettings {
  int baudRate = 9600;
  int parity = 0;       // 0 none, 1 odd, 2 even
  int stopBits = 0;     // 0 one, 2 two
  int dataBits = 8;     // 7 or 8
  int flowControl = 10; // 10 none, 11 XON/XOFF, 12 RTS/CTS
};

class Connection {
 public:
  explicit Connection(Operator& op);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // What the windows plug in.
  struct Hooks {
    // Runs the firmware reload (the reload dialog) for a module whose firmware is
    // damaged; returns when the operator has closed it.
    std::function<void()> reloadFirmware;
    // The Firmware Update page's clone-box rule: called by ShowDeviceInfo with
    // true when the local product is "MC21X".
    std::function<void(bool isMc21x)> applyModelRule;
    // Whether a damaged firmware can be reloaded from here at all. A caller that
    // has nothing to reload with (a command line command other than reload) does
    // not ask the question: the connect ends as kFirmwareDamaged.
    bool offerReload = true;
  };
  void SetHooks(Hooks hooks) { hooks_ = std::move(hooks); }

  enum class Failure {
    kNone,
    kPortNotOpened,
    kNoResponse,
    kReloadDeclined,
    kCheckBaudRate,
    kFirmwareDamaged,  // the module waits in its bootloader and no reload was offered
  };

  // Connect (the Open button while disconnected): opens the port with the given
  // settings and runs the handshake. true when connected; false when it ended
  // disconnected (its message, if any, has been shown).
  bool Connect(const std::string& portName, const LineSettings& settings);
  // Disconnect (the button while connected): closes the port, clears the device
  // information and leaves remote mode.
  void Disconnect();

  // -1: no answer, 0: the bootloader menu came back (firmware damaged), 1: go on.
  int ProbeBootloader();
  // A bootloader that waits for an upload asks for it with 'C' (NAK once the
  // upload has begun) once a second and prints nothing else.
  static bool WaitingForUpload(const std::string& received);
  // The four identification queries; a failed one leaves "ERROR" in its field.
  void ShowDeviceInfo();
  // Reboot button: wakes a sleepy module, then "ATZ".
  void Reboot();
  // productName + "_" + firmwareVersion + ".zmcon"
  std::string DefinitionFileName() const;
  void ClearDeviceInfo();

  bool IsOpen() const { return link.portOpen; }
  // Why the last Connect ended disconnected.
  Failure LastFailure() const { return lastFailure_; }
  Operator& Op() { return operator_; }

  // Reopens the port with the stored name and settings at `baudRate`.
  bool Reopen(int baudRate);

  SerialPort port;
  AtLink link;

  std::string portName;   // the text of the port box at the last Open press
  LineSettings settings;  // the stored line settings of the connection
  bool remoteMode = false;

  std::string productName;
  std::string euiAddress;
  std::string nodeName;
  std::string firmwareVersion;
  std::string nodeType;    // the answer to "AT+NODETYPE" at the last connect
  std::string imageModel;  // model code of the firmware image last examined

 private:
  bool OpenStored(int baudRate);
  void Fail(Failure why, const char* message);

  Operator& operator_;
  Hooks hooks_;
  Failure lastFailure_ = Failure::kNone;
};

}  // namespace zendra
