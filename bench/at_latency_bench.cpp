// Transaction latency: the time from the module's last reply byte leaving the
// simulated line to the AT transaction's return, at 9600 and 115200 baud, at real
// time. A transaction that polled every 10 ms would add 5 ms on average.
//
//   at_latency_bench [queries per rate, default 300] [runs, default 5]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "ModuleSimulator.h"
#include "device/Connection.h"
#include "base/Clock.h"
#include "SilentOperator.h"

namespace {

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0.0 : v[v.size() / 2];
}

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0.0 : v[static_cast<std::size_t>(p * static_cast<double>(v.size() - 1))];
}

// One run: `queries` AT+VERSION queries; returns the latencies in microseconds.
std::vector<double> Run(int baud, int queries) {
  zendra::sim::Options options;
  options.baudRate = baud;
  zendra::sim::ModuleSimulator module(options);
  if (!module.Start()) std::exit(1);
  zendra::bench::SilentOperator op;
  zendra::Connection connection(op);
  zendra::LineSettings settings;
  settings.baudRate = baud;
  if (!connection.OpenPort(module.PortPath(), settings)) std::exit(1);
  zendra::LineLease line = std::move(*connection.TryLease("at_latency_bench"));
  line.Link().SendAtCommand("ATE0\r\n", 1);

  std::vector<double> latencies;
  for (int i = 0; i < queries; ++i) {
    const std::string version = line.Link().QueryAtCommand("AT+VERSION\r\n", 1);
    const auto returned = std::chrono::steady_clock::now();
    if (version != "v1.10.0") {
      std::fprintf(stderr, "query %d: unexpected reply \"%s\"\n", i, version.c_str());
      std::exit(1);
    }
    const auto lastByte = module.LastByteSentAt();
    latencies.push_back(std::chrono::duration<double, std::micro>(returned - lastByte).count());
  }
  line.Release();
  connection.Disconnect();
  module.Stop();
  return latencies;
}

}  // namespace

int main(int argc, char** argv) {
  const int queries = argc > 1 ? std::atoi(argv[1]) : 300;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
  zendra::Clock::SetScale(1.0);
  std::printf("%-8s %-6s %12s %12s %12s\n", "baud", "run", "median us", "p90 us", "max us");
  for (int baud : {9600, 115200}) {
    std::vector<double> medians;
    std::vector<double> all;
    for (int run = 1; run <= runs; ++run) {
      auto latencies = Run(baud, queries);
      medians.push_back(Median(latencies));
      std::printf("%-8d %-6d %12.1f %12.1f %12.1f\n", baud, run, Median(latencies),
                  Percentile(latencies, 0.9), *std::max_element(latencies.begin(), latencies.end()));
      all.insert(all.end(), latencies.begin(), latencies.end());
    }
    const double charUs = 10e6 / baud;
    std::printf("%-8d median of run medians: %.1f us (%.3f character times); all %zu queries: median %.1f us, p90 %.1f us\n",
                baud, Median(medians), Median(medians) / charUs, all.size(), Median(all),
                Percentile(all, 0.9));
  }
  return 0;
}
