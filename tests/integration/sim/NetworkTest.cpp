// The simulated module's network as the host sees it on the line: the scan
// ("at+ds") with its marker lines and odd records, a generated network of hundreds
// of nodes, scans that fail, and remote nodes that cannot be reached or refuse
// single registers.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

#include "SimTestBench.h"
#include "SimulatorCommandLine.h"

namespace zendra::test::modsim {
namespace {

using std::chrono::steady_clock;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr char kError[] = "\r\nERROR\r\n";

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (std::size_t bar; (bar = line.find('|', start)) != std::string::npos; start = bar + 1)
    fields.push_back(line.substr(start, bar - start));
  fields.push_back(line.substr(start));
  return fields;
}

RemoteNode Remote(std::string eui, std::string name, int type, std::string product = "MA11",
                  std::string version = "v1.10.0") {
  RemoteNode node;
  node.euiAddress = std::move(eui);
  node.nodeName = std::move(name);
  node.nodeType = type;
  node.productName = std::move(product);
  node.version = std::move(version);
  return node;
}

// The scan's whole reply with echo off, read until its final "OK" line.
std::string ScanReply(SimTestBench& bench, Ms timeout = Ms(3000)) {
  bench.host->Take();
  bench.host->Write("at+ds\r\n");
  bench.host->ReadUntil(
      [](const std::string& r) {
        return r.find("\r\nOK\r\n") != std::string::npos || r.rfind("OK\r\n", 0) == 0;
      },
      timeout);
  return bench.host->Take();
}

TEST(SimNetworkScan, ListsEveryNodeWithItsMarkersAndOddRecordsInTheModulesLayout) {
  Options options;
  options.baudRate = 115200;
  options.timeScale = 0.1;
  options.scan.lineGapMs = 0;
  options.scan.markers = true;
  options.scan.oddRecords = true;
  options.scan.paddedVersions = true;
  RemoteNode barn = Remote("000D6F00000B0B0B", "Barn door", 2, "MC21X", "v1.0.0");
  barn.shortAddress = "1A2B";
  RemoteNode shelf = Remote("000D6F00000C0C0C", "Shelf|OK lab", 4);
  shelf.shortAddress = "3C4D";
  RemoteNode gate = Remote("000D6F00000D0D0D", "Gate", 3, "MB11", "v3.0");
  gate.shortAddress = "5E6F";
  options.remotes = {barn, shelf, gate};
  SimTestBench bench(options, 115200);
  ASSERT_TRUE(bench.Ready());

  // With echo on the command runs at its CR and the scan answers later, so the
  // echo of the LF comes before the first line.
  std::string echoed = bench.Ask("at+ds\r\n", "\r\nOK\r\n");
  EXPECT_THAT(echoed, ::testing::StartsWith("at+ds\r\n*|Coordinator|"));
  ASSERT_EQ(bench.Command("ATE0\r\n"), "ATE0\r\r\nOK\r\n");

  std::string reply = ScanReply(bench);
  EXPECT_EQ(reply,
            "*|Coordinator|000D6F0000A1B2C3|0000|v1.10.0|MA11|Zendra1\r\n"
            "FFD|000D6F00000B0B0B|1A2B|v1.0.0    |MC21X|Barn door\r\n"
            "CLD|2 children\r\n"
            "CHD|3C4D|000D6F00000C0C0C\r\n"
            "CHD|5E6F|000D6F00000D0D0D\r\n"
            "SED|000D6F00000C0C0C|3C4D|v1.10.0   |MA11|Shelf|OK lab\r\n"
            "RFD|000D6F00000DEAD1|v1.0.2\r\n"
            "FFD|000D6F00000DEAD2|7E01|v2.0.1|MB11|Hall|LQI 200\r\n"
            "RFD|000D6F00000D0D0D|5E6F|v3.0      |MB11|Gate\r\n"
            "OK\r\n");

  // The scan shows the table as it is now: a renamed node, a new version.
  ASSERT_EQ(bench.Command("AT+RC=000D6F00000D0D0D,AT+NODENAME=Gate ERROR\r\n"), "\r\nOK\r\n");
  bench.module->SetRemoteRegister("000D6F00000B0B0B", "AT+VERSION", "v1.0.1");
  std::string again = ScanReply(bench);
  EXPECT_THAT(again, HasSubstr("\r\nFFD|000D6F00000B0B0B|1A2B|v1.0.1    |MC21X|Barn door\r\n"));
  EXPECT_THAT(again, HasSubstr("\r\nRFD|000D6F00000D0D0D|5E6F|v3.0      |MB11|Gate ERROR\r\n"));
  EXPECT_THAT(bench.module->ReceivedLines(), ::testing::Contains("at+ds\r\n"));
}

TEST(SimNetworkScan, ReportsAsItGoesAndARestartCutsItShort) {
  Options options;
  options.baudRate = 115200;
  options.scan.scanMs = 150;
  options.scan.lineGapMs = 80;
  options.remotes = GeneratedNetwork(4);
  options.recordWire = true;
  SimTestBench bench(options, 115200);
  ASSERT_TRUE(bench.Ready());
  ASSERT_EQ(bench.Command("ATE0\r\n"), "ATE0\r\r\nOK\r\n");

  bench.host->Take();
  auto sent = steady_clock::now();
  bench.host->Write("at+ds\r\n");
  ASSERT_TRUE(bench.host->ReadUntilContains("OK\r\n", Ms(3000)));
  const std::string reply = bench.host->Received();
  const auto& times = bench.host->Times();
  ASSERT_EQ(Lines(reply).size(), 5u) << reply;
  // Each line comes out whole, then a pause of the line gap before the next: seen
  // on the line itself (a host busy with other work may read two lines at once).
  EXPECT_GE(times.front() - sent, Ms(150));
  std::vector<steady_clock::time_point> lineStarts;
  bool lineStart = true;
  for (const auto& b : bench.module->WireRecord()) {
    if (b.fromHost || b.at < sent) continue;
    if (lineStart) lineStarts.push_back(b.at);
    lineStart = b.byte == '\n';
  }
  ASSERT_EQ(lineStarts.size(), 5u);
  for (std::size_t i = 1; i < lineStarts.size(); ++i)
    EXPECT_GE(lineStarts[i] - lineStarts[i - 1], Ms(50)) << "line " << i;
  bench.host->Take();

  // A module that restarts in the middle of its scan does not finish it.
  bench.host->Write("at+ds\r\n");
  ASSERT_TRUE(bench.host->ReadUntilContains("\r\n", Ms(2000)));
  bench.host->Write("ATZ\r\n");
  ASSERT_TRUE(bench.host->ReadUntilContains("\r\nOK\r\n", Ms(2000)));
  EXPECT_TRUE(bench.host->StaysQuiet(Ms(400)));
  EXPECT_THAT(bench.host->Take(), Not(HasSubstr("Sleeper 004")));
}

TEST(SimNetworkScan, GeneratedNetworkOfHundredsIsTheSameEveryTimeAndReachable) {
  const auto nodes = GeneratedNetwork(300);
  ASSERT_EQ(nodes.size(), 300u);
  std::set<std::string> addresses;
  for (const auto& node : nodes) {
    addresses.insert(node.euiAddress);
    EXPECT_LE(node.nodeName.size(), 16u) << "the node name register takes 16 characters";
  }
  EXPECT_EQ(addresses.size(), 300u) << "no two nodes share an address";
  EXPECT_EQ(GeneratedNetwork(300).back().euiAddress, nodes.back().euiAddress);

  Options options;
  options.baudRate = 115200;
  options.timeScale = 0.1;
  options.scan.lineGapMs = 1;
  options.remotes = nodes;
  SimTestBench bench(options, 115200);
  ASSERT_TRUE(bench.Ready());
  ASSERT_EQ(bench.Command("ATE0\r\n"), "ATE0\r\r\nOK\r\n");
  auto lines = Lines(ScanReply(bench, Ms(8000)));
  ASSERT_EQ(lines.size(), 301u);
  EXPECT_EQ(lines.back(), "OK");
  const char* typeNames[] = {"", "COO", "FFD", "RFD", "SED"};
  std::set<std::string> shortAddresses;
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    auto fields = Fields(lines[i]);
    ASSERT_EQ(fields.size(), 6u) << lines[i];
    EXPECT_EQ(fields[0], typeNames[nodes[i].nodeType]);
    EXPECT_EQ(fields[1], nodes[i].euiAddress);
    EXPECT_THAT(fields[2], ::testing::MatchesRegex("[0-9A-F]{4}"));
    EXPECT_NE(fields[2], "0000") << "the coordinator's address";
    shortAddresses.insert(fields[2]);
    EXPECT_EQ(fields[3], nodes[i].version);
    EXPECT_EQ(fields[4], nodes[i].productName);
    EXPECT_EQ(fields[5], nodes[i].nodeName);
  }
  EXPECT_GE(shortAddresses.size(), 290u) << "short addresses are spread";

