// The transfer engine against a scripted bootloader: what goes on the wire, in
// which order, and what the status line and progress bar show.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "base/Clock.h"
#include "firmware/CrcTable.h"
#include "firmware/ImageTransfer.h"
#include "firmware/SerialTransferChannel.h"
#include "serial/ReceiveBuffer.h"
#include "support/FakeOperator.h"
#include "ScriptedBootloader.h"

namespace zendra::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class ImageTransferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // 5000 polls of silence cost 5 ms, the completion bound 30 ms.
    Clock::SetScale(0.001);
    crc_.Fill();
    dir_ = std::filesystem::temp_directory_path() /
           ("fw-transfer-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    Clock::SetScale(1.0);
    std::filesystem::remove_all(dir_);
  }

  std::string WriteImage(const std::vector<std::uint8_t>& bytes) {
    const auto path = dir_ / "image.ebl";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path.string();
  }
  static std::vector<std::uint8_t> Pattern(std::size_t n) {
    std::vector<std::uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>((i * 7 + 3) & 0xFF);
    return bytes;
  }

  TransferResult Run(TransferChannel& channel, const std::string& path,
                     TransferParams params = {}, std::stop_token stop = {}) {
    TransferSinks sinks;
    sinks.status = [this](const std::string& t) {
      std::lock_guard lock(mutex_);
      statuses_.push_back(t);
    };
    sinks.progress = [this](int p) {
      std::lock_guard lock(mutex_);
      progress_.push_back(p);
    };
    ImageTransfer engine(channel, crc_, op_, sinks);
    return engine.Run(path, params, stop);
  }
  std::vector<std::string> Statuses() {
    std::lock_guard lock(mutex_);
    return statuses_;
  }
  std::string LastStatus() {
    std::lock_guard lock(mutex_);
    return statuses_.empty() ? std::string() : statuses_.back();
  }

  CrcTable crc_;
  FakeOperator op_;
  std::filesystem::path dir_;
  std::mutex mutex_;
  std::vector<std::string> statuses_;
  std::vector<int> progress_;
};

// ---- blocks on the wire ------------------------------------------------------

struct SizeCase {
  std::size_t imageSize;
  std::size_t blocks;
  std::size_t paddingInLastBlock;
};

class ImageSizeTest : public ImageTransferTest,
                      public ::testing::WithParamInterface<SizeCase> {};

TEST_P(ImageSizeTest, ImageGoesOutInWholeBlocksPaddedWithAmpersands) {
  const SizeCase c = GetParam();
  const auto image = Pattern(c.imageSize);
  ScriptedBootloader boot;
  ASSERT_EQ(Run(boot, WriteImage(image)), TransferResult::kSuccess);

  const auto packets = boot.Packets();
  ASSERT_EQ(packets.size(), c.blocks);
  for (std::size_t k = 0; k < packets.size(); ++k) {
    const auto& p = packets[k];
    EXPECT_EQ(p[0], 0x01);
    EXPECT_EQ(p[1], static_cast<std::uint8_t>((k + 1) & 0xFF));
    EXPECT_EQ(p[2], static_cast<std::uint8_t>(255 - ((k + 1) & 0xFF)));
    const std::uint16_t crc = BitwiseCrc(p.data() + 3, 128);
    EXPECT_EQ(p[131], crc >> 8) << "block " << k + 1;
    EXPECT_EQ(p[132], crc & 0xFF) << "block " << k + 1;
  }
  // The receiver's payload is the image followed by the padding, nothing else.
  auto expected = image;
  expected.insert(expected.end(), c.paddingInLastBlock, 0x26);
  EXPECT_EQ(boot.Accepted(), expected);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ImageSizeTest,
                         ::testing::Values(SizeCase{128, 1, 0}, SizeCase{129, 2, 127},
                                           SizeCase{1, 1, 127}, SizeCase{300, 3, 84},
                                           SizeCase{0, 0, 0}));

TEST_F(ImageTransferTest, EmptyImageSendsNoBlockAndGoesStraightToEot) {
  ScriptedBootloader boot;
  ASSERT_EQ(Run(boot, WriteImage({})), TransferResult::kSuccess);
  const std::vector<std::uint8_t> eot{0x04};
  const std::vector<std::uint8_t> crlf{'\r', '\n'};
  EXPECT_THAT(boot.Writes(), ElementsAre(eot, eot, crlf));
  EXPECT_THAT(Statuses(), ElementsAre("Preparing for firmware update......", "Finishing...",
                                      "Update complete."));
}

