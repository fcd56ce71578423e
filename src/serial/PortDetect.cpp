#include "serial/PortDetect.h"

#include <algorithm>
#include <atomic>
#include <thread>

#include "base/Clock.h"
#include "base/Operator.h"
#include "serial/AtLink.h"
#include "serial/SerialPort.h"

namespace zendra {

namespace {

// The probe's two writes: a line end, then the shortest command every module takes.
constexpr std::string_view kWake = "\r\n";
constexpr std::string_view kProbe = "AT\r\n";
constexpr int kQueryTimeoutSeconds = 1;
// The bootloader talks at this rate; while it waits for an upload it says nothing
// but a 'C' once a second, so at this rate the probe listens a little longer
// than that.
constexpr int kBootloaderRate = 115200;
constexpr int kUploadRequestWindowMs = 1200;
// Characters that cross the line for one rate: the two writes, their echo and the
// answer "\r\nOK\r\n" (and an "ERROR" line for what a wrong rate left behind).
constexpr int kProbeCharacters = 2 * (2 + 4) + 6 + 9;
// An answer has ended when the line has been quiet this many character times (and
// a little more for a USB adapter's latency): nothing of it may reach the reads.
constexpr int kQuietCharacters = 8;
constexpr auto kQuietSlack = std::chrono::milliseconds(50);

// Nobody is asked anything while ports are probed: the transactions only report
// to the operator when the port is closed, which it never is here.
class NobodyOperator : public Operator {
 public:
  void ShowMessage(const std::string&) override {}
  bool AskYesNo(const std::string&, const std::string&) override { return false; }
  std::optional<std::string> ChooseFileToOpen(const std::string&) override { return {}; }
  std::optional<std::string> ChooseFileToSave(const std::string&, const std::string&) override {
    return {};
  }
  void OpenDocument(const std::string&) override {}
  void BeginWait() override {}
  void EndWait() override {}
};

// Takes what arrives until the line has been quiet for a while (or `bound`).
void WaitForQuiet(ReceiveBuffer& ring, int baudRate, Clock::TimePoint bound, std::stop_token stop) {
  const auto quiet = kQuietCharacters * CharacterTime(baudRate) + kQuietSlack;
  for (;;) {
    const auto until = std::min(Clock::Now() + quiet, bound);
    if (ring.WaitForInput(until, stop) != ReceiveBuffer::Wait::kBytes) return;
    ring.Reset();
    if (Clock::Now() >= bound) return;
  }
}

}  // namespace

DetectOptions::DetectOptions() : rates(PortDetect::CommonRates()) {}

std::vector<int> PortDetect::CommonRates() {
  // The module's factory rate and the bootloader's first, then the rest of the
  // line's list by how often modules are set to them.
  return {115200, 9600, 57600, 38400, 19200, 230400, 460800, 921600, 4800, 2400, 1200};
}

const char* PortDetect::StateName(DetectedPort::State state) {
  switch (state) {
    case DetectedPort::State::kModule:
      return "module";
    case DetectedPort::State::kBootloader:
      return "bootloader";
    case DetectedPort::State::kBusy:
      return "busy";
    case DetectedPort::State::kNoAnswer:
      return "no-answer";
    case DetectedPort::State::kNotOpened:
      return "not-opened";
  }
  return "no-answer";
}

PortDetect::Answer PortDetect::Judge(std::string_view received) {
  // A verdict is a line of its own; the letters inside an echo or noise are none.
  if (AtLink::FindLine(received, "OK") != std::string_view::npos) return Answer::kOk;
  if (received.find("BL") != std::string_view::npos) return Answer::kBootloader;
  // A bootloader waiting for an upload shows no menu: it only asks for the upload.
  if (AtLink::WaitingForUpload(received)) return Answer::kBootloader;
  if (AtLink::FindLine(received, "ERROR") != std::string_view::npos) return Answer::kError;
  return Answer::kNothing;
}

std::chrono::milliseconds PortDetect::Bound(std::size_t portCount) const {
  using std::chrono::milliseconds;
  const auto perRate =
      std::chrono::duration_cast<milliseconds>(Clock::Scaled(options_.rateWindowMs));
  milliseconds port{0};
  for (int rate : options_.rates) {
    port += std::chrono::duration_cast<milliseconds>(RateWindow(rate)) +
            milliseconds(20);  // and the port reopened at the rate
  }
  // The end of the answer, and the two reads at the rate found.
  port += perRate +
          std::chrono::duration_cast<milliseconds>(Clock::Scaled(2 * kQueryTimeoutSeconds * 1000));
  const std::size_t parallel = static_cast<std::size_t>(std::max(1, options_.parallelPorts));
  const auto waves =
      static_cast<long>((std::max<std::size_t>(portCount, 1) + parallel - 1) / parallel);
  return waves * port + milliseconds(500);
}

Clock::Duration PortDetect::RateWindow(int rate) const {
  // A rate's window grows to what the line needs at slow rates (a compressed clock).
  auto window = std::max(
      Clock::Scaled(options_.rateWindowMs),
      Clock::Scaled(options_.wakeMs) +
          std::chrono::duration_cast<Clock::Duration>(kProbeCharacters * CharacterTime(rate)));
  if (rate == kBootloaderRate) window = std::max(window, Clock::Scaled(kUploadRequestWindowMs));
  return window;
}

DetectedPort PortDetect::Probe(const std::string& port, std::stop_token stop) const {
  const auto started = Clock::Now();
  DetectedPort result;
  result.port = port;
  NobodyOperator nobody;
  SerialPort serial;
  AtLink link(serial, nobody);
  link.SetStopToken(stop);
  ReceiveBuffer& ring = serial.Receive();

  const auto finish = [&](DetectedPort::State state) {
    serial.Close();
    result.state = state;
    result.took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::Now() - started);
    return result;
  };

