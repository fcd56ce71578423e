// Remote firmware updates through the simulated local module, as the host sees
// them on the line: an upload relayed to a remote node's bootloader (driven by a
// scripted XMODEM-CRC sender), clones of the local firmware, and the ways either
// goes wrong.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "HostXmodem.h"
#include "SimTestBench.h"

namespace zendra::test::modsim {
namespace {

using std::chrono::steady_clock;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr char kError[] = "\r\nERROR\r\n";
constexpr char kRelayStart[] = "\r\nStart remote bootloader, waiting for .ebl\r\n";
constexpr char kCloneStart[] = "\r\nStart cloning firmware to remote\r\n";

RemoteNode Remote(std::string eui, std::string version = "v1.9.5") {
  RemoteNode node;
  node.euiAddress = std::move(eui);
  node.version = std::move(version);
  return node;
}

Options RelayOptions(std::vector<RemoteNode> remotes) {
  Options options;
  options.baudRate = 115200;  // the manager updates remote nodes at 115200
  options.timeScale = 0.1;
  options.remotes = std::move(remotes);
  return options;
}

// Writes `bytes` and returns the first answer that is not a start request ('C'),
// or -1 when none comes in time.
int AnswerTo(HostPort& host, const std::string& bytes, Ms timeout = Ms(2000)) {
  host.Take();
  host.Write(bytes);
  int answer = -1;
  host.ReadUntil(
      [&](const std::string& r) {
        for (char c : r) {
          if (c != 'C') {
            answer = static_cast<unsigned char>(c);
            return true;
          }
        }
        return false;
      },
      timeout);
  return answer;
}

// Asks for a relay to `eui` and waits for the remote's first 'C'; `echo` is what
// comes before the "Start" text. Returns what came after it: start requests.
std::string OpenRelay(SimTestBench& bench, const std::string& eui, const std::string& echo = "") {
  const std::string expected = echo + kRelayStart;
  bench.host->Take();
  bench.host->Write("AT+BOOTLOAD=1," + eui + "\r\n");
  bench.host->ReadUntil(
      [&](const std::string& r) {
        return r.size() > expected.size() && r.find('C', expected.size()) != std::string::npos;
      },
      Ms(3000));
  std::string received = bench.host->Take();
  EXPECT_EQ(received.substr(0, expected.size()), expected);
  EXPECT_TRUE(bench.module->Relaying());
  return received.substr(std::min(expected.size(), received.size()));
}

TEST(SimRemoteUpdate, RelayedUploadReachesTheRemoteWhichThenRunsTheImagesVersion) {
  Options options = RelayOptions({Remote("000D6F00000B0B0B"), Remote("000D6F00000C0C0C")});
  options.remoteBootloadMs = 1500;  // 150 ms here
  options.relayBlockMs = 400;       // 40 ms here
  SimTestBench bench(options, 115200);
  ASSERT_TRUE(bench.Ready());
  ASSERT_EQ(bench.Command("ATE0\r\n"), "ATE0\r\r\nOK\r\n");

  // The local module reaches the remote's bootloader and says so with "Start",
  // without "OK" or "ERROR", and without a 'C' the sender would take too early.
  // The remote then asks for CRC blocks once a second (100 ms here) until the first.
  bench.host->Take();
  auto sent = steady_clock::now();
  bench.host->Write("AT+BOOTLOAD=1,000d6f00000b0b0b\r\n");
  const std::string startAndTwoRequests = std::string(kRelayStart) + "CC";
  ASSERT_TRUE(bench.host->ReadUntil(
      [&](const std::string& r) { return r.size() >= startAndTwoRequests.size(); }, Ms(3000)));
  EXPECT_EQ(bench.host->Received(), startAndTwoRequests);
  const auto& times = bench.host->Times();
  EXPECT_GE(times.front() - sent, Ms(150));
  EXPECT_GE(times.back() - times[times.size() - 2], Ms(80));
  EXPECT_TRUE(bench.module->Relaying());

  const std::string image = EblImage("MA11 remote image VERSION=v1.12.0;" + std::string(300, '\x7E'));
  // Every answer crosses the radio hop after the block has arrived.
  sent = steady_clock::now();
  EXPECT_EQ(AnswerTo(*bench.host, Block(1, image)), kAck);
  EXPECT_GE(steady_clock::now() - sent, Ms(40) + 133 * CharTime(115200));
  std::string corrupt = Block(2, image);
  corrupt[70] ^= 0x20;
  EXPECT_EQ(AnswerTo(*bench.host, corrupt), kNak);
  EXPECT_EQ(AnswerTo(*bench.host, "\r\nnoise" + Block(2, image)), kAck) << "noise is passed over";
  EXPECT_EQ(AnswerTo(*bench.host, Block(2, image)), kAck) << "a repeat after a lost ACK";
  EXPECT_EQ(AnswerTo(*bench.host, Block(3, image)), kAck);
  EXPECT_EQ(AnswerTo(*bench.host, std::string(1, kEot)), kAck);
  // The manager ends with EOT and a line end without waiting for the answer.
  bench.host->Take();
  bench.host->Write(std::string(1, kEot) + "\r\n");
  ASSERT_TRUE(bench.host->ReadUntilContains("omplete\r\n", Ms(2000)));
  EXPECT_EQ(bench.host->Take(), std::string(1, kAck) + "\r\nRemote upload complete\r\n");
  ASSERT_TRUE(Eventually([&] { return !bench.module->Relaying(); }, Ms(1000)));

  auto relayed = bench.module->ReceivedRemoteImages();
  ASSERT_EQ(relayed.size(), 1u);
  EXPECT_EQ(relayed[0].euiAddress, "000D6F00000B0B0B");
  EXPECT_EQ(std::string(relayed[0].image.begin(), relayed[0].image.end()), Padded(image));
  EXPECT_TRUE(bench.module->ReceivedImages().empty()) << "the local bootloader took nothing";

  // The remote runs the image's version; its product, the other node and the local
  // module stay as they were; the application is back with its echo still off.
  EXPECT_EQ(bench.module->RemoteVersion("000D6F00000B0B0B"), "v1.12.0");
  EXPECT_EQ(bench.Command("AT+RC=000D6F00000B0B0B,AT+VERSION\r\n"), "\r\nv1.12.0\r\n\r\nOK\r\n");
  EXPECT_EQ(bench.Command("AT+RC=000D6F00000B0B0B,AT+PRODUCTNAME\r\n"), "\r\nMA11\r\n\r\nOK\r\n");
  EXPECT_EQ(bench.module->RemoteVersion("000D6F00000C0C0C"), "v1.9.5");
  EXPECT_EQ(bench.module->Version(), "v1.10.0");
}

TEST(SimRemoteUpdate, RelayRefusesBlocksGoesSilentAndIsCancelled) {
  RemoteNode twice = Remote("000D6F0000000001");
  twice.faults.refuseBlock = 2;
  twice.faults.refuseTimes = 2;
  RemoteNode never = Remote("000D6F0000000002");
  never.faults.refuseEveryBlock = true;
  RemoteNode mute = Remote("000D6F0000000003");
  mute.faults.silentAfterBlock = 1;
  SimTestBench bench(RelayOptions({twice, never, mute}), 115200);
  ASSERT_TRUE(bench.Ready());
  const std::string image = EblImage(std::string(3 * 128 - 4, 'r'));

  // Echo is on: the command comes back, its LF before the slower "Start".
  OpenRelay(bench, "000D6F0000000001", "AT+BOOTLOAD=1,000D6F0000000001\r\n");
  EXPECT_EQ(AnswerTo(*bench.host, Block(1, image)), kAck);
  EXPECT_EQ(AnswerTo(*bench.host, Block(2, image)), kNak);
  EXPECT_EQ(AnswerTo(*bench.host, Block(2, image)), kNak);
  EXPECT_EQ(AnswerTo(*bench.host, Block(2, image)), kAck);
  EXPECT_EQ(AnswerTo(*bench.host, Block(3, image)), kAck);
  EXPECT_EQ(AnswerTo(*bench.host, std::string(1, kEot)), kAck);
  EXPECT_EQ(AnswerTo(*bench.host, std::string(1, kEot)), kAck);
  ASSERT_TRUE(bench.host->ReadUntilContains("omplete\r\n", Ms(2000)));
  ASSERT_EQ(bench.module->ReceivedRemoteImages().size(), 1u);
  EXPECT_EQ(bench.module->ReceivedRemoteImages()[0].image.size(), image.size());

  // Every block refused: the host gives up with CAN CAN CAN, the relay ends
  // without an "OK" and the application answers again, echo on as before.
  ASSERT_TRUE(Eventually([&] { return !bench.module->Relaying(); }, Ms(1000)));
  OpenRelay(bench, "000D6F0000000002", "AT+BOOTLOAD=1,000D6F0000000002\r\n");
  for (int attempt = 0; attempt < 3; ++attempt)
    EXPECT_EQ(AnswerTo(*bench.host, Block(1, image)), kNak) << attempt;
  std::string aborted = bench.Ask(std::string(3, kCan), "aborted\r\n");
  EXPECT_THAT(aborted, HasSubstr("\r\nremote upload aborted\r\n"));
  EXPECT_THAT(aborted, Not(HasSubstr("OK")));
  ASSERT_TRUE(Eventually([&] { return !bench.module->Relaying(); }, Ms(1000)));
  EXPECT_EQ(bench.Ask("AT\r\n", "OK\r\n\n"), "AT\r\r\nOK\r\n\n");

  // Silent after the first block: no answer to the next block nor to EOT.
  OpenRelay(bench, "000D6F0000000003", "AT+BOOTLOAD=1,000D6F0000000003\r\n");
  EXPECT_EQ(AnswerTo(*bench.host, Block(1, image)), kAck);
  EXPECT_EQ(AnswerTo(*bench.host, Block(2, image), Ms(300)), -1);
  EXPECT_EQ(AnswerTo(*bench.host, std::string(1, kEot), Ms(300)), -1);
  EXPECT_THAT(bench.Ask(std::string(3, kCan), "aborted\r\n"), HasSubstr("remote upload aborted"));
  EXPECT_EQ(bench.module->ReceivedRemoteImages().size(), 1u) << "only the first upload completed";
  EXPECT_EQ(bench.module->RemoteVersion("000D6F0000000003"), "v1.9.5");
}

TEST(SimRemoteUpdate, TheRemoteRefusesAnImageWithoutTheEblHeaderAndKeepsItsFirmware) {
  SimTestBench bench(RelayOptions({Remote("000D6F0000000001")}), 115200);
  ASSERT_TRUE(bench.Ready());
  OpenRelay(bench, "000D6F0000000001", "AT+BOOTLOAD=1,000D6F0000000001\r\n");
  const std::string text = "MA11 VERSION=v9.9.9 is what this text says.\r\n";
  EXPECT_EQ(AnswerTo(*bench.host, Block(1, text)), kAck);
  EXPECT_EQ(AnswerTo(*bench.host, std::string(1, kEot)), kAck);
  bench.host->Take();
  bench.host->Write(std::string(1, kEot) + "\r\n");
  ASSERT_TRUE(bench.host->ReadUntilContains("image\r\n", Ms(2000)));
  const std::string answer = bench.host->Take();
  EXPECT_EQ(answer, std::string(1, kAck) + "\r\nRemote upload aborted: not an ebl image\r\n");
  ASSERT_TRUE(Eventually([&] { return !bench.module->Relaying(); }, Ms(1000)));

  EXPECT_TRUE(bench.module->ReceivedRemoteImages().empty());
  const auto refused = bench.module->RefusedImages();
  ASSERT_EQ(refused.size(), 1u);
  EXPECT_EQ(refused[0].euiAddress, "000D6F0000000001");
  EXPECT_EQ(std::string(refused[0].image.begin(), refused[0].image.end()), Padded(text));
  // The remote checks before it installs: it runs its firmware as before.
  EXPECT_EQ(bench.module->RemoteVersion("000D6F0000000001"), "v1.9.5");
  EXPECT_THAT(bench.Ask("AT+RC=000D6F0000000001,AT+VERSION\r\n", "OK\r\n"),
              HasSubstr("\r\nv1.9.5\r\n"));
}

TEST(SimRemoteUpdate, AnAbandonedRelayGivesUpAndTheApplicationIsBack) {
  Options options = RelayOptions({Remote("000D6F0000000001")});
  options.timeScale = 0.02;  // 'C' every 20 ms, a minute is 1.2 s
  SimTestBench bench(options, 115200);
  ASSERT_TRUE(bench.Ready());
  ASSERT_EQ(bench.Command("ATE0\r\n"), "ATE0\r\r\nOK\r\n");

  // No first block after 60 requests.
  std::string requests = OpenRelay(bench, "000D6F0000000001");
  ASSERT_TRUE(bench.host->ReadUntilContains("upload\r\n", Ms(5000)));
  requests += bench.host->Take();
  EXPECT_EQ(requests, std::string(60, 'C') + "\r\nno remote upload\r\n");
  ASSERT_TRUE(Eventually([&] { return !bench.module->Relaying(); }, Ms(1000)));
  EXPECT_EQ(bench.Command("AT\r\n"), "\r\nOK\r\n");

  // A sender that stops after a block (the host timed out) is given up after a
  // minute without a byte.
  OpenRelay(bench, "000D6F0000000001");
  EXPECT_EQ(AnswerTo(*bench.host, Block(1, std::string(128, 'x'))), kAck);
  bench.host->Take();
  ASSERT_TRUE(bench.host->ReadUntilContains("timed out\r\n", Ms(5000)));
  EXPECT_EQ(bench.host->Take(), "\r\nremote upload timed out\r\n");
  ASSERT_TRUE(Eventually([&] { return !bench.module->Relaying(); }, Ms(1000)));
  EXPECT_EQ(bench.Command("AT\r\n"), "\r\nOK\r\n");
  EXPECT_TRUE(bench.module->ReceivedRemoteImages().empty());
}

TEST(SimRemoteUpdate, BootloadRequestsThatReachNoBootloader) {
  RemoteNode fine = Remote("000D6F0000000001");
  RemoteNode refuses = Remote("000D6F0000000002");
  refuses.faults.bootload = RemoteFaults::Bootload::Error;
  RemoteNode ignores = Remote("000D6F0000000003");
  ignores.faults.bootload = RemoteFaults::Bootload::Silent;
  RemoteNode gone = Remote("000D6F0000000004");
  gone.faults.reach = RemoteFaults::Reach::Unreachable;
  RemoteNode mute = Remote("000D6F0000000005");
  mute.faults.reach = RemoteFaults::Reach::Silent;
  Options options = RelayOptions({fine, refuses, ignores, gone, mute});
  options.radioDelayMs = 100;    // 10 ms here
  options.unreachableMs = 3000;  // 300 ms here
  SimTestBench bench(options, 115200);
  ASSERT_TRUE(bench.Ready());
  ASSERT_EQ(bench.Command("ATE0\r\n"), "ATE0\r\r\nOK\r\n");

  for (const char* wrong :
       {"AT+BOOTLOAD=1,000D6F00DEADBEEF\r\n", "AT+BOOTLOAD=3,000D6F0000000001\r\n",
        "AT+BOOTLOAD=1,\r\n", "AT+BOOTLOAD=2\r\n"})
    EXPECT_EQ(bench.Command(wrong), kError) << wrong;

  // A bootloader that does not come up, and a node out of reach: ERROR once the
  // local module has given up.
  for (const char* late :
       {"AT+BOOTLOAD=1,000D6F0000000002\r\n", "AT+BOOTLOAD=2,000D6F0000000002\r\n",
        "AT+BOOTLOAD=1,000D6F0000000004\r\n"}) {
    auto sent = steady_clock::now();
    EXPECT_EQ(bench.Command(late), kError) << late;
    EXPECT_GE(steady_clock::now() - sent, Ms(300)) << late;
  }
  // Or nothing at all: the host's query runs into its time-out.
  for (const char* unanswered :
       {"AT+BOOTLOAD=1,000D6F0000000003\r\n", "AT+BOOTLOAD=2,000D6F0000000005\r\n"}) {
    bench.host->Take();
    bench.host->Write(unanswered);
    EXPECT_TRUE(bench.host->StaysQuiet(Ms(500))) << unanswered;
  }
  EXPECT_FALSE(bench.module->Relaying());
  // The node whose bootloader stays down still answers its AT commands.
  EXPECT_EQ(bench.Command("AT+RC=000D6F0000000003,AT+VERSION\r\n"), "\r\nv1.9.5\r\n\r\nOK\r\n");
  OpenRelay(bench, "000D6F0000000001");
}

TEST(SimRemoteUpdate, CloneCopiesTheLocalFirmwareFailsOrNeverEnds) {
  RemoteNode copy = Remote("000D6F0000000001");
  RemoteNode fails = Remote("000D6F0000000002");
  fails.faults.clone = RemoteFaults::Clone::Error;
  RemoteNode stuck = Remote("000D6F0000000003");
  stuck.faults.clone = RemoteFaults::Clone::NeverEnds;
  Options options = RelayOptions({copy, fails, stuck});
  options.timeScale = 0.05;
  options.remoteBootloadMs = 1000;  // 50 ms here
  options.cloneMs = 8000;           // 400 ms here
  options.unreachableMs = 3000;     // 150 ms here
  SimTestBench bench(options, 115200);
  ASSERT_TRUE(bench.Ready());
  ASSERT_EQ(bench.Command("ATE0\r\n"), "ATE0\r\r\nOK\r\n");

  ASSERT_EQ(bench.Ask("AT+BOOTLOAD=2,000D6F0000000001\r\n", "remote\r\n"), kCloneStart);
  auto started = steady_clock::now();
  // The local module takes commands meanwhile; the node being written is out of reach.
  EXPECT_EQ(bench.Command("AT\r\n"), "\r\nOK\r\n");
  EXPECT_EQ(bench.Command("AT+RC=000D6F0000000001,AT+VERSION\r\n"), kError);
  EXPECT_EQ(bench.Command("AT+BOOTLOAD=2,000D6F0000000002\r\n"), kError) << "one clone at a time";
  EXPECT_EQ(bench.Ask("", "omplete\r\n"), "\r\nClone complete\r\n");
  EXPECT_GE(steady_clock::now() - started, Ms(380));
  EXPECT_EQ(bench.module->RemoteVersion("000D6F0000000001"), "v1.10.0");
  EXPECT_EQ(bench.Command("AT+RC=000D6F0000000001,AT+VERSION\r\n"), "\r\nv1.10.0\r\n\r\nOK\r\n");
  EXPECT_EQ(bench.module->RemoteRegister("000D6F0000000001", "AT+PRODUCTNAME"), "MA11");
  EXPECT_TRUE(bench.module->ReceivedRemoteImages().empty()) << "a clone goes through no host";

  EXPECT_EQ(bench.Ask("AT+BOOTLOAD=2,000D6F0000000002\r\n", "ERROR\r\n"),
            std::string(kCloneStart) + kError);
  EXPECT_EQ(bench.module->RemoteVersion("000D6F0000000002"), "v1.9.5");

  // A clone that never ends holds the module until it restarts.
  EXPECT_EQ(bench.Ask("AT+BOOTLOAD=2,000D6F0000000003\r\n", "remote\r\n"), kCloneStart);
  EXPECT_TRUE(bench.host->StaysQuiet(Ms(600)));
  EXPECT_EQ(bench.Command("AT+BOOTLOAD=1,000D6F0000000001\r\n"), kError);
  EXPECT_EQ(bench.Command("ATZ\r\n"), "\r\nOK\r\n");
  EXPECT_TRUE(Eventually(
      [&] { return bench.Ask("AT\r\n", "OK\r\n\n", Ms(200)) == "AT\r\r\nOK\r\n\n"; }, Ms(2000)));
  EXPECT_THAT(bench.Ask("AT+BOOTLOAD=2,000D6F0000000001\r\n", "remote\r\n"),
              HasSubstr(kCloneStart));
  EXPECT_EQ(bench.module->RemoteVersion("000D6F0000000003"), "v1.9.5");
}

}  // namespace
}  // namespace zendra::test::modsim