  // Every listed node is there to be asked.
  const RemoteNode& last = nodes.back();
  EXPECT_EQ(bench.Command("AT+RC=" + last.euiAddress + ",AT+NODENAME\r\n"),
            "\r\n" + last.nodeName + "\r\n\r\nOK\r\n");
}

TEST(SimNetworkScan, AnswersErrorOrNothingWhenToldTo) {
  Options options;
  options.timeScale = 0.2;
  options.scan.scanMs = 500;  // 100 ms here
  options.faults.scanError = true;
  options.remotes = OddlyNamedNodes();
  SimTestBench bench(options);
  ASSERT_TRUE(bench.Ready());
  ASSERT_EQ(bench.Command("ATE0\r\n"), "ATE0\r\r\nOK\r\n");

  auto sent = steady_clock::now();
  EXPECT_EQ(bench.Command("at+ds\r\n"), kError);
  EXPECT_GE(steady_clock::now() - sent, Ms(100));

  Faults silent;
  silent.scanSilent = true;
  bench.module->SetFaults(silent);
  bench.host->Take();
  bench.host->Write("at+ds\r\n");
  EXPECT_TRUE(bench.host->StaysQuiet(Ms(500)));
  EXPECT_EQ(bench.Command("AT\r\n"), "\r\nOK\r\n") << "the module itself still answers";

  // The odd names come whole, in their order, "OK" and "ERROR" inside them.
  bench.module->SetFaults(Faults{});
  auto lines = Lines(ScanReply(bench));
  ASSERT_EQ(lines.size(), 6u);
  std::vector<std::string> names;
  for (std::size_t i = 0; i < 5; ++i) {
    std::size_t at = 0;
    for (int bar = 0; bar < 5; ++bar) at = lines[i].find('|', at) + 1;
    names.push_back(lines[i].substr(at));
  }
  EXPECT_THAT(names, ElementsAre("Kitchen node", "Shelf|A|2", "BOOKSHELF", "ERROR lab", "OK lab"));
}

