#pragma once
// zendra-modsim: a simulated Zendra radio module on a pseudo-terminal.
//
// It is the far end of the serial line: an AT command interpreter with echo, the
// identification queries, parameter registers described by a definition file,
// factory default and restart, the sleepy end device's wake-up, the "+++" escape,
// remote nodes reached with "AT+RC=", the network scan, the bootloader menu with
// its XMODEM-CRC receiver, uploads relayed to a remote node's bootloader and
// clones of its own firmware, a damaged-firmware start in the bootloader, and
// fault injection.
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

// What goes wrong with one remote node, as the local module experiences it.
struct RemoteFaults {
  // How the node takes what the local module hands it over the air (AT+RC=, and
  // the bootload commands): it answers; it never answers, so the local module sends
  // no reply at all; or the local module gives up after Options::unreachableMs and
  // reports "\r\nERROR\r\n".
  enum class Reach { Answers, Silent, Unreachable };
  Reach reach = Reach::Answers;
  // Commands (without "=value", any case) the node answers with ERROR.
  std::vector<std::string> errorCommands;
  // How it takes AT+BOOTLOAD=1,… and =2,…: its bootloader starts; it does not come
  // up and the local module reports ERROR after Options::unreachableMs; or nothing.
  enum class Bootload { Starts, Error, Silent };
  Bootload bootload = Bootload::Starts;
  // The relayed upload: NAK block `refuseBlock` (1-based ordinal) `refuseTimes`
  // times, or every block; go silent once block `silentAfterBlock` was ACKed.
  int refuseBlock = 0;
  int refuseTimes = 0;
  bool refuseEveryBlock = false;
  int silentAfterBlock = 0;
  // How a clone of the local firmware to it ends: "Clone complete"; "ERROR"
  // half-way through; or never (no text at all).
  enum class Clone { Completes, Error, NeverEnds };
  Clone clone = Clone::Completes;
};

struct RemoteNode {
  std::string euiAddress;  // how AT+RC= addresses it
  std::string productName = "MA11";
  std::string version = "v1.10.0";
  std::string nodeName = "Remote";
  int nodeType = 2;             // 1 coordinator, 2 router, 3 end device, 4 sleepy end device
  std::string definitionsFile;  // registers; empty: the built-in default
  // Factory values that override the definitions' (command, value), e.g. {"ATS02", "15"}.
  std::vector<std::pair<std::string, std::string>> registerValues;
  // Its 16-bit network address in the scan, four hexadecimal digits; empty: one
  // derived from the EUI address.
  std::string shortAddress;
  RemoteFaults faults;
};

// A network of `count` nodes made up from their index alone, so the same count
// always gives the same nodes: EUI addresses 000D6F0001xxxxxx, routers, end devices
// and sleepy end devices, the products and versions of the sample definition files,
// names "Router 001", "Sensor 002", "Sleeper 004", ...
std::vector<RemoteNode> GeneratedNetwork(int count);

// Five nodes whose names a scan reader must take whole: "Kitchen node" (spaces),
// "Shelf|A|2" (bars), "BOOKSHELF" (holds "OK"), "ERROR lab", "OK lab".
std::vector<RemoteNode> OddlyNamedNodes();

// How the module answers "at+ds", its network scan.
struct ScanOptions {
  int scanMs = 300;             // module time from the command to the first line
  int lineGapMs = 10;           // module time between two lines: it reports as it scans; 0: at once
  bool markers = false;         // a "*|..." header line and a "CLD|"/"CHD|" child table
  bool oddRecords = false;      // a record of three fields and one of seven
  bool paddedVersions = false;  // versions padded with trailing spaces to ten characters
};

