// Detect against simulated modules on real pseudo-terminals, at real time: the
// port and rate a module answers at, what it is, a port that another program
// holds, and the bound on the whole run.

#include <gmock/gmock.h>

#include <chrono>
#include <memory>
#include <thread>

#include "ModuleSimulator.h"
#include "base/Clock.h"
#include "serial/PortDetect.h"
#include "serial/SerialPort.h"

namespace zendra::test {
namespace {

using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::IsSubsetOf;
using namespace std::chrono_literals;
using State = DetectedPort::State;

std::unique_ptr<sim::ModuleSimulator> StartModule(sim::Options options) {
  Clock::SetScale(1.0);
  options.timeScale = 1.0;
  auto module = std::make_unique<sim::ModuleSimulator>(options);
  if (!module->Start()) return nullptr;
  return module;
}

sim::Options AtRate(int baudRate) {
  sim::Options o;
  o.productName = "MB21";
  o.version = "v2.4.1";
  o.baudRate = baudRate;
  return o;
}

// What the module heard that was not noise: bytes at a wrong rate reach it garbled
// (with the high bit set).
std::vector<std::string> CleanLines(const sim::ModuleSimulator& module) {
  std::vector<std::string> clean;
  for (const auto& line : module.ReceivedLines()) {
    const bool noise = std::any_of(line.begin(), line.end(), [](char c) {
      return (static_cast<unsigned char>(c) & 0x80) != 0;
    });
    if (!noise) clean.push_back(line);
  }
  return clean;
}

TEST(PortDetect, FindsAModuleAtARateOtherThanTheDefaultAndReadsWhatItIs) {
  auto module = StartModule(AtRate(57600));
  ASSERT_TRUE(module);
  const auto started = std::chrono::steady_clock::now();
  const auto results = PortDetect().Run({module->PortPath()});
  const auto took = std::chrono::steady_clock::now() - started;

  ASSERT_EQ(results.size(), 1u);
  const DetectedPort& found = results[0];
  EXPECT_EQ(found.port, module->PortPath());
  EXPECT_EQ(found.state, State::kModule);
  EXPECT_EQ(found.baudRate, 57600);
  EXPECT_EQ(found.productName, "MB21");
  EXPECT_EQ(found.firmwareVersion, "v2.4.1");
  // 115200 (1.2 s: a bootloader waiting for an upload asks once a second) and
  // 9600 (0.3 s) first, then 57600 answers at once.
  EXPECT_LT(took, 2500ms);
  EXPECT_GT(took, 1400ms) << "the two rates before it were given their time";

  // Nothing was sent that could change the module: the probe, the two reads.
  EXPECT_THAT(CleanLines(*module),
              IsSubsetOf({"\r\n", "AT\r\n", "AT+PRODUCTNAME\r\n", "AT+VERSION\r\n"}));
  EXPECT_GT(module->GarbledBytes(), 0u) << "the wrong rates were tried first";
}

TEST(PortDetect, APortHeldByAnotherProgramIsReportedBusyAndLeftAlone) {
  auto held = StartModule(AtRate(9600));
  auto free = StartModule(AtRate(19200));
  ASSERT_TRUE(held && free);
  SerialPort holder;  // another program on that port
  ASSERT_TRUE(holder.Open(held->PortPath(), 9600, 0, 8, 0, SerialPort::kFlowNone));

  const auto results = PortDetect().Run({held->PortPath(), free->PortPath()});
  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(results[0].state, State::kBusy);
  EXPECT_EQ(results[0].detail, held->PortPath() + " is in use by another program.");
  EXPECT_FALSE(results[0].Found());
  EXPECT_EQ(results[1].state, State::kModule);
  EXPECT_EQ(results[1].baudRate, 19200);
  // Not one byte reached the held module.
  EXPECT_THAT(held->ReceivedLines(), IsEmpty());
  EXPECT_EQ(held->GarbledBytes(), 0u);
  // And the holder still has its port.
  EXPECT_TRUE(holder.IsOpen());
  EXPECT_EQ(holder.Write("AT\r\n"), 4);
}

TEST(PortDetect, ASilentPortIsTriedAtEveryRateWithinTheBound) {
  sim::Options o = AtRate(9600);
  o.faults.silent = true;
  auto module = StartModule(o);
  ASSERT_TRUE(module);
  const PortDetect detect;
  const auto started = std::chrono::steady_clock::now();
  const auto results = detect.Run({module->PortPath(), "/dev/zendra-no-such-port"});
  const auto took = std::chrono::steady_clock::now() - started;

  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(results[0].state, State::kNoAnswer);
  EXPECT_EQ(results[0].baudRate, 0);
  EXPECT_EQ(results[1].state, State::kNotOpened);
  EXPECT_THAT(results[1].detail, ::testing::HasSubstr("no such serial port"));
  // Ten rates of 0.3 s and 115200's 1.2 s; the ports were tried side by side.
  EXPECT_GE(took, 10 * 300ms + 1200ms);
  EXPECT_LT(took, detect.Bound(2));
  EXPECT_LT(detect.Bound(2), 8s);
  // It heard the probe at its own rate, and answered nothing.
  EXPECT_THAT(CleanLines(*module), IsSubsetOf({"\r\n", "AT\r\n"}));
}

TEST(PortDetect, ASleepyEndDeviceIsWokenByTheProbeAndAnsweredAtItsRate) {
  sim::Options o = AtRate(38400);
  o.nodeType = 4;
  // Asleep before the probe comes; woken, it stays awake longer than the probe's
  // pause between its line end and "AT".
  o.sleepAfterMs = 150;
  auto module = StartModule(o);
  ASSERT_TRUE(module);
  ASSERT_TRUE([&] {
    const auto deadline = std::chrono::steady_clock::now() + 2s;
    while (!module->Asleep() && std::chrono::steady_clock::now() < deadline)
      std::this_thread::yield();
    return module->Asleep();
  }());
  const auto results = PortDetect().Run({module->PortPath()});
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].state, State::kModule);
  EXPECT_EQ(results[0].baudRate, 38400);
  EXPECT_EQ(results[0].productName, "MB21");
}

