// The transfer engine against a scripted bootloader: what goes on the wire, in
// which order, and what the status line and progress bar show.

#include <gmock/gmock.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "ScriptedBootloader.h"
#include "base/FileAccess.h"
#include "firmware/CrcTable.h"
#include "firmware/ImageTransfer.h"
#include "firmware/SerialTransferChannel.h"
#include "serial/ReceiveBuffer.h"
#include "support/FakeOperator.h"

namespace zendra::test {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;

const Bytes kEot{0x04}, kCan{0x18}, kCrLf{'\r', '\n'};
constexpr const char* kFirst = "Preparing for firmware update......";

Bytes Pattern(std::size_t n) {
  Bytes bytes(n);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
  return bytes;
}

class ImageTransferTest : public ::testing::Test {
 protected:
  // 5000 polls of silence cost 5 ms, the 30 s completion bound 30 ms.
  void SetUp() override {
    Clock::SetScale(0.001);
    crc_.Fill();
  }
  void TearDown() override {
    Clock::SetScale(1.0);
    std::filesystem::remove(path_);
  }

  std::string Image(const Bytes& bytes) {
    std::ofstream(path_, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path_;
  }
  TransferResult Run(TransferChannel& channel, const std::string& path, TransferParams params = {},
                     std::stop_token stop = {}) {
    TransferSinks sinks;
    sinks.status = [this](const std::string& t) {
      std::lock_guard lock(mutex_);
      statuses_.push_back(t);
    };
    sinks.progress = [this](int p) { progress_.push_back(p); };
    return ImageTransfer(channel, crc_, op_, sinks).Run(path, params, stop);
  }
  std::vector<std::string> Statuses() {
    std::lock_guard lock(mutex_);
    return statuses_;
  }

  const std::string path_ = (std::filesystem::temp_directory_path() /
                             ("fw-transfer-" + std::to_string(ProcessNumber()) + ".ebl"))
                                .string();
  CrcTable crc_;
  FakeOperator op_;
  std::mutex mutex_;
  std::vector<std::string> statuses_;
  std::vector<int> progress_;
};

// The payload pattern holds every byte value, so the CRC check below covers every
// entry of the engine's table.
TEST_F(ImageTransferTest, ImagesGoOutInNumberedBlocksWithCrcPaddedWithAmpersands) {
  struct Case {
    std::size_t size, blocks;
  };
  for (const Case c : {Case{128, 1}, Case{129, 2}, Case{1, 1}, Case{257 * 128, 257}}) {
    ScriptedBootloader boot;
    const Bytes image = Pattern(c.size);
    ASSERT_EQ(Run(boot, Image(image)), TransferResult::kSuccess) << c.size;
    ASSERT_EQ(boot.packets.size(), c.blocks);
    for (std::size_t k = 0; k < c.blocks; ++k) {
      const Bytes& p = boot.packets[k];
      const auto number = static_cast<std::uint8_t>(k + 1);  // block 256 goes out as 0x00
      const std::uint16_t crc = BitwiseCrc(p.data() + 3, 128);
      EXPECT_THAT(Bytes(p.begin(), p.begin() + 3), ElementsAre(0x01, number, 255 - number));
      EXPECT_THAT(Bytes(p.end() - 2, p.end()), ElementsAre(crc >> 8, crc & 0xFF));
    }
    Bytes expected = image;
    expected.resize(c.blocks * 128, 0x26);
    EXPECT_EQ(boot.accepted, expected);
    EXPECT_THAT(boot.writes.back(), kCrLf);
  }
}

TEST_F(ImageTransferTest, EmptyImageSendsNoBlockAndGoesStraightToEot) {
  ScriptedBootloader boot;
  ASSERT_EQ(Run(boot, Image({})), TransferResult::kSuccess);
  EXPECT_THAT(boot.writes, ElementsAre(kEot, kEot, kCrLf));
  EXPECT_THAT(Statuses(), ElementsAre(kFirst, "Finishing...", "Update complete."));
}

TEST_F(ImageTransferTest, ThreeHundredBytesShow42Point67OnTheLineAnd43OnTheBar) {
  ScriptedBootloader boot;
  ASSERT_EQ(Run(boot, Image(Pattern(300))), TransferResult::kSuccess);
  EXPECT_THAT(Statuses(), ElementsAre(kFirst, "42.67% Completed!", "85.33% Completed!",
                                      "100.00% Completed!", "Finishing...", "Update complete."));
  EXPECT_THAT(progress_, ElementsAre(43, 86, 100));
  // 64 bits: in 32, remaining * 100 overflows from 21.5 MB on.
  EXPECT_EQ(ImageTransfer::PercentValue(29'999'872, 30'000'000), 1);
  EXPECT_EQ(ImageTransfer::PercentText(1'000'000'000, 4'000'000'000), "75.00% Completed!");
}

TEST_F(ImageTransferTest, RefusedBlockIsSentAgainAndEveryBlockStartsWithTheFullBudget) {
  ScriptedBootloader boot;
  boot.answerBlock = [](int ordinal, int attempt) -> std::optional<std::uint8_t> {
    return attempt == 1 && ordinal != 256 ? 0x15 : attempt <= 2 && ordinal == 256 ? 0x41 : 0x06;
  };
  ASSERT_EQ(Run(boot, Image(Pattern(257 * 128))), TransferResult::kSuccess);
  EXPECT_EQ(boot.packets[0], boot.packets[1]);
  const auto s = Statuses();
  EXPECT_THAT(s, Contains("001 Packets Error! [NAK-10]"));
  EXPECT_THAT(s, Contains("002 Packets Error! [NAK-10]"));
  EXPECT_THAT(s, Contains("256 Packets Error! [0x41-09]"));  // the ordinal counts on past 255
  EXPECT_THAT(s, Contains("257 Packets Error! [NAK-10]"));
  EXPECT_EQ(boot.cans, 0);
}

TEST_F(ImageTransferTest, TenthRefusalEndsInThreeCanWithoutAnEleventhTransmission) {
  struct Case {
    std::uint8_t answer;
    const char* first;
    const char* last;
  };
  for (const Case c :
       {Case{0x15, "002 Packets Error! [NAK-10]", "002 Packets Error! [NAK-01]"},
        Case{0x18, "2 Packets Error! [CAN]", "2 Packets Error! [CAN]"},
        Case{0xFE, "002 Packets Error! [0xFE-10]", "002 Packets Error! [0xFE-01]"}}) {
    ScriptedBootloader boot;
    statuses_.clear();
    boot.answerBlock = [&](int ordinal, int) -> std::optional<std::uint8_t> {
      return ordinal == 2 ? c.answer : 0x06;
    };
    EXPECT_EQ(Run(boot, Image(Pattern(3 * 128))), TransferResult::kFailure);
    EXPECT_EQ(boot.packets.size(), 1u + 10u);
    EXPECT_THAT(std::vector(boot.writes.end() - 3, boot.writes.end()),
                ElementsAre(kCan, kCan, kCan));
    EXPECT_EQ(boot.eots, 0);
    const auto s = Statuses();
    EXPECT_EQ(s[2], c.first);
    EXPECT_EQ(s[s.size() - 2], c.last);
    EXPECT_EQ(s.back(), "Transmit error.");
  }
}

TEST_F(ImageTransferTest, SilenceIsATransmitErrorAfterTheHostsBudgetWithoutCancel) {
  for (const int budget : {5000, 20000}) {
    ScriptedBootloader boot;
    boot.answerBlock = [](int o, int) {
      return o == 2 ? std::nullopt : std::optional<std::uint8_t>(0x06);
    };
    TransferParams params;
    params.replyBudget = budget;
    EXPECT_EQ(Run(boot, Image(Pattern(300)), params), TransferResult::kFailure);
    EXPECT_EQ(boot.timedOutBudgets.back(), budget);
    EXPECT_EQ(boot.packets.size(), 2u);
    EXPECT_EQ(boot.cans + boot.eots, 0);
    EXPECT_EQ(Statuses().back(), "Transmit error.");
  }
}

TEST_F(ImageTransferTest, MissingStartRequestSendsNothing) {
  for (const bool isFailure : {true, false}) {
    ScriptedBootloader boot;
    boot.sendsStartRequest = false;
    statuses_.clear();
    TransferParams params;
    params.noStartRequestIsFailure = isFailure;
    EXPECT_EQ(Run(boot, Image(Pattern(300)), params), TransferResult::kNoStartRequest);
    EXPECT_TRUE(boot.writes.empty());
    // The page's worker calls it a transfer failure; the dialog keeps its status.
    EXPECT_EQ(Statuses().back(), isFailure ? "Transmit error." : kFirst);
  }
}

TEST_F(ImageTransferTest, TextBeforeTheStartRequestIsSkippedAndLeftoversAreDrained) {
  ScriptedBootloader boot;
  boot.textBeforeStart = "\r\nbegin upload\r\n";
  // A stale 'C' and ACK taken as start and answer would let block 1 pass unseen.
  boot.Preload("C\x06");
  boot.answerBlock = [](int, int attempt) {
    return std::optional<std::uint8_t>(attempt == 1 ? 0x15 : 0x06);
  };
  ASSERT_EQ(Run(boot, Image(Pattern(128))), TransferResult::kSuccess);
  EXPECT_EQ(boot.packets.size(), 2u);
}

TEST_F(ImageTransferTest, AnyByteAnswersTheFirstEotButSilenceDoesNot) {
  for (const std::optional<std::uint8_t> answer : {std::optional<std::uint8_t>(0x15), {0x43}, {}}) {
    ScriptedBootloader boot;
    boot.eotAnswer = answer;
    EXPECT_EQ(Run(boot, Image(Pattern(128))),
              answer ? TransferResult::kSuccess : TransferResult::kFailure);
    EXPECT_EQ(boot.eots, answer ? 2 : 1);
  }
}

TEST_F(ImageTransferTest, MissingCompletionTextEndsTheWaitAtItsBound) {
  ScriptedBootloader boot;
  boot.completionText = "\r\nBL > ";
  EXPECT_EQ(Run(boot, Image(Pattern(128))), TransferResult::kNoCompletion);
  EXPECT_EQ(Statuses().back(), "Transmit error.");
}

TEST_F(ImageTransferTest, AnImageTheBootloaderRefusesEndsAtItsFailureTextNotAtTheBound) {
  // The local bootloader's text and a relaying module's.
  for (const std::string text : {"\r\nSerial upload aborted: not an ebl image\r\n\r\nBL > ",
                                 "\r\nRemote upload aborted: not an ebl image\r\n"}) {
    statuses_.clear();
    ScriptedBootloader boot;
    boot.completionText = text;
    // Not kNoCompletion: the wait ends at the text, not at its bound.
    EXPECT_EQ(Run(boot, Image(Pattern(300))), TransferResult::kRefused) << text;
    EXPECT_EQ(Statuses().back(), "The bootloader refused the image.");
    EXPECT_EQ(boot.cans, 0) << "the transmission had ended: nothing to cancel";
  }
}

TEST_F(ImageTransferTest, UnreadableOrShrinkingImageIsNeverSentAsIfWhole) {
  ScriptedBootloader unreadable;
  EXPECT_EQ(Run(unreadable, "/nonexistent/image.ebl"), TransferResult::kFileNotOpened);
  EXPECT_TRUE(unreadable.writes.empty());
  EXPECT_THAT(op_.Messages(), ElementsAre("ERROR: Could not open the firmware file."));
  EXPECT_THAT(Statuses(), ElementsAre("Firmware update error."));

  ScriptedBootloader shrinking;
  const auto path = Image(Pattern(40 * 1024));
  shrinking.onBlock = [&](int ordinal) {
    if (ordinal == 1) std::filesystem::resize_file(path, 200);
  };
  EXPECT_EQ(Run(shrinking, path), TransferResult::kFailure);
  EXPECT_EQ(shrinking.cans, 3);
  EXPECT_EQ(shrinking.eots, 0);
}

TEST_F(ImageTransferTest, EveryEndingLeavesNoFileOpen) {
  // Linux: the process's open descriptors are counted. Windows refuses to delete a
  // file that is still open (the process's handle count moves with the system's
  // own work, and under wine so do the descriptors of /proc/self/fd).
#ifndef _WIN32
  const auto openFiles = [] {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
  };
#endif
  const auto path = Image(Pattern(300));
#ifndef _WIN32
  const auto before = openFiles();
#endif
  for (int ending = 0; ending < 4; ++ending) {
    ScriptedBootloader boot;
    boot.sendsStartRequest = ending != 1;
    if (ending >= 2)
      boot.answerBlock = [ending](int, int) {
        return ending == 2 ? std::optional<std::uint8_t>(0x15) : std::nullopt;
      };
    Run(boot, path);
  }
#ifdef _WIN32
  std::error_code error;
  EXPECT_TRUE(std::filesystem::remove(path, error))
      << "the image is still open: " << error.message();
#else
  EXPECT_EQ(openFiles(), before);
#endif
}

TEST_F(ImageTransferTest, StopDuringTheBlocksCancelsPromptlyAndReportsNothingMore) {
  Clock::SetScale(1.0);  // real 5 s budgets: only the stop ends the wait early
  ScriptedBootloader boot;
  boot.answerBlock = [](int o, int) {
    return o == 3 ? std::nullopt : std::optional<std::uint8_t>(0x06);
  };
  const auto path = Image(Pattern(10 * 128));
  std::stop_source stop;
  TransferResult result{};
  std::jthread worker([&] { result = Run(boot, path, {}, stop.get_token()); });
  ASSERT_TRUE(boot.WaitForPackets(3, std::chrono::seconds(5)));
  const auto reported = Statuses().size();
  const auto asked = std::chrono::steady_clock::now();
  stop.request_stop();
  worker.join();
  EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::milliseconds(500));
  EXPECT_EQ(result, TransferResult::kStopped);
  EXPECT_EQ(boot.cans, 3);
  EXPECT_EQ(Statuses().size(), reported);
}

TEST_F(ImageTransferTest, ImageOfMoreThan8000BlocksStillFindsItsCompletionTextInTheRing) {
  // Every ACK passes through the 8192-byte ring, which wraps during the transfer.
  ReceiveBuffer ring;
  std::string reply;
  Bytes received;
  int eots = 0;
  const auto put = [&](const std::string& text) {
    for (char c : text) ring.Put(static_cast<std::uint8_t>(c));
  };
  const auto module = [&](const std::uint8_t* b, int n) {
    if (n == 133) received.insert(received.end(), b + 3, b + 131);
    if (n == 133 || (n == 1 && b[0] == 0x04)) put("\x06");
    if (n == 1 && b[0] == 0x04 && ++eots == 2) put("\r\nSerial upload complete\r\n");
  };
  // The start request arrives after the engine's drain.
  struct AfterDrain : SerialTransferChannel {
    using SerialTransferChannel::SerialTransferChannel;
    std::function<void()> ask;
    int ReadByte(int polls, std::stop_token stop) override {
      if (polls > 1 && ask) std::exchange(ask, nullptr)();
      return SerialTransferChannel::ReadByte(polls, stop);
    }
  } channel(ring, module, reply);
  channel.ask = [&] { put("C"); };
  const Bytes image = Pattern(8200 * 128 + 5);
  ASSERT_EQ(Run(channel, Image(image)), TransferResult::kSuccess);
  received.resize(image.size());
  EXPECT_EQ(received, image);
}

TEST_F(ImageTransferTest, AStopEndsTheWaitEvenWhileTheLineNeverFallsSilent) {
  Clock::SetScale(1.0);
  // A line that keeps talking: the drain before the start request never meets a
  // silence, so only the stop can end it.
  ReceiveBuffer ring;
  std::string reply;
  SerialTransferChannel channel(
      ring, [](const std::uint8_t*, int) {}, reply);
  std::atomic<bool> talking{true};
  std::jthread noise([&] {
    const std::vector<std::uint8_t> chatter(2048, 'x');
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (talking && std::chrono::steady_clock::now() < until) {
      if (ring.Count() < 4096) ring.PutChunk(chatter.data(), chatter.size());
      std::this_thread::yield();
    }
  });
  while (ring.Count() < 4096) std::this_thread::yield();
  const auto path = Image(Pattern(300));
  std::stop_source stop;
  TransferResult result{};
  std::jthread worker([&] { result = Run(channel, path, {}, stop.get_token()); });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));  // let the drain start
  const auto asked = std::chrono::steady_clock::now();
  stop.request_stop();
  worker.join();
  talking = false;
  EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::milliseconds(200));
  EXPECT_EQ(result, TransferResult::kStopped);
}

