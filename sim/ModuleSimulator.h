#pragma once
// zendra-modsim: a simulated Zendra radio module on a pseudo-terminal.
//
// It is the far end of the serial line: an AT command interpreter with echo, the
// identification queries, parameter registers described by a definition file,
// factory default and restart, the sleepy end device's wake-up, the "+++" escape,
// remote nodes reached with "AT+RC=", the bootloader menu with its XMODEM-CRC
// receiver, a damaged-firmware start in the bootloader, and fault injection.
// It paces its output (and the arrival of the host's bytes) at the baud rate the
// host set on the pseudo-terminal; a host at the wrong rate gets garbage only.
// It logs every line and image it received so tests can assert what was sent.
//
// This code is written on its own, from the module's side of the line; it shares
// nothing with the manager's protocol code.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace zendra::sim {

struct RemoteNode {
  std::string euiAddress;  // how AT+RC= addresses it
  std::string productName = "MA11";
  std::string version = "v1.10.0";
  std::string nodeName = "Remote";
  int nodeType = 2;
  std::string definitionsFile;  // registers; empty: the built-in default
  // Factory values that override the definitions' (command, value), e.g. {"ATS02", "15"}.
  std::vector<std::pair<std::string, std::string>> registerValues;
};

struct Faults {
  // XMODEM receiver
  int refuseBlock = 0;             // block ordinal (1-based) to refuse, 0: none
  int refuseTimes = 0;             // how many times it is refused
  std::uint8_t refuseWith = 0x15;  // NAK by default; 0x18 CAN or any other byte
  int silentAfterBlock = 0;        // stop answering after this block was ACKed (0: never)
  bool neverSendC = false;         // never send the 'C' start request
  bool noCompletionText = false;   // never print the completion text after EOT
  std::uint8_t eotAnswer = 0x06;   // the byte that answers EOT
  // AT interpreter
  bool silent = false;  // answers nothing at all
  // Commands (without "=value" and line end, any case) answered with ERROR.
  std::vector<std::string> errorCommands;
  // "2" starts the firmware without its greeting (the application says nothing).
  bool quietStart = false;
};

struct Options {
  std::string productName = "MA11";
  std::string euiAddress = "000D6F0000A1B2C3";
  std::string nodeName = "Zendra1";
  std::string version = "v1.10.0";
  int nodeType = 1;             // 4: sleepy end device
  int baudRate = 9600;          // the module's UART rate; 0: follows whatever the host sets
  bool damaged = false;         // starts in the bootloader menu; "2" shows the menu again
  bool dataMode = false;        // starts in transparent mode: AT commands only after "+++"
  std::string definitionsFile;  // registers; empty: the built-in default
  std::vector<RemoteNode> remotes;
  Faults faults;
  double timeScale = 1.0;   // scales the module's own pauses, not the line's pacing
  int sleepAfterMs = 1000;  // sleepy module: idle time before it falls asleep
  // Factory values that override the definitions' (command, value); `--set CMD=VALUE`.
  std::vector<std::pair<std::string, std::string>> registerValues;
  int restartMs = 100;    // ATZ: how long the module is deaf while it restarts
  // A module powers up with its echo on, also after ATZ and after its bootloader
  // runs the firmware; true keeps the echo as it was over a restart (older firmware).
  bool echoKeptOverRestart = false;
  int radioDelayMs = 20;  // AT+RC=: time for the command and its reply over the air
  std::string logFile;    // appends every received line (escaped) when not empty
};

class ModuleSimulator {
 public:
  explicit ModuleSimulator(Options options = {});
  ~ModuleSimulator();
  ModuleSimulator(const ModuleSimulator&) = delete;
  ModuleSimulator& operator=(const ModuleSimulator&) = delete;

  // Opens the pseudo-terminal and starts serving it. false on failure (see LastError).
  bool Start();
  void Stop();
  // The device path the host opens (the slave side, e.g. /dev/pts/7).
  std::string PortPath() const;

  // Every line received from the host (line end included), in order; bytes that
  // did not end in a line end yet are not included.
  std::vector<std::string> ReceivedLines() const;
  // Waits until a received line contains `text`; false after the timeout.
  bool WaitForLine(const std::string& text, std::chrono::milliseconds timeout) const;
  // Forgets the lines, missed lines, garbled count and images logged so far.
  void ClearLog();
  // Lines a sleeping or restarting module did not take (line end included).
  std::vector<std::string> MissedLines() const;
  // Bytes received while the host's line settings did not match the module's UART.
  std::size_t GarbledBytes() const;
  // Raw payloads of the images received by the bootloader, one per completed upload
  // (all blocks concatenated, padding included).
  std::vector<std::vector<std::uint8_t>> ReceivedImages() const;

  // Live state.
  std::string Version() const;
  bool InBootloader() const;
  // The module's UART rate now: 115200 in the bootloader, else Options::baudRate
  // (0: it follows the host).
  int LineRate() const;
  // A sleepy end device that would miss the next command.
  bool Asleep() const;
  // A register's value now, by its command (any case); empty when there is none.
  std::string Register(const std::string& command) const;  // e.g. "ATX"
  // Sets a value as it stands, without the checks a write from the line gets, and
  // creates the register when there is none. AT&f still returns to the factory value.
  void SetRegister(const std::string& command, const std::string& value);
  void SetFaults(const Faults& faults);
  // The same for a remote node, addressed by its EUI address; empty when unknown.
  std::string RemoteRegister(const std::string& euiAddress, const std::string& command) const;
  void SetRemoteRegister(const std::string& euiAddress, const std::string& command,
                         const std::string& value);
  // Why Start() failed.
  std::string LastError() const;

  // When the last byte went onto the line (steady clock), for latency measurements.
  std::chrono::steady_clock::time_point LastByteSentAt() const;

  // Sends raw bytes to the host as they stand (NUL bytes, garbage, half replies).
  void Inject(const std::string& bytes);
  // Closes the pseudo-terminal's master side: the port vanishes under the host.
  void Vanish();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zendra::sim
