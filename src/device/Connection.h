#pragma once
// The connection to the local module: the serial line, the connect/disconnect
// handshake that identifies the module, and what it learned (DeviceInfo).
//
// The handshake wakes the module, switches its echo off, recognises (through the
// bootloader probe it is given) a module that sits in its bootloader (and offers
// to reload a damaged firmware), learns
// whether it is a sleepy end device and reads its identification.
//
// The line is used through a LineLease (see LineLease.h): every conversation with
// the module — the handshake's included — holds one, so two activities never
// poll the receive ring at once. The connection's state is its own; callers read
// what they need through the functions below.

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>

#include "base/Operator.h"
#include "device/DeviceInfo.h"
#include "device/LineLease.h"
#include "device/LineSettings.h"
#include "serial/AtLink.h"
#include "serial/SerialPort.h"

namespace zendra {

class Connection {
 public:
  explicit Connection(Operator& op);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // What the windows plug in.
  struct Hooks {
    // Runs the firmware reload (the reload dialog) for a module whose firmware is
    // damaged, on the handshake's lease of the line; returns when the operator has
    // closed it.
    std::function<void(LineLease& line)> reloadFirmware;
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
    kLineBusy,         // another activity holds the line
    kStopped,          // the caller was asked to stop
    kLineLost,         // the port went away during the handshake
  };

  // The right to use the line; nothing while another activity holds it.
  std::optional<LineLease> TryLease(std::string holder, std::stop_token stop = {}) {
    return gate_.TryLease(std::move(holder), std::move(stop));
  }
  LineGate& Gate() { return gate_; }
  // Everything that crosses the line goes to `tap` as well (the traffic log);
  // nullptr detaches it, waiting until no call to it is under way.
  void SetLineTap(LineTap* tap) { port_.SetTap(tap); }

  // Connect (the Open button while disconnected): opens the port with the given
  // settings and runs the handshake on `line`. true when connected; false when it
  // ended disconnected (its message, if any, has been shown).
  bool Connect(LineLease& line, const std::string& portName, const LineSettings& settings);
  // The same with a lease of its own (kLineBusy when the line is held).
  bool Connect(const std::string& portName, const LineSettings& settings);
  // Disconnect (the button while connected): closes the port, clears the device
  // information and leaves remote mode. The caller holds the line or knows that
  // no activity does.
  void Disconnect();
  // Opens the port only and marks the connection open, without the handshake
  // (the command line's "at", tests). false after nothing was shown.
  bool OpenPort(const std::string& portName, const LineSettings& settings);

  // What the bootloader probe found.
  enum class Probe {
    kNoAnswer,  // no bootloader menu either
    kDamaged,   // the menu came back after "2": the firmware does not run
    kGoOn,      // the firmware answered (or stayed silent): connect as usual
  };
  // The handshake's probe of the module's bootloader, asked when the application
  // does not answer. The connection knows no bootloader: whoever builds it gives
  // the probe (the firmware layer's Bootloader, UseForHandshake). Without one a
  // silent module is a module that does not answer. Set before the first Connect.
  using BootloaderProbe = std::function<Probe(LineLease& line)>;
  void SetBootloaderProbe(BootloaderProbe probe) { probe_ = std::move(probe); }
  // The four identification queries; a failed one leaves "ERROR" in its field.
  void ShowDeviceInfo(LineLease& line);
  // Reboot button: wakes a sleepy module, then "ATZ".
  void Reboot(LineLease& line);
  // Reopens the port with the stored name and settings at `baudRate`.
  bool Reopen(LineLease& line, int baudRate);

  bool IsOpen() const { return link_.portOpen; }
  // A copy: the handshake and a firmware worker write it from their threads.
  DeviceInfo Device() const;
  // What the handshake would have found (a module known otherwise: tests).
  void SetDevice(const DeviceInfo& device);
  // productName + "_" + firmwareVersion + ".zmcon"
  std::string DefinitionFileName() const { return Device().DefinitionFileName(); }
  void ClearDeviceInfo();

  // The port box's text and the line settings of the last Open press.
  std::string PortName() const;
  LineSettings Settings() const;

  // While the Configuration page works on a remote module (set by the remote
  // configuration, cleared on Disconnect).
  bool RemoteMode() const { return remoteMode_; }
  void SetRemoteMode(bool remote) { remoteMode_ = remote; }

  // Why the last Connect ended disconnected, and what the port said if it would
  // not open (SerialPort::OpenFailureDetail).
  Failure LastFailure() const { return lastFailure_; }
  std::string OpenFailureDetail() const { return port_.OpenFailureDetail(); }
  SerialPort::OpenError LastOpenError() const { return port_.LastOpenError(); }
  Operator& Op() { return operator_; }

 private:
  bool OpenStored(int baudRate);
  void Fail(LineLease& line, Failure why, const char* message);

  Operator& operator_;
  SerialPort port_;
  AtLink link_;
  LineGate gate_;
  Hooks hooks_;
  BootloaderProbe probe_;
  std::atomic<Failure> lastFailure_{Failure::kNone};
  std::atomic<bool> remoteMode_{false};

  mutable std::mutex mutex_;  // guards the texts below
  std::string portName_;
  LineSettings settings_;
  DeviceInfo device_;
};

}  // namespace zendra
