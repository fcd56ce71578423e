// The traffic log on the real serial layer against the simulated module: the
// handshake's every line sent and received in order with rising times, a firmware
// transfer summarised block by block with the refused block's NAK, the port's own
// events, and the console's typed command on the line's lease.

#include <gmock/gmock.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "../../unit/firmware/RecordingView.h"
#include "base/Clock.h"
#include "device/ConsoleCommand.h"
#include "firmware/FirmwareUpdate.h"
#include "serial/TrafficLog.h"
#include "support/SimHarness.h"
#include "support/VisibleBytes.h"

namespace zendra::test {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using Direction = TrafficEntry::Direction;
using Outcome = ConsoleReply::Outcome;

// Everything the log hands over, kept for the test.
struct Collected {
  std::mutex mutex;
  std::vector<TrafficEntry> entries;
  TrafficLog::Sink Sink() {
    return [this](std::vector<TrafficEntry>& batch) {
      std::lock_guard lock(mutex);
      for (auto& entry : batch) entries.push_back(std::move(entry));
    };
  }
  std::vector<TrafficEntry> Take() {
    std::lock_guard lock(mutex);
    return entries;
  }
};

// A tap between the port and the log that also keeps the raw bytes of each
// direction: the witness that the log lost and changed nothing.
class RawTee : public LineTap {
 public:
  explicit RawTee(LineTap& next) : next_(next) {}
  void Record(Event event, const std::uint8_t* bytes, std::size_t length) override {
    {
      std::lock_guard lock(mutex_);
      if (event == Event::kSent) sent_.append(reinterpret_cast<const char*>(bytes), length);
      if (event == Event::kReceived) received_.append(reinterpret_cast<const char*>(bytes), length);
    }
    next_.Record(event, bytes, length);
  }
  std::string Sent() {
    std::lock_guard lock(mutex_);
    return sent_;
  }
  std::string Received() {
    std::lock_guard lock(mutex_);
    return received_;
  }

 private:
  LineTap& next_;
  std::mutex mutex_;
  std::string sent_, received_;
};

std::vector<std::string> TextsOf(const std::vector<TrafficEntry>& entries, Direction direction) {
  std::vector<std::string> texts;
  for (const auto& entry : entries)
    if (entry.direction == direction) texts.push_back(entry.text);
  return texts;
}

// The bytes of one direction's text entries, read back from the log's text.
std::string BytesOf(const std::vector<TrafficEntry>& entries, Direction direction) {
  std::string bytes;
  for (const auto& entry : entries) {
    if (entry.direction != direction) continue;
    const auto read = BytesOfVisible(entry.text);
    EXPECT_TRUE(read.has_value()) << entry.text;
    if (read) bytes += *read;
  }
  return bytes;
}

class TrafficLogOnTheLine : public ::testing::Test {
 protected:
  explicit TrafficLogOnTheLine(sim::Options options = {}) : harness(std::move(options)) {
    harness.Conn().SetLineTap(&tee);
  }
  ~TrafficLogOnTheLine() override { harness.Conn().SetLineTap(nullptr); }