  for (int rate : options_.rates) {
    if (stop.stop_requested()) break;
    if (!serial.Open(port, rate, 0, 8, 0, SerialPort::kFlowNone)) {
      switch (serial.LastOpenError()) {
        case SerialPort::OpenError::kSettings:
          continue;  // the driver does not take this rate: the next one
        case SerialPort::OpenError::kBusy:
          // Another program's line: not one byte is written to it.
          result.detail = serial.OpenFailureDetail();
          return finish(DetectedPort::State::kBusy);
        default:
          result.detail = serial.OpenFailureDetail();
          return finish(DetectedPort::State::kNotOpened);
      }
    }
    const auto windowEnd = Clock::Now() + RateWindow(rate);
    ring.Reset();
    serial.Write(kWake);
    Clock::Sleep(options_.wakeMs, stop);
    serial.Write(kProbe);

    std::string received;
    Answer answer = Answer::kNothing;
    for (;;) {
      received += ring.TakeText();
      answer = Judge(received);
      // "ERROR" may be what a wrong rate left in the module's line; the "OK" for
      // "AT" follows it, and must not reach the reads below.
      if (answer == Answer::kOk || answer == Answer::kBootloader) break;
      if (stop.stop_requested() || Clock::Now() >= windowEnd) break;
      if (ring.WaitForInput(windowEnd, stop) == ReceiveBuffer::Wait::kLineLost) break;
    }
    if (stop.stop_requested()) break;
    if (ring.LineLost()) {
      result.detail = port + ": the port went away while it was tried.";
      return finish(DetectedPort::State::kNotOpened);
    }
    if (answer == Answer::kNothing) continue;

    result.baudRate = rate;
    if (answer == Answer::kBootloader) return finish(DetectedPort::State::kBootloader);
    // The rest of the answer (its line end, the echo of the LF) goes before the reads.
    WaitForQuiet(ring, rate, Clock::Now() + Clock::Scaled(options_.rateWindowMs), stop);
    link.portOpen = true;
    result.productName = link.QueryAtCommand("AT+PRODUCTNAME\r\n", kQueryTimeoutSeconds);
    result.firmwareVersion = link.QueryAtCommand("AT+VERSION\r\n", kQueryTimeoutSeconds);
    link.portOpen = false;
    return finish(DetectedPort::State::kModule);
  }
  return finish(DetectedPort::State::kNoAnswer);
}

std::vector<DetectedPort> PortDetect::Run(const std::vector<std::string>& ports,
                                          std::stop_token stop) const {
  // A port named twice is tried once: a second open would find it held by the first.
  std::vector<std::string> unique;
  for (const auto& port : ports) {
    if (std::find(unique.begin(), unique.end(), port) == unique.end()) unique.push_back(port);
  }
  std::vector<DetectedPort> results(unique.size());
  for (std::size_t i = 0; i < unique.size(); ++i) results[i].port = unique[i];

  // A few workers take the ports one after the other.
  std::atomic<std::size_t> next{0};
  const auto work = [&] {
    for (std::size_t i = next++; i < unique.size(); i = next++) {
      if (stop.stop_requested()) return;
      results[i] = Probe(unique[i], stop);
    }
  };
  const std::size_t workers = std::min<std::size_t>(
      unique.size(), static_cast<std::size_t>(std::max(1, options_.parallelPorts)));
  {
    std::vector<std::jthread> threads;
    threads.reserve(workers);
    for (std::size_t w = 0; w < workers; ++w) threads.emplace_back(work);
  }
  return results;
}

}  // namespace zendra