TEST(PortDetect, AModuleWaitingInItsBootloaderIsFoundAt115200WithoutAMenuChoice) {
  sim::Options o = AtRate(9600);
  o.damaged = true;
  auto module = StartModule(o);
  ASSERT_TRUE(module);
  const auto results = PortDetect().Run({module->PortPath()});
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].state, State::kBootloader);
  EXPECT_EQ(results[0].baudRate, 115200);
  EXPECT_TRUE(results[0].Found());
  // Only line ends and "AT" reached the menu: no choice was made.
  EXPECT_TRUE(module->InBootloader());
  EXPECT_THAT(module->ReceivedImages(), IsEmpty());
  for (const auto& line : module->ReceivedLines()) {
    EXPECT_EQ(line.find_first_of("123"), std::string::npos) << "a menu choice: " << line;
  }
}

TEST(PortDetect, ABootloaderThatWaitsForAnUploadIsFoundAsABootloader) {
  sim::Options o = AtRate(9600);
  o.damaged = true;
  auto module = StartModule(o);
  ASSERT_TRUE(module);
  {
    // The menu's "1": from now on the bootloader only asks for blocks with 'C'.
    SerialPort port;
    ASSERT_TRUE(port.Open(module->PortPath(), 115200, 0, 8, 0, SerialPort::kFlowNone));
    port.Write("1");
    const auto deadline = Clock::Now() + 5s;
    std::string received;
    while (received.find('C') == std::string::npos && Clock::Now() < deadline) {
      port.Receive().WaitForBytes(deadline, {});
      received += port.Receive().TakeText();
    }
    ASSERT_NE(received.find('C'), std::string::npos) << "no upload request";
    port.Close();
  }
  const auto results = PortDetect().Run({module->PortPath()});
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].state, State::kBootloader);
  EXPECT_EQ(results[0].baudRate, 115200);
  // Nothing was uploaded and nothing cancelled: it still waits.
  EXPECT_TRUE(module->InBootloader());
  EXPECT_THAT(module->ReceivedImages(), IsEmpty());
}

TEST(PortDetect, AStopEndsTheRunAtOnce) {
  sim::Options o = AtRate(9600);
  o.faults.silent = true;
  auto module = StartModule(o);
  ASSERT_TRUE(module);
  std::stop_source stop;
  std::vector<DetectedPort> results;
  const auto started = std::chrono::steady_clock::now();
  std::jthread run([&] { results = PortDetect().Run({module->PortPath()}, stop.get_token()); });
  // Let it reach the second rate or so, then stop it.
  while (module->GarbledBytes() == 0 && std::chrono::steady_clock::now() - started < 5s)
    std::this_thread::yield();
  stop.request_stop();
  run.join();
  EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
  ASSERT_EQ(results.size(), 1u);
  EXPECT_FALSE(results[0].Found());
}

}  // namespace
}  // namespace zendra::test
