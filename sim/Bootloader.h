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
// Upload: "1" prints "begin upload" and hands the line to the XMODEM-CRC receiver
// (XmodemReceiver) until the image is complete, the host cancels (CAN CAN, or the
// menu's ETX between blocks) or no first block came; then the menu is back. A
// complete image is checked (IsEblImage): a good one is the firmware from then on
// ("Serial upload complete"); one that fails has overwritten the application all
// the same, which is damaged from then on ("Serial upload aborted: ...").

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ModuleSimulator.h"
#include "PacedLine.h"
#include "XmodemReceiver.h"

namespace zendra::sim {

inline constexpr std::string_view kBootloaderMenu =
    "\r\nZendra Bootloader\r\n1. upload ebl\r\n2. run\r\n3. ebl info\r\nBL > ";
inline constexpr std::string_view kBeginUpload = "\r\nbegin upload\r\n";
inline constexpr std::string_view kUploadComplete = "\r\nSerial upload complete\r\n";
inline constexpr std::string_view kUploadAborted = "\r\nupload aborted\r\n";
// The image came whole but is no ebl image (see IsEblImage).
inline constexpr std::string_view kUploadRefused = "\r\nSerial upload aborted: not an ebl image\r\n";

// Whether a received image is an ebl image: it begins with the header record, the
// four bytes "EBL" and NUL. A bootloader stores the blocks as they come (over the
// application) and checks the image once it is whole; a text file, an image of
// another format or nothing at all fails. Padding after the image is no concern.
bool IsEblImage(const std::vector<std::uint8_t>& image);

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
    bool imageRefused = false;  // came whole, but failed the check: the application is gone
    std::vector<std::uint8_t> image;
  };

  explicit Bootloader(double timeScale = 1.0) : receiver_(timeScale) {}

  void SetFaults(const Faults& faults);
  void SetDamaged(bool damaged) { damaged_ = damaged; }
  bool Damaged() const { return damaged_; }
  void SetFirmwareVersion(const std::string& version) { version_ = version; }

  // Enters the menu state quietly (start in the bootloader, or AT+BOOTLOAD).
  void Enter();
  void OnByte(std::uint8_t byte, TimePoint at, Output& out);
  void OnTime(TimePoint now, Output& out);
  std::optional<TimePoint> NextDeadline() const;
  // Blocks the receiver kept in the upload under way (or the last one).
  int BlocksAccepted() const { return receiver_.Accepted(); }

 private:
  void MenuByte(std::uint8_t byte, TimePoint at, Output& out);
  // Passes on what the receiver produced; its endings bring back the menu.
  void Take(XmodemReceiver::Step& step, Output& out);

  XmodemReceiver receiver_;
  Faults faults_;
  bool damaged_ = false;
  std::string version_;

  std::string pending_;  // menu bytes not logged yet
  bool lastWasCr_ = false;
};

}  // namespace zendra::sim