TEST_F(ImageTransferTest, ALostPortEndsTheTransferAtOnceInsteadOfWaitingOutTheBudget) {
  Clock::SetScale(1.0);  // the budget for a block's answer is a real 5 s
  ReceiveBuffer ring;
  std::string reply;
  int blocks = 0;
  const auto module = [&](const std::uint8_t*, int n) {
    // Two blocks are acknowledged, then the device is unplugged.
    if (n == 133 && ++blocks <= 2) ring.Put(0x06);
    if (n == 133 && blocks == 3) ring.SetLineLost(true);
  };
  SerialTransferChannel channel(ring, module, reply);
  const auto path = Image(Pattern(10 * 128));
  // The start request must survive the drain: hand it over once the drain is done.
  struct Starter : TransferChannel {
    SerialTransferChannel& inner;
    ReceiveBuffer& ring;
    bool asked = false;
    Starter(SerialTransferChannel& c, ReceiveBuffer& r) : inner(c), ring(r) {}
    void Write(const std::uint8_t* b, int n) override { inner.Write(b, n); }
    int ReadByte(int polls, std::stop_token stop) override {
      if (polls > 1 && !asked) {
        asked = true;
        ring.Put('C');
      }
      return inner.ReadByte(polls, stop);
    }
    bool LineLost() const override { return inner.LineLost(); }
    const std::string& CollectReply() override { return inner.CollectReply(); }
    void WaitForBytes(int ms, std::stop_token stop) override { inner.WaitForBytes(ms, stop); }
    void ResetReceive() override { inner.ResetReceive(); }
  } starter(channel, ring);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(Run(starter, path), TransferResult::kLineLost);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
  EXPECT_THAT(op_.Messages(), ElementsAre(ImageTransfer::kLineLostMessage));
  EXPECT_EQ(Statuses().back(), "Transmit error.");
}

}  // namespace
}  // namespace zendra::test