TEST(SimRemoteNodes, UnreachableSilentAndRefusingRemotes) {
  Options options;
  options.timeScale = 0.1;
  options.radioDelayMs = 100;    // 10 ms here
  options.unreachableMs = 3000;  // 300 ms here
  RemoteNode gone = Remote("000D6F0000000001", "Gone", 2);
  gone.faults.reach = RemoteFaults::Reach::Unreachable;
  RemoteNode mute = Remote("000D6F0000000002", "Mute", 2);
  mute.faults.reach = RemoteFaults::Reach::Silent;
  RemoteNode picky = Remote("000D6F0000000003", "Picky", 3);
  picky.faults.errorCommands = {"at+channel"};
  options.remotes = {gone, mute, picky};
  SimTestBench bench(options);
  ASSERT_TRUE(bench.Ready());
  ASSERT_EQ(bench.Command("ATE0\r\n"), "ATE0\r\r\nOK\r\n");

  // The local module retries an unreachable node before it reports ERROR.
  auto sent = steady_clock::now();
  EXPECT_EQ(bench.Command("AT+RC=000D6F0000000001,AT+PRODUCTNAME\r\n"), kError);
  EXPECT_GE(steady_clock::now() - sent, Ms(300));

  // A silent node leaves the host's query without any reply at all.
  bench.host->Take();
  bench.host->Write("AT+RC=000D6F0000000002,AT+PRODUCTNAME\r\n");
  EXPECT_TRUE(bench.host->StaysQuiet(Ms(600)));

  // Refusals are per register and per node; the write does not happen.
  EXPECT_EQ(bench.Command("AT+RC=000D6F0000000003,AT+CHANNEL\r\n"), kError);
  EXPECT_EQ(bench.Command("AT+RC=000D6F0000000003,AT+CHANNEL=15\r\n"), kError);
  EXPECT_EQ(bench.module->RemoteRegister("000D6F0000000003", "AT+CHANNEL"), "11");
  EXPECT_EQ(bench.Command("AT+RC=000D6F0000000003,AT+PANID\r\n"), "\r\n0000\r\n\r\nOK\r\n");
  EXPECT_EQ(bench.Command("AT+CHANNEL\r\n"), "\r\n11\r\n\r\nOK\r\n") << "the local module's own";

  // Faults change live: the silent node comes back, the unreachable one answers.
  bench.module->SetRemoteFaults("000d6f0000000002", RemoteFaults{});
  bench.module->SetRemoteFaults("000D6F0000000001", RemoteFaults{});
  sent = steady_clock::now();
  EXPECT_EQ(bench.Command("AT+RC=000D6F0000000002,AT+NODENAME\r\n"), "\r\nMute\r\n\r\nOK\r\n");
  EXPECT_EQ(bench.Command("AT+RC=000D6F0000000001,AT+NODENAME\r\n"), "\r\nGone\r\n\r\nOK\r\n");
  EXPECT_LT(steady_clock::now() - sent, Ms(300));
}

