// The production line against four modules at once, each behind its own line paced
// at 115200 baud (zendra-modsim --count 4 in a process of its own, so that this
// process's CPU time is the line's alone), at real time: a 200 KiB image and a
// configuration of 40 parameters, verified.
//
// Printed (medians of the runs, default 3):
// - the wall time of one module alone and of four together, and their ratio: the
//   line is the limit, so four ports should take no longer than one (goal <= 1.10);
// - the CPU time per module of a run of four;
// - the time to write one record in its own transaction (goal < 5 ms), over 200
//   records.
//
//   provision_bench [runs] [--records]   (--records: the record writes only)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "integration/cli/CliProcess.h"
#include "production/ProvisionLine.h"
#include "production/RecordStore.h"
#include "production/RecordTime.h"
#include "serial/SerialPort.h"
#include "support/CpuTime.h"
#include "support/FirmwareImageFile.h"
#include "support/TempFolder.h"

namespace {

using namespace zendra;
using Seconds = std::chrono::duration<double>;

constexpr int kModules = 4;
constexpr int kParameters = 40;
constexpr std::size_t kImageBytes = 200 * 1024;
constexpr int kRecords = 200;

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

class Quiet : public ProvisionEvents {
 public:
  void Progress(const std::string&, const ProvisionProgress&) override {}
};

// Runs the line on `ports`; false when a port did not pass.
bool RunLine(const ProvisionPlan& plan, RecordStore& records, const std::vector<std::string>& ports,
             double& wall, double& cpu) {
  Quiet events;
  ProvisionLine line(plan, events, &records);
  const double cpuBefore = test::ProcessCpuSeconds();
  const auto started = std::chrono::steady_clock::now();
  for (const auto& port : ports) line.Start(port);
  line.WaitAll();
  wall = Seconds(std::chrono::steady_clock::now() - started).count();
  cpu = test::ProcessCpuSeconds() - cpuBefore;
  bool passed = true;
  for (const auto& r : line.Results()) {
    if (!r.Passed()) {
      std::fprintf(stderr, "%s: %s at %s: %s\n", r.port.c_str(), OutcomeName(r.outcome),
                   r.failedStep ? StepName(*r.failedStep) : "-", r.message.c_str());
      passed = false;
    }
  }
  return passed;
}

// One module alone and four together, `runs` times: wall and CPU times. false
// when a port did not pass.
bool LineRuns(const ProvisionPlan& plan, const std::vector<std::string>& ports, int runs,
              RecordStore& records) {
  std::printf("provision: %d modules, 115200 baud, %zu KiB image, %d parameters, %d runs\n",
              kModules, kImageBytes / 1024, kParameters, runs);
  std::vector<double> alone, together, ratio, cpuAlone, cpuPerModule;
  for (int run = 0; run < runs; ++run) {
    double wall1 = 0, cpu1 = 0, wall4 = 0, cpu4 = 0;
    // Alone on a different module each run; the order alternates so that a drift
    // of the machine favours neither.
    const std::vector<std::string> one{ports[static_cast<std::size_t>(run % kModules)]};
    const bool ok = run % 2 == 0 ? RunLine(plan, records, one, wall1, cpu1) &&
                                       RunLine(plan, records, ports, wall4, cpu4)
                                 : RunLine(plan, records, ports, wall4, cpu4) &&
                                       RunLine(plan, records, one, wall1, cpu1);
    if (!ok) return false;
    std::printf(
        "  run %d: one alone %.2f s (CPU %.3f s), four together %.2f s (CPU %.3f s), "
        "ratio %.3f\n",
        run + 1, wall1, cpu1, wall4, cpu4, wall4 / wall1);
    std::fflush(stdout);
    alone.push_back(wall1);
    together.push_back(wall4);
    ratio.push_back(wall4 / wall1);
    cpuAlone.push_back(cpu1);
    cpuPerModule.push_back(cpu4 / kModules);
  }
  std::printf("median: one alone %.2f s, four together %.2f s, ratio %.3f (goal <= 1.10)\n",
              Median(alone), Median(together), Median(ratio));
  std::printf("median CPU time: %.3f s for one alone, %.3f s per module of four\n",
              Median(cpuAlone), Median(cpuPerModule));
  return true;
}

// `kRecords` records written one by one, each in its own transaction. false when
// one could not be written.
bool RecordWrites(const std::string& path, const ProvisionPlan& plan) {
  RecordStore store;
  std::string error;
  if (!store.Open(path, error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
  }
  ProvisionRecord record;
  record.station = "bench";
  record.port = "/dev/ttyUSB0";
  record.product = "MA11";
  record.firmwareBefore = "v1.10.0";
  record.firmwareAfter = "v1.11.0";
  record.imageSha256 = plan.image->sha256;
  record.configSha256 = plan.config->sha256;
  record.verify = "passed";
  record.seconds = 30.0;
  record.outcome = "passed";
  std::vector<double> writes;
  for (int i = 0; i < kRecords; ++i) {
    char eui[17];
    std::snprintf(eui, sizeof eui, "000D6F00%08X", i);
    record.euiAddress = eui;
    record.time = RecordTime::Now();
    const auto started = std::chrono::steady_clock::now();
    if (!store.Append(record, error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return false;
    }
    writes.push_back(Seconds(std::chrono::steady_clock::now() - started).count() * 1000);
  }
  // The slowest write is usually the first (the log is made) or one that ends in
  // a checkpoint (the log synced and copied into the file).
  const auto slowest = std::max_element(writes.begin(), writes.end());
  std::printf(
      "record write: median %.3f ms, slowest %.3f ms (write %d) over %d records "
      "(goal < 5 ms)\n",
      Median(writes), *slowest, static_cast<int>(slowest - writes.begin()) + 1, kRecords);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 3;
  bool recordsOnly = false;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--records")
      recordsOnly = true;
    else
      runs = std::max(1, std::atoi(argv[i]));
  }
  test::TempFolder folder;

  // 40 writable parameters, the same on the module's side and in the manager's files.
  std::string definitions, config = "[Firmware]\r\nVersion=MA11_v1.11.0.zmcon\r\nNum_of_saves=" +
                                    std::to_string(kParameters) + "\r\n";
  for (int k = 0; k < kParameters; ++k) {
    const std::string name = "Parameter " + std::to_string(k + 1);
    const std::string command = "AT+P" + std::to_string(k + 1);
    definitions +=
        "[Bench/" + name + "]10;Range = 0;Max = 9999;<A value.>;Command = " + command + ";\r\n";
    config += "[" + std::to_string(k) + "]\r\nName=Bench/" + name + "\r\nCommand=" + command + "=" +
              std::to_string(100 + k * 7) + "\r\n";
  }
  const std::string simDefinitions = folder.Write("module.zmcon.sim", definitions);
  folder.Write("MA11_v1.10.0.zmcon", definitions);
  folder.Write("MA11_v1.11.0.zmcon", definitions);
  const std::string configPath = folder.Write("line.zgb", config);
  test::FirmwareImageFile image("MA11", "v1.11.0", kImageBytes);

  ProvisionRequest request;
  request.settings.baudRate = 115200;
  request.settings.flowControl = SerialPort::kFlowNone;
  request.image = image.Path();
  request.force = true;  // every run sends the image, also to a module that has it
  request.config = configPath;
  request.definitionsFolder = folder.Path();
  const PlanCheck check = MakeProvisionPlan(request);
  if (!check.plan) {
    std::fprintf(stderr, "plan: %s\n", check.error.c_str());
    return 1;
  }
  if (!recordsOnly) {
    // The modules at 115200 in a process of their own, their pauses at real time.
    const test::ModuleProcess modules({"--baud", "115200", "--definitions", simDefinitions},
                                      kModules, "1");
    if (modules.Ports().size() != kModules || modules.Ports().back().empty()) {
      std::fprintf(stderr, "zendra-modsim did not start\n");
      return 1;
    }
    RecordStore records;
    std::string error;
    if (!records.Open(folder.Path() + "runs.db", error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
    if (!LineRuns(*check.plan, modules.Ports(), runs, records)) return 1;
  }
  return RecordWrites(folder.Path() + "records.db", *check.plan) ? 0 : 1;
}
