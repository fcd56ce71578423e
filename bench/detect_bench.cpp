// How long a detect takes, at real time, against simulated modules: one port whose
// module answers at the first rate of the list (115200), at a rate in the middle
// (57600, the third) and at the last (1200); one port where nothing answers (the
// whole list); and eight silent ports side by side (the whole list, in parallel).
// The reference is the probe's own time: 0.3 s for each rate tried without an answer.
//
//   detect_bench [runs, default 5]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "ModuleSimulator.h"
#include "base/Clock.h"
#include "serial/PortDetect.h"

namespace {

using namespace zendra;

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

std::unique_ptr<sim::ModuleSimulator> Module(int baudRate, bool silent) {
  sim::Options options;
  options.baudRate = baudRate;
  options.faults.silent = silent;
  auto module = std::make_unique<sim::ModuleSimulator>(options);
  if (!module->Start()) {
    std::fprintf(stderr, "the simulated module did not start\n");
    std::exit(1);
  }
  return module;
}

// The median time of `runs` detects over `ports`, in seconds; false when the
// result was not what the case expects.
bool Measure(const char* name, const std::vector<std::string>& ports, int expectRate, int runs,
             double reference) {
  std::vector<double> times;
  for (int run = 0; run < runs; ++run) {
    const auto started = std::chrono::steady_clock::now();
    const auto results = PortDetect().Run(ports);
    times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
    for (const auto& result : results) {
      if (result.baudRate != expectRate) {
        std::fprintf(stderr, "%s: %s found at %d, expected %d\n", name, result.port.c_str(),
                     result.baudRate, expectRate);
        return false;
      }
    }
  }
  const double median = Median(times);
  std::printf("  %-44s %7.3f s   reference %5.2f s   ratio %.3f\n", name, median, reference,
              median / reference);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  Clock::SetScale(1.0);
  const int rates = static_cast<int>(PortDetect::CommonRates().size());
  std::printf("detect_bench: median of %d runs, real time (%d rates, 0.3 s each without an answer)\n",
              runs, rates);

  bool ok = true;
  {
    auto m = Module(115200, false);
    ok = ok && Measure("one port, module at 115200 (1st rate)", {m->PortPath()}, 115200, runs, 0.1);
  }
  {
    auto m = Module(57600, false);
    ok = ok && Measure("one port, module at 57600 (3rd rate)", {m->PortPath()}, 57600, runs, 0.7);
  }
  {
    auto m = Module(1200, false);
    ok = ok && Measure("one port, module at 1200 (last rate)", {m->PortPath()}, 1200, runs,
                       0.3 * (rates - 1) + 0.1);
  }
  {
    auto m = Module(9600, true);
    ok = ok && Measure("one port, nothing answers (the whole list)", {m->PortPath()}, 0, runs,
                       0.3 * rates);
  }
  {
    std::vector<std::unique_ptr<sim::ModuleSimulator>> silent;
    std::vector<std::string> ports;
    for (int i = 0; i < 8; ++i) {
      silent.push_back(Module(9600, true));
      ports.push_back(silent.back()->PortPath());
    }
    ok = ok && Measure("eight ports, nothing answers (side by side)", ports, 0, runs, 0.3 * rates);
  }
  std::printf("  bound of a run over up to eight ports: %.2f s\n",
              std::chrono::duration<double>(PortDetect().Bound(8)).count());
  return ok ? 0 : 1;
}