TEST_F(ImageTransferTest, Block256GoesOutAsNumberZeroWhileTheTextsCountOn) {
  ScriptedBootloader boot;
  boot.answerBlock = [](int ordinal, int attempt) -> std::optional<std::uint8_t> {
    if ((ordinal == 256 || ordinal == 257) && attempt == 1) return 0x15;
    return 0x06;
  };
  ASSERT_EQ(Run(boot, WriteImage(Pattern(257 * 128))), TransferResult::kSuccess);
  const auto packets = boot.Packets();
  ASSERT_EQ(packets.size(), 259u);  // 257 blocks, two of them twice
  EXPECT_EQ(packets[255][1], 0x00);
  EXPECT_EQ(packets[255][2], 0xFF);
  EXPECT_EQ(packets[257][1], 0x01);
  EXPECT_EQ(packets[257][2], 0xFE);
  const auto statuses = Statuses();
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), "256 Packets Error! [NAK-10]"),
            statuses.end());
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), "257 Packets Error! [NAK-10]"),
            statuses.end());
}

TEST_F(ImageTransferTest, ThreeHundredByteImageShowsTwoDecimalsOnTheLineAndRoundsTheBarDown) {
  ScriptedBootloader boot;
  ASSERT_EQ(Run(boot, WriteImage(Pattern(300))), TransferResult::kSuccess);
  EXPECT_THAT(Statuses(), ElementsAre("Preparing for firmware update......", "42.67% Completed!",
                                      "85.33% Completed!", "100.00% Completed!", "Finishing...",
                                      "Update complete."));
  // 100 - (172 * 100) / 300 = 43, 100 - (44 * 100) / 300 = 86 with integer division.
  EXPECT_THAT(progress_, ElementsAre(43, 86, 100));
}

// ---- refusals ------------------------------------------------------------------

TEST_F(ImageTransferTest, NakThenAckCostsOneRetryAndEveryBlockStartsWithTheFullBudget) {
  ScriptedBootloader boot;
  boot.answerBlock = [](int, int attempt) -> std::optional<std::uint8_t> {
    return attempt == 1 ? 0x15 : 0x06;
  };
  ASSERT_EQ(Run(boot, WriteImage(Pattern(256))), TransferResult::kSuccess);
  const auto packets = boot.Packets();
  ASSERT_EQ(packets.size(), 4u);
  EXPECT_EQ(packets[0], packets[1]);  // the refused block again, unchanged
  EXPECT_EQ(packets[2], packets[3]);
  EXPECT_THAT(Statuses(), ElementsAre("Preparing for firmware update......",
                                      "001 Packets Error! [NAK-10]", "50.00% Completed!",
                                      "002 Packets Error! [NAK-10]", "100.00% Completed!",
                                      "Finishing...", "Update complete."));
}

struct RefusalCase {
  std::uint8_t answer;
  const char* firstText;
};

class RefusalTest : public ImageTransferTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(RefusalTest, TenRefusalsOfOneBlockEndInThreeCanAndNoEleventhTransmission) {
  const RefusalCase c = GetParam();
  ScriptedBootloader boot;
  boot.answerBlock = [&](int ordinal, int) -> std::optional<std::uint8_t> {
    return ordinal == 2 ? c.answer : 0x06;
  };
  EXPECT_EQ(Run(boot, WriteImage(Pattern(3 * 128))), TransferResult::kFailure);
  EXPECT_EQ(boot.Packets().size(), 1u + 10u);
  // The cancel: three CAN bytes, one per write, and nothing after them.
  const auto writes = boot.Writes();
  ASSERT_GE(writes.size(), 3u);
  const std::vector<std::uint8_t> can{0x18};
  EXPECT_THAT(std::vector(writes.end() - 3, writes.end()), ElementsAre(can, can, can));
  EXPECT_EQ(boot.Eots(), 0);
  const auto statuses = Statuses();
  EXPECT_EQ(statuses.back(), "Transmit error.");
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), c.firstText), statuses.end());
}

INSTANTIATE_TEST_SUITE_P(
    Answers, RefusalTest,
    ::testing::Values(RefusalCase{0x15, "002 Packets Error! [NAK-10]"},
                      RefusalCase{0x18, "2 Packets Error! [CAN]"},
                      RefusalCase{0x41, "002 Packets Error! [0x41-10]"},
                      RefusalCase{0xFE, "002 Packets Error! [0xFE-10]"}));