TEST(SimRemoteNodes, ProgramOptionsDescribeTheNetwork) {
  SimulatorCommandLine line;
  CLI::App app;
  line.AddTo(app);
  app.parse(
      "--remote-fault 000D6F0000000009,clone-never-ends "
      "--remote-fault 000d6f0000000009,refuse-block=2:3 "
      "--remote-fault 000D6F00000A0004,error-command=AT+PANID "
      "--remote 000D6F0000000009,MB11,v3.0,Far,3 --network 7 --odd-names --scan-markers "
      "--scan-line-gap 0 --scan-error --relay-block-ms 90",
      false);
  Options options = line.Finish({});
  ASSERT_EQ(options.remotes.size(), 1u + 5u + 7u);
  EXPECT_EQ(options.remotes[0].euiAddress, "000D6F0000000009");
  EXPECT_EQ(options.remotes[1].nodeName, "Kitchen node");
  EXPECT_EQ(options.remotes[6].euiAddress, GeneratedNetwork(1)[0].euiAddress);
  EXPECT_EQ(options.remotes[0].faults.clone, RemoteFaults::Clone::NeverEnds);
  EXPECT_EQ(options.remotes[0].faults.refuseBlock, 2);
  EXPECT_EQ(options.remotes[0].faults.refuseTimes, 3);
  EXPECT_THAT(options.remotes[4].faults.errorCommands, ElementsAre("AT+PANID"));
  EXPECT_TRUE(options.scan.markers);
  EXPECT_EQ(options.scan.lineGapMs, 0);
  EXPECT_TRUE(options.faults.scanError);
  EXPECT_EQ(options.relayBlockMs, 90);

  for (const char* wrong : {"000D6F00000000FF,silent", "000D6F0000000009,sulky",
                            "000D6F0000000009,silent-after-block="}) {
    SimulatorCommandLine other;
    CLI::App otherApp;
    other.AddTo(otherApp);
    otherApp.parse(std::string("--remote 000D6F0000000009 --remote-fault ") + wrong, false);
    EXPECT_THROW(other.Finish({}), CLI::ValidationError) << wrong;
  }
}

}  // namespace
}  // namespace zendra::test::modsim