struct Faults {
  // XMODEM receiver
  int refuseBlock = 0;             // block ordinal (1-based) to refuse, 0: none
  int refuseTimes = 0;             // how many times it is refused
  std::uint8_t refuseWith = 0x15;  // NAK by default; 0x18 CAN or any other byte
  int silentAfterBlock = 0;        // stop answering after this block was ACKed (0: never)
  // The port goes away once this block was ACKed, as when the adapter is pulled
  // half-way through an upload (0: never).
  int vanishAfterBlock = 0;
  bool neverSendC = false;         // never send the 'C' start request
  bool noCompletionText = false;   // never print the completion text after EOT
  std::uint8_t eotAnswer = 0x06;   // the byte that answers EOT
  // A bootloader that writes each block to flash after its ACK: a block whose first
  // byte arrives less than this long after the ACK left is refused with NAK (0: none).
  int blockSettleMs = 0;
  // AT interpreter
  bool silent = false;  // answers nothing at all
  // Commands (without "=value" and line end, any case) answered with ERROR.
  std::vector<std::string> errorCommands;
  // "2" starts the firmware without its greeting (the application says nothing).
  bool quietStart = false;
  // The network scan answers "\r\nERROR\r\n", or nothing at all.
  bool scanError = false;
  bool scanSilent = false;
};

// How the module lays out the answer to a query. Both are found on real modules:
//   usual  "\r\n" VALUE "\r\n" "\r\n" "OK\r\n"   (a blank line before the OK)
//   short  "\r\n" VALUE "\r\n" "OK\r\n"
enum class ReplyForm { Usual, Short };

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
  int restartMs = 100;  // ATZ: how long the module is deaf while it restarts
  // A module powers up with its echo on, also after ATZ and after its bootloader
  // runs the firmware; true keeps the echo as it was over a restart (older firmware).
  bool echoKeptOverRestart = false;
  // The layout of query answers, the local module's and its remote nodes' alike.
  ReplyForm replyForm = ReplyForm::Usual;
  int radioDelayMs = 20;  // AT+RC=: time for the command and its reply over the air
  std::string logFile;    // appends every received line (escaped) when not empty
  // Keeps every byte on the line, both ways, with its time (WireRecord()).
  bool recordWire = false;
  ScanOptions scan;
  // A remote that does not answer is given up after this long.
  int unreachableMs = 3000;
  // AT+BOOTLOAD=1,… / =2,…: time until the remote's bootloader is reached ("Start").
  int remoteBootloadMs = 1500;
  // The radio hop of a relayed upload: each answer of the remote's receiver reaches
  // the host this long after the block (or byte) that caused it.
  int relayBlockMs = 40;
  // AT+BOOTLOAD=2,…: how long copying the firmware to the remote takes.
  int cloneMs = 30000;
};

// One byte on the line, as recorded with Options::recordWire. `at` is the moment
// its last bit was on the line: for the host's byte when the module has it whole,
// for the module's byte when it has left (the host can read it from then on). The
// byte's first bit went out one character time earlier.
struct WireByte {
  std::uint8_t byte = 0;
  bool fromHost = false;
  std::chrono::steady_clock::time_point at;
  std::chrono::nanoseconds characterTime{0};
};

// An image relayed to a remote node's bootloader, tagged with the node.
struct RemoteImage {
  std::string euiAddress;
  std::vector<std::uint8_t> image;  // every kept payload, padding included
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
  // Forgets the lines, missed lines, garbled count, images (refused ones too) and
  // wire record so far.
  void ClearLog();
  // Lines a sleeping or restarting module did not take (line end included).
  std::vector<std::string> MissedLines() const;
  // Bytes received while the host's line settings did not match the module's UART.
  std::size_t GarbledBytes() const;
  // Raw payloads of the images received by the bootloader, one per completed upload
  // (all blocks concatenated, padding included).
  std::vector<std::vector<std::uint8_t>> ReceivedImages() const;
  // The images relayed to remote nodes, one per completed relayed upload, in order.
  std::vector<RemoteImage> ReceivedRemoteImages() const;
  // The images that came whole but failed the bootloader's check (no ebl header),
  // local and relayed, in order; `euiAddress` is empty for the local bootloader.
  // They are in neither list above.
  std::vector<RemoteImage> RefusedImages() const;

  // Live state.
  std::string Version() const;
  bool InBootloader() const;
  // The module relays an upload to a remote node's bootloader.
  bool Relaying() const;
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
  // A remote node's firmware version now; empty when unknown.
  std::string RemoteVersion(const std::string& euiAddress) const;
  void SetRemoteFaults(const std::string& euiAddress, const RemoteFaults& faults);
  // Why Start() failed.
  std::string LastError() const;

  // With Options::recordWire: every byte on the line since the start (or ClearLog),
  // both directions, in the order of their times.
  std::vector<WireByte> WireRecord() const;

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
