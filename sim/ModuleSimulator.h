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
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zendra::sim {

struct RemoteNode {
  std::string euiAddress;        // how AT+RC= addresses it
  std::string productName = "MA11";
  std::string version = "v1.10.0";
  std::string nodeName = "Remote";
  int nodeType = 2;
  std::string definitionsFile;   // registers; empty: the built-in default
};

struct Faults {
  // XMODEM receiver
  int refuseBlock = 0;           // block ordinal (1-based) to refuse, 0: none
  int refuseTimes = 0;           // how many times it is refused
  std::uint8_t refuseWith = 0x15;  // NAK by default; 0x18 CAN or any other byte
  int silentAfterBlock = 0;      // stop answering after this block was ACKed (0: never)
  bool neverSendC = false;       // never send the 'C' start request
  bool noCompletionText = false; // never print the completion text after EOT
  std::uint8_t eotAnswer = 0x06; // the byte that answers EOT
  // AT interpreter
  bool silent = false;           // answers nothing at all
};

struct Options {
  std::string productName = "MA11";
  std::string euiAddress = "000D6F0000A1B2C3";
  std::string nodeName = "Zendra1";
  std::string version = "v1.10.0";
  int nodeType = 1;              // 4: sleepy end device
  int baudRate = 9600;           // the module's UART rate; 0: follows whatever the host sets
  bool damaged = false;          // starts in the bootloader menu; "2" shows the menu again
  bool dataMode = false;         // starts in transparent mode: AT commands only after "+++"
  std::string definitionsFile;   // registers; empty: the built-in default
  std::vector<RemoteNode> remotes;
  Faults faults;
  double timeScale = 1.0;        // scales the module's own pauses, not the line's pacing
  int sleepAfterMs = 1000;       // sleepy module: idle time before it falls asleep
};

class ModuleSimulator {
 public:
  explicit ModuleSimulator(Options options = {});
  ~ModuleSimulator();
  ModuleSimulator(const ModuleSimulator&) = delete;
  ModuleSimulator& operator=(const ModuleSimulator&) = delete;

  // Opens the pseudo-terminal and starts serving it. false on failure.
  bool Start();
  void Stop();
  // The device path the host opens (the slave side, e.g. /dev/pts/7).
  std::string PortPath() const;

  // Every line received from the host (line end included), in order; bytes that
  // did not end in a line end yet are not included.
  std::vector<std::string> ReceivedLines() const;
  // Waits until a received line contains `text`; false after the timeout.
  bool WaitForLine(const std::string& text, std::chrono::milliseconds timeout) const;
  void ClearLog();
  // Raw payloads of the images received by the bootloader, one per completed upload
  // (all blocks concatenated, padding included).
  std::vector<std::vector<std::uint8_t>> ReceivedImages() const;

  // Live state.
  std::string Version() const;
  bool InBootloader() const;
  std::string Register(const std::string& command) const;            // e.g. "ATX"
  void SetRegister(const std::string& command, const std::string& value);
  void SetFaults(const Faults& faults);

  // Sends raw bytes to the host as they stand (NUL bytes, garbage, half replies).
  void Inject(const std::string& bytes);
  // Closes the pseudo-terminal's master side: the port vanishes under the host.
  void Vanish();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zendra::sim