TEST_F(ImageTransferTest, RefusalTextsShowTheBudgetBeforeItIsLoweredDownToOne) {
  ScriptedBootloader boot;
  boot.answerBlock = [](int, int) -> std::optional<std::uint8_t> { return 0x15; };
  EXPECT_EQ(Run(boot, WriteImage(Pattern(10))), TransferResult::kFailure);
  std::vector<std::string> refusals;
  for (const auto& s : Statuses())
    if (s.find("Packets Error!") != std::string::npos) refusals.push_back(s);
  ASSERT_EQ(refusals.size(), 10u);
  EXPECT_EQ(refusals.front(), "001 Packets Error! [NAK-10]");
  EXPECT_EQ(refusals[8], "001 Packets Error! [NAK-02]");
  EXPECT_EQ(refusals.back(), "001 Packets Error! [NAK-01]");
}

TEST_F(ImageTransferTest, NineRefusalsThenAnAckStillDeliverTheBlock) {
  ScriptedBootloader boot;
  boot.answerBlock = [](int, int attempt) -> std::optional<std::uint8_t> {
    return attempt <= 9 ? 0x15 : 0x06;
  };
  EXPECT_EQ(Run(boot, WriteImage(Pattern(100))), TransferResult::kSuccess);
  EXPECT_EQ(boot.Packets().size(), 10u);
  EXPECT_EQ(boot.Cans(), 0);
}

TEST_F(ImageTransferTest, RefusalTextFormatsOrdinalByteAndBudget) {
  EXPECT_EQ(ImageTransfer::RefusalText(1, 0x15, 10), "001 Packets Error! [NAK-10]");
  EXPECT_EQ(ImageTransfer::RefusalText(1234, 0x15, 3), "1234 Packets Error! [NAK-03]");
  EXPECT_EQ(ImageTransfer::RefusalText(7, 0x18, 10), "7 Packets Error! [CAN]");
  EXPECT_EQ(ImageTransfer::RefusalText(12, 0x0A, 9), "012 Packets Error! [0x0A-09]");
}

// ---- silence and the ending -------------------------------------------------------

TEST_F(ImageTransferTest, SilenceAfterABlockIsATransmitErrorWithoutCancel) {
  ScriptedBootloader boot;
  boot.answerBlock = [](int ordinal, int) -> std::optional<std::uint8_t> {
    if (ordinal == 2) return std::nullopt;
    return 0x06;
  };
  EXPECT_EQ(Run(boot, WriteImage(Pattern(3 * 128))), TransferResult::kFailure);
  EXPECT_EQ(boot.Packets().size(), 2u);
  EXPECT_EQ(boot.Cans(), 0);
  EXPECT_EQ(boot.Eots(), 0);
  EXPECT_EQ(LastStatus(), "Transmit error.");
}

TEST_F(ImageTransferTest, ReplyBudgetIsTheOneTheHostGives) {
  for (const int budget : {5000, 20000}) {
    ScriptedBootloader boot;
    boot.answerBlock = [](int, int) -> std::optional<std::uint8_t> { return std::nullopt; };
    TransferParams params;
    params.replyBudget = budget;
    EXPECT_EQ(Run(boot, WriteImage(Pattern(10)), params), TransferResult::kFailure);
    EXPECT_EQ(boot.TimedOutBudgets().back(), budget);
  }
}

TEST_F(ImageTransferTest, MissingStartRequestSendsNothing) {
  for (const bool isFailure : {true, false}) {
    ScriptedBootloader boot;
    boot.sendsStartRequest = false;
    statuses_.clear();
    TransferParams params;
    params.firstStatus = "Preparing for firmware update...";
    params.noStartRequestIsFailure = isFailure;
    EXPECT_EQ(Run(boot, WriteImage(Pattern(300)), params), TransferResult::kNoStartRequest);
    EXPECT_TRUE(boot.Writes().empty());
    // The page's worker calls it a transfer failure; the dialog leaves its status.
    EXPECT_EQ(LastStatus(), isFailure ? "Transmit error." : "Preparing for firmware update...");
  }
}

TEST_F(ImageTransferTest, TextBeforeTheStartRequestIsSkipped) {
  ScriptedBootloader boot;
  boot.textBeforeStart = "\r\nbegin upload\r\n";
  ASSERT_EQ(Run(boot, WriteImage(Pattern(128))), TransferResult::kSuccess);
  EXPECT_EQ(boot.Accepted(), Pattern(128));
  EXPECT_EQ(boot.Packets().size(), 1u);
}

