// How close a firmware transfer comes to the line: a 256 KiB image sent at 115200
// baud to the simulated module's bootloader, paced at the line rate, at real time,
// with the engine's 1 ms pause after each acknowledged block and without it (fast
// flashing).
//
// Stop-and-wait moves 128 payload bytes per 133-byte block plus its 1-byte answer,
// so the line allows at most 128 / ((133 + 1) * 10 / 115200) bytes/s; the pause
// adds 1 ms to every block. The rate is measured from the first to the last
// acknowledged block (the start request wait and the ending are fixed costs, not
// throughput). Targets: with the pause at least 0.98 of the limit with the pause;
// fast at least 0.97 of the line's limit. Prints the median of the runs (default 5
// each). On a shared machine other processes delay some blocks by milliseconds;
// the median block cycle (ACK to ACK) is printed beside the rate, as the figure
// such delays leave alone.
//
// With --trace each run is paired with one that has the traffic log attached,
// writing its lines to a file as `zendra-cli --trace` does; the pairs alternate
// which goes first, so that a drift of the machine favours neither. Target: the
// log costs at most 1 %.
//
//   transfer_bench [runs] [--fast | --paused] [--trace]   (default: both, no log)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "ModuleSimulator.h"
#include "SilentOperator.h"
#include "base/Clock.h"
#include "device/Connection.h"
#include "firmware/CrcTable.h"
#include "firmware/ImageTransfer.h"
#include "firmware/SerialTransferChannel.h"
#include "serial/TrafficFormatter.h"
#include "serial/TrafficLog.h"

namespace {

using namespace zendra;

constexpr int kBaud = 115200;
constexpr std::size_t kImageBytes = 256 * 1024;
const double kLineLimit = 128.0 / ((133.0 + 1.0) * 10.0 / kBaud);
const double kPausedLimit = 128.0 / ((133.0 + 1.0) * 10.0 / kBaud + 0.001);

// Brings the bootloader to its receive state: menu, then choice 1.
bool StartUpload(LineLease& line) {
  auto& ring = line.Ring();
  ring.Reset();
  line.Port().Write("\n");
  std::string text;
  const auto deadline = Clock::DeadlineAfter(5000);
  while (text.find("BL") == std::string::npos && Clock::Now() < deadline) {
    ring.WaitForBytes(deadline);
    text += ring.TakeText();
  }
  if (text.find("BL") == std::string::npos) return false;
  line.Port().Write("1\n");
  return true;
}

struct Medians {
  double rate = 0;
  double cycleRate = 0;
  double cycleUs = 0;
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// `runs` transfers of the image, with or without the pause, and as many again with
// `log` on the line when there is one; false when one failed.
bool Measure(Connection& connection, LineLease& line, bench::SilentOperator& op,
             const std::string& image, int runs, bool pause, TrafficLog* log, Medians& out,
             Medians& tracedOut) {
  CrcTable crc;
  crc.Fill();
  std::vector<double> rates, cycleRates, cycleTimes;
  std::vector<double> tracedRates, tracedCycleRates, tracedCycleTimes;
  const int passes = log ? 2 * runs : runs;
  for (int pass = 0; pass < passes; ++pass) {
    const int run = log ? pass / 2 : pass;
    const bool traced = log && ((pass % 2 == 1) != (run % 2 == 1));
    connection.SetLineTap(traced ? log : nullptr);
    const std::string name = std::string(pause ? "with the pause" : "fast") +
                             (log ? (traced ? ", traced" : ", no log") : "");
    if (!StartUpload(line)) {
      std::fprintf(stderr, "%s run %d: no bootloader menu\n", name.c_str(), run + 1);
      return false;
    }
    std::chrono::steady_clock::time_point first, last;
    std::int64_t firstSent = 0, lastSent = 0;
    std::vector<double> cycles;
    TransferSinks sinks;
    sinks.bytes = [&](std::int64_t sent, std::int64_t) {
      const auto now = std::chrono::steady_clock::now();
      if (firstSent != 0) cycles.push_back(std::chrono::duration<double>(now - last).count());
      if (firstSent == 0) {
        first = now;
        firstSent = sent;
      }
      last = now;
      lastSent = sent;
    };
    SerialTransferChannel channel(line);
    ImageTransfer engine(channel, crc, op, sinks);
    TransferParams params;
    params.pauseAfterBlock = pause;
    const TransferResult result = engine.Run(image, params, std::stop_token());
    if (result != TransferResult::kSuccess) {
      std::fprintf(stderr, "%s run %d: the transfer failed (%d)\n", name.c_str(), run + 1,
                   static_cast<int>(result));
      return false;
    }
    const double seconds = std::chrono::duration<double>(last - first).count();
    const double rate = static_cast<double>(lastSent - firstSent) / seconds;
    const double cycle = Median(cycles);
    (traced ? tracedRates : rates).push_back(rate);
    (traced ? tracedCycleRates : cycleRates).push_back(128.0 / cycle);
    (traced ? tracedCycleTimes : cycleTimes).push_back(cycle);
    std::printf(
        "%s, run %d: %.0f bytes/s (%.3f of the line, %.3f of the line with the pause); "
        "median block cycle %.0f us = %.0f bytes/s\n",
        name.c_str(), run + 1, rate, rate / kLineLimit, rate / kPausedLimit, cycle * 1e6, 128.0 / cycle);
    std::fflush(stdout);
  }
  out.rate = Median(rates);
  out.cycleRate = Median(cycleRates);
  out.cycleUs = Median(cycleTimes) * 1e6;
  connection.SetLineTap(nullptr);
  if (log) {
    tracedOut.rate = Median(tracedRates);
    tracedOut.cycleRate = Median(tracedCycleRates);
    tracedOut.cycleUs = Median(tracedCycleTimes) * 1e6;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 5;
  bool paused = true, fast = true, trace = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--trace") == 0) {
      trace = true;
    } else if (std::strcmp(argv[i], "--fast") == 0) {
      paused = false;
    } else if (std::strcmp(argv[i], "--paused") == 0) {
      fast = false;
    } else {
      runs = std::max(1, std::atoi(argv[i]));
    }
  }
  Clock::SetScale(1.0);

