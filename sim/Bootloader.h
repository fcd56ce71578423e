#pragma once
// The module's bootloader: a text menu and an XMODEM-CRC receiver, always at
// 115200 baud. It is a byte-in/text-out state machine with deadlines; the module
// feeds it each byte at its arrival time and calls OnTime() at its deadlines.
//
// Menu: ETX, CR or LF print the menu (a CR LF pair prints it once); "1" starts an
// upload, "2" runs the firmware (a damaged firmware shows the menu again), "3"
// prints the image information. The menu never holds a capital C, which the host's
// sender would take for the start request.
//
// Upload: after "begin upload" the receiver asks for CRC blocks with 'C' once a
// second until the first SOH. A block is SOH, number, 255 - number, 128 payload
// bytes, CRC high, CRC low (CRC-16/XMODEM over the payload). The expected block is
// ACKed and kept; the previous one again (its ACK was lost) is ACKed and dropped;
// anything else, and a block stalled for a second, is NAKed. EOT is answered, a
// second EOT is ACKed, and the completion text and the menu follow.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ModuleSimulator.h"
#include "PacedLine.h"

namespace zendra::sim {

inline constexpr std::string_view kBootloaderMenu =
    "\r\nZendra Bootloader\r\n1. upload ebl\r\n2. run\r\n3. ebl info\r\nBL > ";
inline constexpr std::string_view kBeginUpload = "\r\nbegin upload\r\n";
inline constexpr std::string_view kUploadComplete = "\r\nSerial upload complete\r\n";
inline constexpr std::string_view kUploadAborted = "\r\nupload aborted\r\n";

std::uint16_t Crc16Xmodem(const std::uint8_t* data, std::size_t length);
// The text after "VERSION=" in an image, of the characters [0-9A-Za-z._-];
// empty when there is none.
std::string VersionInImage(const std::vector<std::uint8_t>& image);

class Bootloader {
 public:
  using TimePoint = SimClock::time_point;

  // What one step produced.
  struct Output {
    std::string text;                  // to the host
    std::vector<std::string> entries;  // for the receive log
    bool runApplication = false;
    bool imageComplete = false;
    std::vector<std::uint8_t> image;
  };

  explicit Bootloader(double timeScale = 1.0) : timeScale_(timeScale) {}

  void SetFaults(const Faults& faults) { faults_ = faults; }
  void SetDamaged(bool damaged) { damaged_ = damaged; }
  bool Damaged() const { return damaged_; }
  void SetFirmwareVersion(const std::string& version) { version_ = version; }

  // Enters the menu state quietly (start in the bootloader, or AT+BOOTLOAD).
  void Enter();
  void OnByte(std::uint8_t byte, TimePoint at, Output& out);
  void OnTime(TimePoint now, Output& out);
  std::optional<TimePoint> NextDeadline() const;

 private:
  enum class State { Menu, AwaitFirstBlock, Receiving, AfterEot };

  void MenuByte(std::uint8_t byte, TimePoint at, Output& out);
  void ReceivingByte(std::uint8_t byte, TimePoint at, Output& out);
  void EvaluateBlock(Output& out);
  void EndOfTransmission(TimePoint at, Output& out);
  void Finish(Output& out);
  void Abort(Output& out);
  void Answer(std::uint8_t byte, Output& out);
  void NoteIgnored(std::uint8_t byte, Output& out);
  SimClock::duration Scaled(int ms) const;

  double timeScale_;
  Faults faults_;
  bool damaged_ = false;
  std::string version_;

  State state_ = State::Menu;
  std::string pending_;  // menu bytes not logged yet
  bool lastWasCr_ = false;

  // 'C' requests
  TimePoint nextRequest_{};
  int requestsSent_ = 0;

  // transfer
  std::vector<std::uint8_t> block_;
  TimePoint lastBlockByte_{};
  std::vector<std::uint8_t> image_;
  int accepted_ = 0;  // blocks kept so far; the next block's ordinal is accepted_ + 1
  int refused_ = 0;   // refusals of Faults::refuseBlock so far
  int cancels_ = 0;   // CAN bytes in a row between blocks
  bool silent_ = false;
  TimePoint eotDeadline_{};
};

}  // namespace zendra::sim
