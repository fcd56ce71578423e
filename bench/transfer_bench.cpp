// How close a firmware transfer comes to the line: a 256 KiB image sent at 115200
// baud to the simulated module's bootloader, paced at the line rate, at real time.
//
// Stop-and-wait moves 128 payload bytes per 133-byte block plus its 1-byte answer,
// so the line allows at most 128 / ((133 + 1) * 10 / 115200) bytes/s; the engine
// adds its own 1 ms pause after each acknowledged block. The rate is measured from
// the first to the last acknowledged block (the start request wait and the ending
// are fixed costs, not throughput) and reported against both limits. Target: at
// least 0.98 of the limit with the pause. Prints the median of the runs (default 5).
// On a shared machine other processes delay some blocks by milliseconds; the median
// block cycle (ACK to ACK) is printed beside the rate, as the figure such delays
// leave alone.
//
// With "trace" as second argument the runs alternate between the line without a
// tap and the line with the traffic log attached, writing its lines to a file as
// `zendra-cli --trace` does; the medians of both and their ratio are printed
// (target: the log costs at most 1 %).

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "ModuleSimulator.h"
#include "device/Connection.h"
#include "base/Clock.h"
#include "firmware/CrcTable.h"
#include "firmware/ImageTransfer.h"
#include "firmware/SerialTransferChannel.h"
#include "serial/TrafficLog.h"
#include "SilentOperator.h"

namespace {

using namespace zendra;

constexpr int kBaud = 115200;
constexpr std::size_t kImageBytes = 256 * 1024;

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

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const bool compareTrace = argc > 2 && std::string(argv[2]) == "trace";
  Clock::SetScale(1.0);

  const auto image = std::filesystem::temp_directory_path() / "zendra-transfer-bench.ebl";
  {
    std::vector<char> bytes(kImageBytes);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 13 + 5) & 0xFF);
    std::ofstream(image, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
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

  CrcTable crc;
  crc.Fill();
  const double lineLimit = 128.0 / ((133.0 + 1.0) * 10.0 / kBaud);
  const double pausedLimit = 128.0 / ((133.0 + 1.0) * 10.0 / kBaud + 0.001);

  // The traffic log as the command line's --trace keeps it: every line into a file.
  const auto traceFile = std::filesystem::temp_directory_path() / "zendra-transfer-bench.trace";
  std::FILE* trace = std::fopen(traceFile.c_str(), "w");
  std::size_t traceLines = 0;
  auto log = std::make_unique<TrafficLog>([&](std::vector<TrafficEntry>& entries) {
    for (const auto& entry : entries) {
      const std::string text = TrafficFormatter::Line(entry);
      std::fwrite(text.data(), 1, text.size(), trace);
      std::fputc('\n', trace);
    }
    std::fflush(trace);
    traceLines += entries.size();
  });

  std::vector<double> rates, cycleRates, tracedRates, tracedCycleRates;
  const int passes = compareTrace ? 2 * runs : runs;
  for (int pass = 0; pass < passes; ++pass) {
    const int run = compareTrace ? pass / 2 : pass;
    // Pairs alternate which goes first, so that a drift of the machine favours neither.
    const bool traced = compareTrace && ((pass % 2 == 1) != (run % 2 == 1));
    connection.SetLineTap(traced ? log.get() : nullptr);
    if (!StartUpload(line)) {
      std::fprintf(stderr, "run %d: no bootloader menu\n", run + 1);
      return 1;
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
    const TransferResult result = engine.Run(image.string(), params, std::stop_token());
    if (result != TransferResult::kSuccess) {
      std::fprintf(stderr, "run %d: the transfer failed (%d)\n", run + 1, static_cast<int>(result));
      return 1;
    }
    const double seconds = std::chrono::duration<double>(last - first).count();
    const double rate = static_cast<double>(lastSent - firstSent) / seconds;
    (traced ? tracedRates : rates).push_back(rate);
    std::sort(cycles.begin(), cycles.end());
    const double cycleRate = 128.0 / cycles[cycles.size() / 2];
    (traced ? tracedCycleRates : cycleRates).push_back(cycleRate);
    // Blocks that another process held up: their cycle took twice the median or more.
    const auto delayed = std::count_if(cycles.begin(), cycles.end(),
                                       [&](double c) { return c >= 2 * cycles[cycles.size() / 2]; });
    double delayedSeconds = 0;
    for (const double c : cycles)
      if (c >= 2 * cycles[cycles.size() / 2]) delayedSeconds += c - cycles[cycles.size() / 2];
    std::printf(
        "run %d%s: %.0f bytes/s (%.3f of the line, %.3f with the pause); median block cycle "
        "%.0f us = %.0f bytes/s (%.3f with the pause); %td blocks held up, %.0f ms lost\n",
        run + 1, compareTrace ? (traced ? " with the log" : " without a log") : "", rate,
        rate / lineLimit, rate / pausedLimit, cycles[cycles.size() / 2] * 1e6, cycleRate,
        cycleRate / pausedLimit, delayed, delayedSeconds * 1e3);
    std::fflush(stdout);
  }
  std::sort(rates.begin(), rates.end());
  std::sort(cycleRates.begin(), cycleRates.end());
  const double median = rates[rates.size() / 2];
  const double cycleMedian = cycleRates[cycleRates.size() / 2];
  std::printf("transfer_bench: 256 KiB at %d baud, median of %d runs: %.0f bytes/s\n", kBaud, runs,
              median);
  std::printf("  stop-and-wait limit of the line      %.0f bytes/s, ratio %.3f\n", lineLimit,
              median / lineLimit);
  std::printf("  the same with the 1 ms pause per block %.0f bytes/s, ratio %.3f (target >= 0.98)\n",
              pausedLimit, median / pausedLimit);
  std::printf("  median block cycle: %.0f bytes/s, ratio %.3f to the line, %.3f with the pause\n",
              cycleMedian, cycleMedian / lineLimit, cycleMedian / pausedLimit);
  if (compareTrace) {
    std::sort(tracedRates.begin(), tracedRates.end());
    std::sort(tracedCycleRates.begin(), tracedCycleRates.end());
    const double traced = tracedRates[tracedRates.size() / 2];
    const double tracedCycle = tracedCycleRates[tracedCycleRates.size() / 2];
    std::printf("  with the traffic log writing to a file: median %.0f bytes/s, ratio to without "
                "%.4f; median block cycle %.0f bytes/s, ratio %.4f (target >= 0.99)\n",
                traced, traced / median, tracedCycle, tracedCycle / cycleMedian);
  }
  connection.SetLineTap(nullptr);
  log.reset();  // its last lines written
  std::fclose(trace);
  if (compareTrace) std::printf("  the log's file: %zu lines\n", traceLines);
  std::filesystem::remove(traceFile);
  line.Release();
  connection.Disconnect();
  module.Stop();
  std::filesystem::remove(image);
  return median / pausedLimit >= 0.98 ? 0 : 1;
}
