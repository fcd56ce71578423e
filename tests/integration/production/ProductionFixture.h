#pragma once
// Several simulated modules, each on its own pseudo-terminal with its own EUI
// address and faults, the definition files of the firmware before and after the
// update, an image, a configuration file and a records database: the production
// line's integration tests. Protocol time runs at a tenth on both sides.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ModuleSimulator.h"
#include "base/Clock.h"
#include "production/ProvisionEvents.h"
#include "production/ProvisionLine.h"
#include "production/ProvisionPlan.h"
#include "production/RecordStore.h"
#include "serial/SerialPort.h"
#include "support/FirmwareImageFile.h"
#include "support/TempFolder.h"
#include "support/TestDefinitions.h"

namespace zendra::test {

inline constexpr double kScale = 0.1;
inline constexpr auto kDeadline = std::chrono::seconds(60);

// What the line is told, kept for the tests; waits on conditions with deadlines.
class RecordingEvents : public ProvisionEvents {
 public:
  void Started(const std::string& port) override {
    std::lock_guard lock(mutex_);
    started.push_back(port);
    changed_.notify_all();
  }
  void Progress(const std::string& port, const ProvisionProgress& progress) override {
    std::lock_guard lock(mutex_);
    auto& seen = steps[port];
    if (seen.empty() || seen.back() != progress.step) seen.push_back(progress.step);
    if (progress.step == ProvisionStep::kUpdate && progress.totalBytes > 0)
      updateBytes[port] = progress.bytes;
    changed_.notify_all();
  }
  void Finished(const ProvisionResult& result) override {
    std::lock_guard lock(mutex_);
    finished.push_back(result);
    changed_.notify_all();
  }
  void Unplugged(const std::string& port) override {
    std::lock_guard lock(mutex_);
    unplugged.push_back(port);
    changed_.notify_all();
  }
  // Waits until `done` holds (under the lock).
  template <typename Condition>
  bool WaitFor(Condition done, std::chrono::milliseconds timeout = kDeadline) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return done(*this); });
  }
  std::vector<ProvisionResult> Finished() {
    std::lock_guard lock(mutex_);
    return finished;
  }

  std::vector<std::string> started;
  std::map<std::string, std::vector<ProvisionStep>> steps;
  std::map<std::string, std::int64_t> updateBytes;
  std::vector<ProvisionResult> finished;
  std::vector<std::string> unplugged;

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
};

class ProductionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Clock::SetScale(kScale);
    folder.Write("MA11_v1.10.0.zmcon", kTestDefinitions);
    folder.Write("MA11_v1.11.0.zmcon", kTestDefinitions);
    folder.Write("MB11_v3.0.zmcon", kTestDefinitions);
    simDefinitions = folder.Write("module.zmcon.sim", kTestDefinitions);
    config = folder.Write("line.zgb",
                          "[Firmware]\r\nVersion=MA11_v1.11.0.zmcon\r\nNum_of_saves=3\r\n"
                          "[0]\r\nName=Node/Node name\r\nCommand=AT+NODENAME=Line\r\n"
                          "[1]\r\nName=Radio/Channel\r\nCommand=AT+CHANNEL=20\r\n"
                          "[2]\r\nName=Network/PAN ID\r\nCommand=AT+PANID=1A2B\r\n");
    recordPath = folder.Path() + "records.db";
    std::string error;
    ASSERT_TRUE(records.Open(recordPath, error)) << error;
  }
  void TearDown() override {
    modules.clear();
    Clock::SetScale(1.0);
  }

  // Module number `n` (1-based): EUI 000D6F00000000nn, its UART following the host.
  sim::ModuleSimulator& AddModule(int n, sim::Faults faults = {}, std::string version = "v1.10.0",
                                  std::string product = "MA11") {
    sim::Options o;
    o.productName = std::move(product);
    o.version = std::move(version);
    char eui[17];
    std::snprintf(eui, sizeof eui, "000D6F00000000%02X", n);
    o.euiAddress = eui;
    o.baudRate = 0;
    o.timeScale = kScale;
    o.definitionsFile = simDefinitions;
    o.faults = std::move(faults);
    modules.push_back(std::make_unique<sim::ModuleSimulator>(o));
    EXPECT_TRUE(modules.back()->Start());
    return *modules.back();
  }

  ProvisionRequest Request(bool withImage = true, bool withConfig = true) {
    ProvisionRequest request;
    request.settings.baudRate = 115200;
    request.settings.flowControl = SerialPort::kFlowNone;
    if (withImage) request.image = image.Path();
    if (withConfig) request.config = config;
    request.definitionsFolder = folder.Path();
    return request;
  }
  ProvisionPlan Plan(const ProvisionRequest& request) {
    PlanCheck check = MakeProvisionPlan(request);
    EXPECT_TRUE(check.plan) << check.error;
    return check.plan ? *check.plan : ProvisionPlan{};
  }
  // The line's run of `plan` over every module, to its end: the results in the
  // order the ports ended.
  std::vector<ProvisionResult> RunAll(const ProvisionPlan& plan,
                                      RecordingEvents* events = nullptr) {
    RecordingEvents unwatched;
    ProvisionLine line(plan, events ? *events : unwatched, &records);
    for (const auto& module : modules) EXPECT_TRUE(line.Start(module->PortPath()));
    line.WaitAll();
    return line.Results();
  }
  std::vector<ProvisionRecord> Records() {
    std::vector<ProvisionRecord> list;
    std::string error;
    EXPECT_TRUE(records.Query({}, list, error)) << error;
    return list;
  }

  TempFolder folder;
  // 40 blocks of 128 bytes: a transfer long enough to break off in the middle.
  FirmwareImageFile image{"MA11", "v1.11.0", 40 * 128};
  std::string simDefinitions, config, recordPath;
  RecordStore records;
  std::vector<std::unique_ptr<sim::ModuleSimulator>> modules;
};

}  // namespace zendra::test