TEST_F(ImageTransferTest, LeftoversInTheReceiveSideAreDrainedBeforeTheStart) {
  // A stale 'C' and ACK from before the run: taken as the start request and the
  // first block's answer they would let a block pass unacknowledged.
  ScriptedBootloader boot;
  boot.Preload("C\x06");
  boot.answerBlock = [](int, int attempt) -> std::optional<std::uint8_t> {
    return attempt == 1 ? 0x15 : 0x06;
  };
  ASSERT_EQ(Run(boot, WriteImage(Pattern(128))), TransferResult::kSuccess);
  EXPECT_EQ(boot.Packets().size(), 2u);
}

TEST_F(ImageTransferTest, AnyByteAnsweringTheFirstEotCountsAsItsAcknowledgement) {
  for (const std::uint8_t answer : {0x06, 0x15, 0x18, 0x43}) {
    ScriptedBootloader boot;
    boot.eotAnswer = answer;
    EXPECT_EQ(Run(boot, WriteImage(Pattern(128))), TransferResult::kSuccess) << int(answer);
    EXPECT_EQ(boot.Eots(), 2);
    const std::vector<std::uint8_t> crlf{'\r', '\n'};
    EXPECT_EQ(boot.Writes().back(), crlf);
  }
}

TEST_F(ImageTransferTest, UnansweredEotIsATransmitErrorWithoutASecondEot) {
  ScriptedBootloader boot;
  boot.eotAnswer = std::nullopt;
  EXPECT_EQ(Run(boot, WriteImage(Pattern(128))), TransferResult::kFailure);
  EXPECT_EQ(boot.Eots(), 1);
  EXPECT_EQ(LastStatus(), "Transmit error.");
}

TEST_F(ImageTransferTest, MissingCompletionTextEndsTheWaitAfterItsBound) {
  ScriptedBootloader boot;
  boot.completionText = "\r\nBL > ";
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(Run(boot, WriteImage(Pattern(128))), TransferResult::kNoCompletion);
  EXPECT_EQ(LastStatus(), "Transmit error.");
  // 30 s of protocol time at this scale: a few tens of milliseconds, not forever.
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
}

TEST_F(ImageTransferTest, CompletionTextMaySayCompleteInAnyCase) {
  ScriptedBootloader boot;
  boot.completionText = "\r\nUpload Complete\r\n";
  EXPECT_EQ(Run(boot, WriteImage(Pattern(128))), TransferResult::kSuccess);
}

TEST_F(ImageTransferTest, UnreadableImageSendsNothingAndSaysSo) {
  ScriptedBootloader boot;
  EXPECT_EQ(Run(boot, (dir_ / "missing.ebl").string()), TransferResult::kFileNotOpened);
  EXPECT_TRUE(boot.Writes().empty());
  EXPECT_THAT(op_.Messages(), ElementsAre("ERROR: Could not open the firmware file."));
  EXPECT_THAT(Statuses(), ElementsAre("Firmware update error."));
}

TEST_F(ImageTransferTest, ImageThatShrinksDuringTheTransferIsCancelledNotPadded) {
  const auto path = WriteImage(Pattern(40 * 1024));
  ScriptedBootloader boot;
  boot.onBlock = [&](int ordinal) {
    if (ordinal == 1) std::filesystem::resize_file(path, 200);
  };
  EXPECT_EQ(Run(boot, path), TransferResult::kFailure);
  EXPECT_EQ(boot.Cans(), 3);
  EXPECT_EQ(boot.Eots(), 0);
  EXPECT_EQ(LastStatus(), "Transmit error.");
}

TEST_F(ImageTransferTest, EveryEndingLeavesNoFileOpen) {
  const auto countOpenFiles = [] {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                         std::filesystem::directory_iterator());
  };
  const auto path = WriteImage(Pattern(300));
  const auto before = countOpenFiles();
  {
    ScriptedBootloader ok;
    EXPECT_EQ(Run(ok, path), TransferResult::kSuccess);
  }
  {
    ScriptedBootloader noStart;
    noStart.sendsStartRequest = false;
    EXPECT_EQ(Run(noStart, path), TransferResult::kNoStartRequest);
  }
  {
    ScriptedBootloader refuses;
    refuses.answerBlock = [](int, int) -> std::optional<std::uint8_t> { return 0x15; };
    EXPECT_EQ(Run(refuses, path), TransferResult::kFailure);
  }
  {
    ScriptedBootloader silent;
    silent.answerBlock = [](int, int) -> std::optional<std::uint8_t> { return std::nullopt; };
    EXPECT_EQ(Run(silent, path), TransferResult::kFailure);
  }
  EXPECT_EQ(countOpenFiles(), before);
}

// ---- stopping --------------------------------------------------------------------

