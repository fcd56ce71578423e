// What the traffic log costs the line's threads: the time of one Record call (what
// a writer or the port's reader pays per write or chunk while the log's own thread
// formats at the same time), and the formatting of one block with its answer (what
// the log's thread pays), against the 12.9 ms a block takes on the line at 115200
// baud. Without a tap the port pays one atomic load instead of the Record call.
// Prints the medians of the runs (default 5).

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "serial/TrafficFormatter.h"
#include "serial/TrafficLog.h"

namespace {

using namespace zendra;
using Clock = std::chrono::steady_clock;

constexpr int kBlocks = 100000;
constexpr double kBlockCycleUs = (133.0 + 1.0) * 10.0 / 115200 * 1e6 + 1000.0;

std::vector<std::uint8_t> Block(int number) {
  std::vector<std::uint8_t> block{0x01, static_cast<std::uint8_t>(number),
                                  static_cast<std::uint8_t>(255 - number)};
  for (int i = 0; i < 130; ++i) block.push_back(static_cast<std::uint8_t>(i * 13 + number));
  return block;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  std::vector<std::vector<std::uint8_t>> blocks;
  for (int n = 0; n < 256; ++n) blocks.push_back(Block(n));
  const std::uint8_t ack = 0x06;

  std::vector<double> recordNs, formatUs;
  for (int run = 0; run < runs; ++run) {
    // Record: a block and its answer, as the writer and the reader hand them over,
    // while the log's thread formats what came before.
    std::atomic<std::size_t> entries{0};
    {
      TrafficLog log([&](std::vector<TrafficEntry>& batch) { entries += batch.size(); },
                     {.capacity = 64u << 20, .batch = std::chrono::milliseconds(25)});
      const auto start = Clock::now();
      for (int n = 1; n <= kBlocks; ++n) {
        const auto& block = blocks[n & 0xFF];
        log.Record(LineTap::Event::kSent, block.data(), block.size());
        log.Record(LineTap::Event::kReceived, &ack, 1);
      }
      const double ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
      recordNs.push_back(ns / (2.0 * kBlocks));
      log.Flush();
      if (entries != static_cast<std::size_t>(kBlocks) || log.DroppedBytes() != 0) {
        std::fprintf(stderr, "run %d: %zu entries for %d blocks\n", run + 1, entries.load(),
                     kBlocks);
        return 1;
      }
    }
    // Formatting alone.
    TrafficFormatter formatter;
    std::vector<TrafficEntry> out;
    out.reserve(kBlocks);
    const auto at = Clock::now();
    const auto start = Clock::now();
    for (int n = 1; n <= kBlocks; ++n) {
      formatter.Add(LineTap::Event::kSent, at, blocks[n & 0xFF], out);
      formatter.Add(LineTap::Event::kReceived, at, std::span(&ack, 1), out);
    }
    std::size_t bytes = 0;
    for (const auto& entry : out) bytes += TrafficFormatter::Line(entry).size();
    formatUs.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count() /
                       kBlocks);
    std::printf("run %d: Record %.0f ns per call; a block and its answer formatted into a line in "
                "%.2f us (%zu bytes of text)\n",
                run + 1, recordNs.back(), formatUs.back(), bytes);
  }
  const double record = Median(recordNs);
  const double format = Median(formatUs);
  std::printf("traffic_log_bench: median of %d runs of %d blocks\n", runs, kBlocks);
  std::printf("  Record: %.0f ns per call; two calls per block = %.5f %% of a %.0f us block cycle\n",
              record, 2 * record / 1000.0 / kBlockCycleUs * 100.0, kBlockCycleUs);
  std::printf("  formatting on the log's thread: %.2f us per block = %.4f %% of a block cycle\n",
              format, format / kBlockCycleUs * 100.0);
  return 0;
}
