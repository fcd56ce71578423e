// How long pressing Open takes against a module that answers at once: the connect
// handshake to a simulated module at 115200 baud, at real time (Clock scale 1.0,
// the module's own pauses unscaled).
//
// On that path the handshake's own fixed pauses are 100 ms after the first "\r\n"
// and 200 + 200 ms around the second "\r\n": 500 ms. Everything else is AT
// transactions that end as soon as their "OK" has arrived, so the whole connect
// should stay within 10% of those pauses. Prints every run, the median of the runs
// (default 7, at least 5) and the ratio; exits 1 when the median is over the bound.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "ModuleSimulator.h"
#include "device/Connection.h"
#include "base/Clock.h"
#include "SilentOperator.h"

namespace {

using namespace zendra;

constexpr int kBaud = 115200;
constexpr double kFixedPausesMs = 100 + 200 + 200;

}  // namespace

int main(int argc, char** argv) {
  const int runs = std::max(5, argc > 1 ? std::atoi(argv[1]) : 7);
  Clock::SetScale(1.0);

  sim::Options options;
  options.baudRate = kBaud;
  options.timeScale = 1.0;
  sim::ModuleSimulator module(options);
  if (!module.Start()) {
    std::fprintf(stderr, "the simulated module did not start\n");
    return 2;
  }

  bench::SilentOperator op;
  Connection connection(op);
  LineSettings settings;
  settings.baudRate = kBaud;

  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    const bool connected = connection.Connect(module.PortPath(), settings);
    const auto end = std::chrono::steady_clock::now();
    if (!connected || op.messages > 0) {
      std::fprintf(stderr, "run %d did not connect\n", i + 1);
      return 2;
    }
    const double ms = std::chrono::duration<double, std::milli>(end - start).count();
    times.push_back(ms);
    std::printf("run %d: %.1f ms (%s %s)\n", i + 1, ms, connection.Device().productName.c_str(),
                connection.Device().firmwareVersion.c_str());
    connection.Disconnect();
  }
  std::sort(times.begin(), times.end());
  const double median = times[times.size() / 2];
  const double ratio = median / kFixedPausesMs;
  std::printf(
      "open to connected, median of %d: %.1f ms; fixed pauses %.0f ms; ratio %.3f (bound 1.100)\n",
      runs, median, kFixedPausesMs, ratio);
  return ratio <= 1.10 ? 0 : 1;
}
