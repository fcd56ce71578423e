// The network scan against the simulated module: what goes out on the line, which
// of the module's lines become devices, scans that fail or stay silent, a sleepy
// local module, and node names that hold the letters of a verdict.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <ostream>
#include <thread>

#include "base/Clock.h"
#include "discovery/NetworkScan.h"
#include "support/SimHarness.h"

namespace zendra {
void PrintTo(const DeviceRecord& d, std::ostream* out) {
  *out << '{' << d.nodeType << '|' << d.ieeeAddress << '|' << d.version << '|' << d.modelType
       << '|' << d.nodeName << '}';
}
}  // namespace zendra

namespace zendra::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using namespace std::chrono_literals;
using Outcome = ScanResult::Outcome;

// Restated: the scan command and the message of a failed scan.
constexpr const char* kCommand = "at+ds\r\n";
constexpr const char* kFailed = "ERROR: Could not scan the remote device.";
constexpr double kScale = 0.1;

DeviceRecord Row(std::string type, std::string address, std::string version, std::string model,
                 std::string name) {
  return {std::move(type), std::move(address), std::move(version), std::move(model),
          std::move(name)};
}

// How the module names a node's type in its scan reply.
std::string TypeName(int nodeType) {
  switch (nodeType) {
    case 1: return "COO";
    case 2: return "FFD";
    case 3: return "RFD";
    case 4: return "SED";
    default: return "UNK";
  }
}

DeviceRecord RowOf(const sim::RemoteNode& node) {
  return Row(TypeName(node.nodeType), node.euiAddress, node.version, node.productName,
             node.nodeName);
}

// Polls `condition` until it holds; false after `timeout`.
template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds timeout = 5s) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

sim::Options Network(std::vector<sim::RemoteNode> nodes) {
  sim::Options options;
  options.remotes = std::move(nodes);
  return options;
}

TEST(NetworkScan, ListsFiveNodesAndSkipsTheMarkedLinesWhileOddRecordsKeepTheirRows) {
  const auto nodes = sim::GeneratedNetwork(5);
  sim::Options options = Network(nodes);
  options.scan.markers = true;
  options.scan.oddRecords = true;
  options.scan.paddedVersions = true;
  SimHarness h(options, kScale);
  ASSERT_TRUE(h.Connect(9600));
  h.Sim().ClearLog();

  const ScanResult result = RunNetworkScan(h.Line(), h.Op());
  EXPECT_EQ(result.outcome, Outcome::kListed);
  // The header and the child table take no row; the record of three fields keeps its
  // last text as the name, the one of seven its surplus.
  EXPECT_THAT(result.devices,
              ElementsAre(RowOf(nodes[0]), RowOf(nodes[1]),
                          Row("RFD", "000D6F00000DEAD1", "", "", "v1.0.2"),
                          Row("FFD", "000D6F00000DEAD2", "v2.0.1", "MB11", "Hall|LQI 200"),
                          RowOf(nodes[2]), RowOf(nodes[3]), RowOf(nodes[4])));
  EXPECT_THAT(h.Sim().ReceivedLines(), ElementsAre(kCommand));
  EXPECT_THAT(h.Op().Messages(), IsEmpty());

  // The scan took its "OK" line whole: the next transaction reads its own answer.
  EXPECT_EQ(h.Link().QueryAtCommand("AT+NODENAME\r\n", 1), "Zendra1");
}

TEST(NetworkScan, NamesHoldingOkOrErrorDoNotEndTheScanEarly) {
  SimHarness h(Network(sim::OddlyNamedNodes()), kScale);
  ASSERT_TRUE(h.Connect(9600));
  const ScanResult result = RunNetworkScan(h.Line(), h.Op());
  ASSERT_EQ(result.outcome, Outcome::kListed);
  std::vector<std::string> names;
  for (const auto& device : result.devices) names.push_back(device.nodeName);
  EXPECT_THAT(names, ElementsAre("Kitchen node", "Shelf|A|2", "BOOKSHELF", "ERROR lab", "OK lab"));
  EXPECT_EQ(result.devices[4].ieeeAddress, "000D6F00000A0005");
  EXPECT_THAT(h.Op().Messages(), IsEmpty());
}

TEST(NetworkScan, AnEmptyNetworkListsNothingAndSaysNothing) {
  SimHarness h({}, kScale);
  ASSERT_TRUE(h.Connect(9600));
  const std::string reply = CollectAtReply(h.Line(), kCommand, 15);
  EXPECT_EQ(reply, "OK\r\n");
  const ScanResult result = RunNetworkScan(h.Line(), h.Op());
  EXPECT_EQ(result.outcome, Outcome::kListed);
  EXPECT_THAT(result.devices, IsEmpty());
  EXPECT_THAT(h.Op().Messages(), IsEmpty());
}

// A last piece "OK" is no verdict until its line has ended: at 1200 baud the reader
// sees the bytes one by one, so the collector meets "...\r\nOK" before "AY|...".
TEST(NetworkScan, ALineThatOnlyBeginsWithOkDoesNotEndTheCollection) {
  sim::Options options;
  options.baudRate = 1200;
  options.faults.scanSilent = true;
  SimHarness h(options, kScale);
  // No handshake: its answers take longer than its compressed time-outs at this rate.
  ASSERT_TRUE(h.OpenPort(1200));

  auto scan = std::async(std::launch::async, [&] { return RunNetworkScan(h.Line(), h.Op()); });
  ASSERT_TRUE(h.Sim().WaitForLine("at+ds", 5s));
  h.Sim().Inject("\r\nFFD|0000000000000001|0001|v1.0|MA11|First\r\nOK");
  h.Sim().Inject("AY|0000000000000002|0002|v1.0|MA11|Second\r\nOK\r\n");
  const ScanResult result = scan.get();
  ASSERT_EQ(result.outcome, Outcome::kListed);
  EXPECT_THAT(result.devices,
              ElementsAre(Row("FFD", "0000000000000001", "v1.0", "MA11", "First"),
                          Row("OKAY", "0000000000000002", "v1.0", "MA11", "Second")));
}