TEST_F(ImageTransferTest, StopDuringTheBlocksCancelsPromptlyAndReportsNothingMore) {
  Clock::SetScale(1.0);  // real 5 s budgets: only the stop can end the wait early
  ScriptedBootloader boot;
  boot.answerBlock = [](int ordinal, int) -> std::optional<std::uint8_t> {
    if (ordinal == 3) return std::nullopt;  // the module goes quiet in the middle
    return 0x06;
  };
  const auto path = WriteImage(Pattern(10 * 128));
  std::stop_source stopSource;
  TransferResult result{};
  std::jthread worker([&] { result = Run(boot, path, {}, stopSource.get_token()); });
  ASSERT_TRUE(boot.WaitForPackets(3, std::chrono::seconds(5)));
  const auto statusesAtStop = Statuses().size();
  const auto asked = std::chrono::steady_clock::now();
  stopSource.request_stop();
  worker.join();
  EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::milliseconds(500));
  EXPECT_EQ(result, TransferResult::kStopped);
  EXPECT_EQ(boot.Cans(), 3);
  EXPECT_EQ(Statuses().size(), statusesAtStop);
}

// ---- progress arithmetic ------------------------------------------------------------

struct PercentCase {
  std::int64_t remaining;
  std::int64_t total;
  const char* text;
  int value;
};

class PercentTest : public ::testing::TestWithParam<PercentCase> {};

TEST_P(PercentTest, ProgressTextAndValueFollowTheRemainingBytes) {
  const PercentCase c = GetParam();
  EXPECT_EQ(ImageTransfer::PercentText(c.remaining, c.total), c.text);
  EXPECT_EQ(ImageTransfer::PercentValue(c.remaining, c.total), c.value);
}

INSTANTIATE_TEST_SUITE_P(
    Values, PercentTest,
    ::testing::Values(PercentCase{172, 300, "42.67% Completed!", 43},
                      PercentCase{0, 300, "100.00% Completed!", 100},
                      PercentCase{999, 1000, "0.10% Completed!", 1},
                      // 32 bits would overflow in remaining * 100 from 21.5 MB on.
                      PercentCase{29'999'872, 30'000'000, "0.00% Completed!", 1},
                      PercentCase{1'000'000'000, 4'000'000'000, "75.00% Completed!", 75}));

// ---- a long image through the real receive ring --------------------------------------

TEST_F(ImageTransferTest, ImageOfMoreThan8000BlocksStillFindsItsCompletionText) {
  // Every ACK passes through the 8192-byte ring, so it wraps during the transfer;
  // the completion text must still be read from where it really lies.
  ReceiveBuffer ring;
  std::string reply = "\r\nBL > ";
  std::size_t blocks = 0;
  std::vector<std::uint8_t> received;
  int eots = 0;
  SerialTransferChannel channel(
      ring,
      [&](const std::uint8_t* bytes, int length) {
        if (length == 133) {
          ++blocks;
          received.insert(received.end(), bytes + 3, bytes + 131);
          ring.Put(0x06);
        } else if (length == 1 && bytes[0] == 0x04) {
          ring.Put(0x06);
          if (++eots == 2) {
            for (char c : std::string("\r\nSerial upload complete\r\n"))
              ring.Put(static_cast<std::uint8_t>(c));
          }
        }
      },
      reply);
  // The bootloader's start request comes after the engine's drain.
  class StartRequestAfterDrain : public TransferChannel {
   public:
    StartRequestAfterDrain(SerialTransferChannel& inner, ReceiveBuffer& ring)
        : inner_(inner), ring_(ring) {}
    void Write(const std::uint8_t* b, int n) override { inner_.Write(b, n); }
    int ReadByte(int polls, std::stop_token stop) override {
      if (polls > 1 && !asked_) {
        asked_ = true;
        ring_.Put('C');
      }
      return inner_.ReadByte(polls, stop);
    }
    const std::string& CollectReply() override { return inner_.CollectReply(); }
    void WaitForBytes(int ms, std::stop_token stop) override { inner_.WaitForBytes(ms, stop); }
    void ResetReceive() override { inner_.ResetReceive(); }

   private:
    SerialTransferChannel& inner_;
    ReceiveBuffer& ring_;
    bool asked_ = false;
  } startingChannel(channel, ring);
  const auto image = Pattern(8200 * 128 + 5);
  ASSERT_EQ(Run(startingChannel, WriteImage(image)), TransferResult::kSuccess);
  EXPECT_EQ(blocks, 8201u);
  received.resize(image.size());
  EXPECT_EQ(received, image);
  EXPECT_THAT(reply, HasSubstr("Serial upload complete"));
}

}  // namespace
}  // namespace zendra::test