  Collected collected;
  TrafficLog log{collected.Sink()};
  RawTee tee{log};
  SimHarness harness;
};

TEST_F(TrafficLogOnTheLine, AHandshakeLogHoldsEveryLineSentAndReceivedInOrderWithRisingTimes) {
  ASSERT_TRUE(harness.Connect());
  log.Flush();
  const auto entries = collected.Take();
  ASSERT_FALSE(entries.empty());
  EXPECT_EQ(entries[0].direction, Direction::kNote);
  EXPECT_EQ(entries[0].text, "open " + harness.Sim().PortPath() + ", 9600 baud");
  EXPECT_EQ(entries[0].microseconds, 0);

  // Every line the handshake sends, each an entry of its own, in order.
  EXPECT_THAT(TextsOf(entries, Direction::kSent),
              ElementsAre("<CR><LF>", "ATE0<CR><LF>", "ATR1<CR><LF>", "<CR><LF>", "ATE0<CR><LF>",
                          "AT+NODETYPE<CR><LF>", "AT+PRODUCTNAME<CR><LF>", "AT+LONGADDR<CR><LF>",
                          "AT+NODENAME<CR><LF>", "AT+VERSION<CR><LF>"));
  // ... which is what the module took, byte for byte.
  std::string taken;
  for (const auto& line : harness.Sim().ReceivedLines()) taken += line;
  EXPECT_EQ(BytesOf(entries, Direction::kSent), taken);
  EXPECT_EQ(tee.Sent(), taken);
  // Every byte received is in the log, lines split at LF.
  EXPECT_EQ(BytesOf(entries, Direction::kReceived), tee.Received());
  for (const auto& text : TextsOf(entries, Direction::kReceived)) {
    const auto lf = text.find("<LF>");
    EXPECT_TRUE(lf == std::string::npos || lf + 4 == text.size()) << text;
  }

  // Times rise; each command goes out after the answer to the one before.
  for (std::size_t i = 1; i < entries.size(); ++i)
    EXPECT_GE(entries[i].microseconds, entries[i - 1].microseconds) << entries[i].text;
  std::int64_t lastSent = -1;
  for (const auto& entry : entries) {
    if (entry.direction != Direction::kSent) continue;
    EXPECT_GT(entry.microseconds, lastSent) << entry.text;
    lastSent = entry.microseconds;
  }

  // Each identification query is followed by its answer before the next query.
  const std::pair<const char*, const char*> queries[] = {
      {"AT+PRODUCTNAME<CR><LF>", "MA11<CR><LF>"},
      {"AT+LONGADDR<CR><LF>", "000D6F0000A1B2C3<CR><LF>"},
      {"AT+NODENAME<CR><LF>", "Zendra1<CR><LF>"},
      {"AT+VERSION<CR><LF>", "v1.10.0<CR><LF>"},
  };
  for (const auto& [query, answer] : queries) {
    std::size_t at = 0;
    while (at < entries.size() && entries[at].text != query) ++at;
    ASSERT_LT(at, entries.size()) << query;
    bool answered = false;
    for (std::size_t i = at + 1; i < entries.size() && entries[i].direction != Direction::kSent;
         ++i)
      answered =
          answered || (entries[i].direction == Direction::kReceived && entries[i].text == answer);
    EXPECT_TRUE(answered) << query;
  }
}

TEST_F(TrafficLogOnTheLine, ThePortsClosingAndItsLossAreInTheLog) {
  ASSERT_TRUE(harness.OpenPort());
  harness.Port().Write("AT\r\n");
  harness.Sim().Vanish();
  auto& ring = harness.Port().Receive();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!ring.LineLost() && std::chrono::steady_clock::now() < deadline) {
    ring.WaitForInput(Clock::DeadlineAfter(100), {});
    ring.Reset();
  }
  ASSERT_TRUE(ring.LineLost());
  harness.ReleaseLine();
  harness.Conn().Disconnect();
  log.Flush();
  const auto notes = TextsOf(collected.Take(), Direction::kNote);
  ASSERT_EQ(notes.size(), 3u);
  EXPECT_EQ(notes[1], "line lost: the port vanished");
  EXPECT_EQ(notes[2], "close");
}

// The same with the module in its bootloader at 115200 and a block it refuses once.
sim::Options UpdatingModule() {
  sim::Options options;
  options.baudRate = 115200;
  options.faults.refuseBlock = 3;
  options.faults.refuseTimes = 1;
  return options;
}

class TrafficLogOfATransfer : public TrafficLogOnTheLine {
 protected:
  TrafficLogOfATransfer() : TrafficLogOnTheLine(UpdatingModule()) {}
};

TEST_F(TrafficLogOfATransfer, ShowsEachBlockAsOneEntryAndTheRefusedOneWithItsNak) {
  // 300 blocks: the count goes past 255, the line's block numbers wrap.
  constexpr int kBlocks = 300;
  const auto image = std::filesystem::temp_directory_path() /
                     ("traffic-log-" + std::to_string(::getpid()) + ".ebl");
  {
    std::string bytes(kBlocks * 128, '\0');
    const std::string header("EBL\0MA11\0VERSION=v1.11.0\0", 25);
    for (std::size_t i = 0; i < bytes.size(); ++i)
      bytes[i] = i < header.size() ? header[i] : static_cast<char>(i * 13 + 5);
    std::ofstream(image, std::ios::binary) << bytes;
  }
  ASSERT_TRUE(harness.Connect(115200));
  RecordingView view;
  FirmwareUpdate update(harness.Conn(), view, harness.Op());
  update.SetChosenPath(image.string());
  ASSERT_TRUE((update.CheckLocal() && update.OnLocalUpdate(harness.TakeLine())));
  ASSERT_TRUE(view.WaitForFinished(std::chrono::seconds(60)));
  std::filesystem::remove(image);
  ASSERT_THAT(view.finished, ElementsAre(FirmwareOutcome::kCompleted));
  log.Flush();
  const auto entries = collected.Take();

  std::vector<std::string> blocks;
  for (const auto& text : TextsOf(entries, Direction::kSent))
    if (text.rfind("block ", 0) == 0) blocks.push_back(text);
  // One entry per block sent: each block once, the refused one twice.
  std::vector<std::string> expected;
  for (int n = 1; n <= kBlocks; ++n) {
    const std::string number =
        std::to_string(n) + (n > 255 ? " (" + std::to_string(n & 0xFF) + " on the line)" : "");
    if (n == 3) expected.push_back("block 3, 133 bytes, NAK");
    expected.push_back("block " + number + ", 133 bytes, ACK");
  }
  EXPECT_THAT(blocks, ElementsAreArray(expected));
  // No block's bytes are dumped: nothing sent as text holds the block header.
  for (const auto& text : TextsOf(entries, Direction::kSent))
    EXPECT_EQ(text.find("<SOH>"), std::string::npos) << text;
  // The ending: EOT, the bootloader's answer, EOT again with a line end.
  const auto sent = TextsOf(entries, Direction::kSent);
  const auto last =
      std::find(sent.begin(), sent.end(), "block 300 (44 on the line), 133 bytes, ACK");
  ASSERT_LT(last + 2, sent.end());
  EXPECT_EQ(last[1], "<EOT>");
  EXPECT_EQ(last[2], "<EOT><CR><LF>");
  if (const char* dump = std::getenv("ZENDRA_DUMP_TRAFFIC")) {
    std::ofstream out(dump);
    for (const auto& entry : entries) out << TrafficFormatter::Line(entry) << '\n';
  }
  // What the module sent last before the first block is its start request 'C'.
  std::string lastReceived;
  for (const auto& entry : entries) {
    if (entry.text.rfind("block 1,", 0) == 0) break;
    if (entry.direction == Direction::kReceived) lastReceived = entry.text;
  }
  ASSERT_FALSE(lastReceived.empty());
  EXPECT_EQ(lastReceived.back(), 'C') << lastReceived;
}