TEST(NetworkScan, AnErrorReplyFailsWithTheScanMessage) {
  sim::Options options = Network(sim::GeneratedNetwork(3));
  options.faults.scanError = true;
  SimHarness h(options, kScale);
  ASSERT_TRUE(h.Connect(9600));
  EXPECT_EQ(CollectAtReply(h.Line(), kCommand, 15), "ERROR");
  const ScanResult result = RunNetworkScan(h.Line(), h.Op());
  EXPECT_EQ(result.outcome, Outcome::kFailed);
  EXPECT_THAT(result.devices, IsEmpty());
  EXPECT_THAT(h.Op().Messages(), ElementsAre(kFailed));
}

TEST(NetworkScan, ASilentModuleFailsTheScanAfterFifteenSeconds) {
  constexpr double kFast = 0.05;  // 15 s of protocol time in 750 ms
  sim::Options options = Network(sim::GeneratedNetwork(3));
  options.faults.scanSilent = true;
  SimHarness h(options, kFast);
  ASSERT_TRUE(h.Connect(9600));
  const auto start = Clock::Now();
  const ScanResult result = RunNetworkScan(h.Line(), h.Op());
  const auto took = Clock::Now() - start;
  EXPECT_EQ(result.outcome, Outcome::kFailed);
  EXPECT_THAT(h.Op().Messages(), ElementsAre(kFailed));
  EXPECT_GE(took, Clock::Scaled(15000));
  EXPECT_LT(took, Clock::Scaled(15000) + 2s);
}

TEST(NetworkScan, APortLostDuringTheScanEndsItAtOnceWithTheLostPortMessage) {
  // At real time the scan would wait 15 s for the silent module.
  sim::Options options = Network(sim::GeneratedNetwork(3));
  options.faults.scanSilent = true;
  SimHarness h(options, 1.0);
  ASSERT_TRUE(h.Connect(9600));
  std::thread unplug([&] {
    if (h.Sim().WaitForLine(kCommand, 10s)) h.Sim().Vanish();
  });
  const auto start = std::chrono::steady_clock::now();
  const ScanResult result = RunNetworkScan(h.Line(), h.Op());
  const auto took = std::chrono::steady_clock::now() - start;
  unplug.join();
  EXPECT_EQ(result.outcome, Outcome::kFailed);
  EXPECT_THAT(h.Op().Messages(),
              ElementsAre("ERROR: The serial port was lost (the device was unplugged or its "
                          "line closed)."));
  EXPECT_LT(took, 8s);
}

TEST(NetworkScan, AClosedPortFailsAtOnceWithNothingSent) {
  sim::Options options;
  options.nodeType = 4;  // not even the wake-up goes out
  SimHarness h(options, kScale);
  h.Link().sleepy = true;
  EXPECT_EQ(CollectAtReply(h.Line(), kCommand, 15), "ERROR");
  const ScanResult result = RunNetworkScan(h.Line(), h.Op());
  EXPECT_EQ(result.outcome, Outcome::kFailed);
  EXPECT_THAT(h.Op().Messages(), ElementsAre(kFailed));
  EXPECT_THAT(h.Sim().ReceivedLines(), IsEmpty());
}

TEST(NetworkScan, ASleepyLocalModuleIsWokenWithALineFeedAndTwoHundredMillisecondsFirst) {
  sim::Options options = Network(sim::GeneratedNetwork(2));
  options.nodeType = 4;
  SimHarness h(options, kScale);
  ASSERT_TRUE(h.Connect(9600));
  ASSERT_TRUE(h.Link().sleepy);
  ASSERT_TRUE(WaitUntil([&] { return h.Sim().Asleep(); }));
  h.Sim().ClearLog();

  const auto start = Clock::Now();
  auto scan = std::async(std::launch::async, [&] { return RunNetworkScan(h.Line(), h.Op()); });
  ASSERT_TRUE(h.Sim().WaitForLine("at+ds", 5s));
  EXPECT_GE(Clock::Now() - start, Clock::Scaled(200));
  const ScanResult result = scan.get();
  EXPECT_EQ(result.outcome, Outcome::kListed);
  EXPECT_EQ(result.devices.size(), 2u);
  // The sleeping module wakes on the "\n" (and takes it for nothing); the command is heard.
  EXPECT_THAT(h.Sim().MissedLines(), ElementsAre("\n"));
  EXPECT_THAT(h.Sim().ReceivedLines(), ElementsAre(kCommand));
}

TEST(NetworkScan, AStoppedScanEndsAtOnceWithoutAMessage) {
  sim::Options options = Network(sim::GeneratedNetwork(2));
  options.faults.scanSilent = true;
  SimHarness h(options, 1.0);  // real time: the scan would wait 15 s
  ASSERT_TRUE(h.Connect(9600));
  std::stop_source stop;
  auto line = h.Conn().TryLease("scan", stop.get_token());
  ASSERT_TRUE(line);
  const auto start = Clock::Now();
  auto scan = std::async(std::launch::async, [&] { return RunNetworkScan(*line, h.Op()); });
  ASSERT_TRUE(h.Sim().WaitForLine("at+ds", 5s));
  stop.request_stop();
  EXPECT_EQ(scan.get().outcome, Outcome::kStopped);
  EXPECT_LT(Clock::Now() - start, 5s);
  EXPECT_THAT(h.Op().Messages(), IsEmpty());
}

}  // namespace
}  // namespace zendra::test
