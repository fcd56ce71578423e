#pragma once
// Finds where a module answers: on which serial port, at which baud rate, and what
// it is (its product name and firmware version).
//
// Each port is tried at each rate of the list, the most common rates first, with a
// short probe: a line end, which wakes a sleepy end device (as the handshake's
// first "\r\n" does) and ends whatever a wrong rate left in the module's line
// buffer, then after 100 ms "AT". A line that is exactly "OK" (or "ERROR") means
// the module understands us at this rate; the bootloader menu's "BL" prompt, or
// the 'C' of a bootloader that waits for an upload, means a module in its
// bootloader. Each rate gets about 0.3 s (115200, the bootloader's rate, 1.2 s:
// a bootloader that waits for an upload asks once a second); ports are tried in
// parallel, so the whole run is bounded by the list's length. At the rate found,
// "AT+PRODUCTNAME" and "AT+VERSION" are asked, 1 s each.
//
// A probe reads and changes nothing of the module: no ATE0 (the echo stays as it
// is, the reads take it out), no register write, no "+++" (a module in
// transparent mode therefore stays silent here and is found by the handshake
// alone), no menu choice in the bootloader. A port that another program holds
// (the port's lock, or its exclusive flag) is reported busy and never written to.
//
// Line settings while probing: 8 data bits, no parity, one stop bit, no flow
// control - what a module runs after its factory default.

#include <chrono>
#include <cstdint>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "base/Clock.h"

namespace zendra {

struct DetectOptions {
  // The rates, in the order they are tried.
  std::vector<int> rates;
  // Protocol time between the waking line end and "AT".
  int wakeMs = 100;
  // Protocol time each rate gets, from the first byte sent; never less than the
  // line needs for the probe and its answer at that rate.
  int rateWindowMs = 300;
  // Ports tried at the same time.
  int parallelPorts = 8;

  DetectOptions();
};

struct DetectedPort {
  enum class State {
    kModule,      // the AT firmware answered at `baudRate`
    kBootloader,  // a bootloader menu answered at `baudRate` (its firmware may be damaged)
    kBusy,        // another program holds the port: left alone
    kNoAnswer,    // nothing understood us at any rate
    kNotOpened,   // no such port, no permission, or another failure to open it
  };

  std::string port;  // as it was given
  State state = State::kNoAnswer;
  int baudRate = 0;
  std::string productName;      // kModule: the reply to AT+PRODUCTNAME ("ERROR" when none)
  std::string firmwareVersion;  // kModule: the reply to AT+VERSION ("ERROR" when none)
  std::string detail;           // kBusy, kNotOpened: what the port said about it
  std::chrono::milliseconds took{0};

  bool Found() const { return state == State::kModule || state == State::kBootloader; }
};

class PortDetect {
 public:
  // 115200, 9600, 57600, 38400, 19200, 230400, 460800, 921600, 4800, 2400, 1200.
  static std::vector<int> CommonRates();

  explicit PortDetect(DetectOptions options = {}) : options_(std::move(options)) {}

  // Every port, in parallel; the results in the order of `ports` (a port given
  // twice is tried once and reported once). Ends early, with what is known, on a stop.
  std::vector<DetectedPort> Run(const std::vector<std::string>& ports,
                                std::stop_token stop = {}) const;
  // One port, rate after rate, until something answers.
  DetectedPort Probe(const std::string& port, std::stop_token stop = {}) const;

  // What Run over `portCount` ports takes at most with these options, whatever
  // answers (real time at the clock's scale).
  std::chrono::milliseconds Bound(std::size_t portCount) const;

  // What the text a probe received so far says.
  enum class Answer {
    kNothing,     // nothing understandable (yet)
    kOk,          // a line that is exactly "OK"
    kError,       // a line that is exactly "ERROR" and none that is "OK"
    kBootloader,  // the bootloader: its prompt "BL", or the 'C' that asks for an upload
  };
  static Answer Judge(std::string_view received);

  // "module", "bootloader", "busy", "no-answer", "not-opened".
  static const char* StateName(DetectedPort::State state);

 private:
  // How long one rate is listened to, from the first byte sent.
  Clock::Duration RateWindow(int rate) const;

  DetectOptions options_;
};

}  // namespace zendra