class ConsoleCommandOnTheLine : public TrafficLogOnTheLine {};

TEST_F(ConsoleCommandOnTheLine, IsRefusedWithoutAByteSentWhileAnotherActivityHoldsTheLine) {
  ASSERT_TRUE(harness.Connect());
  auto update = harness.Conn().TryLease("firmware update");
  ASSERT_TRUE(update.has_value());
  const auto linesBefore = harness.Sim().ReceivedLines();
  const std::string sentBefore = tee.Sent();

  const ConsoleReply reply = ConsoleCommand::Send(harness.Conn(), "AT+VERSION", {});
  EXPECT_EQ(reply.outcome, Outcome::kLineBusy);
  EXPECT_EQ(reply.holder, "firmware update");
  EXPECT_EQ(reply.Message(), "Not sent: the line is busy (firmware update).");
  EXPECT_FALSE(reply.Sent());
  EXPECT_EQ(tee.Sent(), sentBefore);
  EXPECT_EQ(harness.Sim().ReceivedLines(), linesBefore);

  // Once the line is free the same command goes out and is answered.
  update.reset();
  const ConsoleReply answered = ConsoleCommand::Send(harness.Conn(), "AT+VERSION", {});
  EXPECT_EQ(answered.outcome, Outcome::kOk);
  EXPECT_EQ(answered.Message(), "v1.10.0 | OK");
  EXPECT_EQ(harness.Sim().ReceivedLines().back(), "AT+VERSION\r\n");
  log.Flush();
  const auto sent = TextsOf(collected.Take(), Direction::kSent);
  EXPECT_EQ(sent.back(), "AT+VERSION<CR><LF>");
}

TEST_F(ConsoleCommandOnTheLine, TellsARefusalFromSilenceAndSendsNothingItShouldNot) {
  // Before the connection is open nothing can go out.
  EXPECT_EQ(ConsoleCommand::Send(harness.Conn(), "ATI", {}).outcome, Outcome::kNotConnected);
  ASSERT_TRUE(harness.Connect());
  sim::Faults faults;
  faults.errorCommands = {"AT+NODENAME"};
  harness.Sim().SetFaults(faults);
  const ConsoleReply refused = ConsoleCommand::Send(harness.Conn(), "AT+NODENAME", {});
  EXPECT_EQ(refused.outcome, Outcome::kError);
  EXPECT_EQ(refused.Message(), "ERROR");

  faults = {};
  faults.silent = true;
  harness.Sim().SetFaults(faults);
  const ConsoleReply silent = ConsoleCommand::Send(harness.Conn(), "AT+VERSION", {}, 1);
  EXPECT_EQ(silent.outcome, Outcome::kNoAnswer);
  EXPECT_EQ(silent.Message(), "No answer within 1 s.");

  const auto lines = harness.Sim().ReceivedLines().size();
  // A line end inside would run the rest as a command of its own.
  EXPECT_EQ(ConsoleCommand::Send(harness.Conn(), "ATI\r\nAT&F", {}).outcome, Outcome::kControlByte);
  EXPECT_EQ(ConsoleCommand::Send(harness.Conn(), "  ", {}).outcome, Outcome::kEmpty);
  EXPECT_EQ(harness.Sim().ReceivedLines().size(), lines);
}

}  // namespace
}  // namespace zendra::test