  const auto image = std::filesystem::temp_directory_path() / "zendra-transfer-bench.ebl";
  {
    // The bootloader keeps only an image that begins with the ebl header record.
    constexpr char kHeader[] = {'E', 'B', 'L', '\0'};
    std::vector<char> bytes(kImageBytes);
    for (std::size_t i = 0; i < bytes.size(); ++i)
      bytes[i] = i < sizeof kHeader ? kHeader[i] : static_cast<char>((i * 13 + 5) & 0xFF);
    std::ofstream(image, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }

  sim::Options options;
  options.damaged = true;  // starts in the bootloader menu
  options.timeScale = 1.0;
  sim::ModuleSimulator module(options);
  if (!module.Start()) {
    std::fprintf(stderr, "the simulated module did not start\n");
    return 1;
  }
  bench::SilentOperator op;
  Connection connection(op);
  LineSettings settings;
  settings.baudRate = kBaud;
  if (!connection.OpenPort(module.PortPath(), settings)) {
    std::fprintf(stderr, "could not open %s\n", module.PortPath().c_str());
    return 1;
  }
  LineLease line = std::move(*connection.TryLease("transfer_bench"));

  // The traffic log as the command line's --trace keeps it: every line into a file.
  const auto traceFile = std::filesystem::temp_directory_path() / "zendra-transfer-bench.trace";
  std::FILE* traceOut = std::fopen(traceFile.c_str(), "w");
  if (!traceOut) return 1;
  std::size_t traceLines = 0;
  auto log = std::make_unique<TrafficLog>([&](std::vector<TrafficEntry>& entries) {
    for (const auto& entry : entries) {
      const std::string text = TrafficFormatter::Line(entry);
      std::fwrite(text.data(), 1, text.size(), traceOut);
      std::fputc('\n', traceOut);
    }
    std::fflush(traceOut);
    traceLines += entries.size();
  });
  TrafficLog* tap = trace ? log.get() : nullptr;

  bool met = true;
  Medians withPause, withoutPause, withPauseTraced, withoutPauseTraced;
  if (paused) {
    if (!Measure(connection, line, op, image.string(), runs, true, tap, withPause,
                 withPauseTraced))
      return 1;
  }
  if (fast) {
    if (!Measure(connection, line, op, image.string(), runs, false, tap, withoutPause,
                 withoutPauseTraced))
      return 1;
  }
  log.reset();  // its last lines written
  std::fclose(traceOut);
  std::filesystem::remove(traceFile);
  std::printf("transfer_bench: 256 KiB at %d baud, medians of %d runs\n", kBaud, runs);
  std::printf("  stop-and-wait limit of the line %.0f bytes/s; with the 1 ms pause %.0f bytes/s\n",
              kLineLimit, kPausedLimit);
  if (paused) {
    std::printf(
        "  with the pause: %.0f bytes/s = %.3f of the line, %.3f of the limit with the pause "
        "(target >= 0.98); block cycle %.0f us = %.3f of the limit with the pause\n",
        withPause.rate, withPause.rate / kLineLimit, withPause.rate / kPausedLimit,
        withPause.cycleUs, withPause.cycleRate / kPausedLimit);
    met = met && withPause.rate / kPausedLimit >= 0.98;
  }
  if (fast) {
    std::printf(
        "  fast:           %.0f bytes/s = %.3f of the line (target >= 0.97); block cycle "
        "%.0f us = %.3f of the line\n",
        withoutPause.rate, withoutPause.rate / kLineLimit, withoutPause.cycleUs,
        withoutPause.cycleRate / kLineLimit);
    met = met && withoutPause.rate / kLineLimit >= 0.97;
  }
  if (paused && fast)
    std::printf("  fast against with the pause: %.3f times the rate\n",
                withoutPause.rate / withPause.rate);
  if (trace) {
    const auto report = [&](const char* name, const Medians& plain, const Medians& traced) {
      std::printf(
          "  %s with the traffic log writing to a file: %.0f bytes/s, %.4f of the rate "
          "without it; block cycle %.0f us, %.4f of the cycle rate without it (target >= "
          "0.99)\n",
          name, traced.rate, traced.rate / plain.rate, traced.cycleUs,
          traced.cycleRate / plain.cycleRate);
      met = met && traced.rate / plain.rate >= 0.99;
    };
    if (paused) report("with the pause:", withPause, withPauseTraced);
    if (fast) report("fast:", withoutPause, withoutPauseTraced);
    std::printf("  the log's file: %zu lines\n", traceLines);
  }
  line.Release();
  connection.Disconnect();
  module.Stop();
  std::filesystem::remove(image);
  return met ? 0 : 1;
}
