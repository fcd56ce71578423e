// The simulated line: pacing at the host's character time, garbage at a wrong
// rate, a vanishing port, prompt shutdown.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <vector>

#include "SimTestBench.h"

namespace zendra::test::modsim {
namespace {

using std::chrono::duration_cast;
using std::chrono::microseconds;

bool AllHighBit(const std::string& bytes) {
  return std::all_of(bytes.begin(), bytes.end(),
                     [](char c) { return (static_cast<unsigned char>(c) & 0x80) != 0; });
}

// The time per byte of `count` bytes the module sends, as the median of the
// slopes between every two arrival times (Theil and Sen). A host busy with other
// work reads late now and then, and the bytes it then finds all carry one time;
// a least-squares slope is pulled by such a bunch near either end, the median of
// the pairs' slopes is not while most bytes are read as they come.
double MicrosecondsPerInjectedByte(SimTestBench& bench, std::size_t count) {
  bench.host->Take();
  bench.module->Inject(std::string(count, 'U'));
  EXPECT_TRUE(bench.host->ReadAtLeast(count, Ms(3000)));
  const auto& times = bench.host->Times();
  std::vector<double> slopes;
  for (std::size_t i = 0; i < times.size(); ++i) {
    for (std::size_t j = i + 1; j < times.size(); ++j) {
      auto apart = duration_cast<microseconds>(times[j] - times[i]).count();
      slopes.push_back(static_cast<double>(apart) / static_cast<double>(j - i));
    }
  }
  if (slopes.empty()) return 0;
  auto middle = slopes.begin() + static_cast<std::ptrdiff_t>(slopes.size() / 2);
  std::nth_element(slopes.begin(), middle, slopes.end());
  return *middle;
}

TEST(SimLine, OutputRunsAtTheHostsCharacterTime) {
  SimTestBench bench(Options{}, 9600);
  ASSERT_TRUE(bench.Ready());

  // 9600 8N1: ten bits, 1041.7 us a byte.
  double expected = 10e6 / 9600;
  EXPECT_NEAR(MicrosecondsPerInjectedByte(bench, 100), expected, expected * 0.03);

  // Two stop bits make every character one bit longer.
  bench.host->SetLine(9600, true);
  expected = 11e6 / 9600;
  EXPECT_NEAR(MicrosecondsPerInjectedByte(bench, 100), expected, expected * 0.03);

  // Injected bytes are sent as they stand, NUL bytes included.
  bench.host->Take();
  bench.module->Inject(std::string("\0OK\0", 4));
  ASSERT_TRUE(bench.host->ReadAtLeast(4, Ms(1000)));
  EXPECT_EQ(bench.host->Take(), std::string("\0OK\0", 4));
}

TEST(SimLine, HostBytesArriveOneCharacterTimeEach) {
  SimTestBench bench(Options{}, 9600);
  ASSERT_TRUE(bench.Ready());
  ASSERT_EQ(bench.Ask("ATE0\r\n", "OK\r\n"), "ATE0\r\r\nOK\r\n");

  // 120 bytes written at once arrive at the module one character time each; the
  // command runs at its CR, the 119th byte, so the answer cannot start earlier
  // (and takes one more character time to arrive).
  std::string line = "AT+NODENAME=" + std::string(106, 'n') + "\r\n";
  ASSERT_EQ(line.size(), 120u);
  bench.host->Take();
  auto written = std::chrono::steady_clock::now();
  bench.host->Write(line);
  ASSERT_TRUE(bench.host->ReadUntilContains("ERROR\r\n", Ms(2000)));
  auto firstReplyByte = bench.host->Times()[0] - written;
  auto charTime = CharTime(9600);
  EXPECT_GE(firstReplyByte, 120 * charTime);
  EXPECT_LE(firstReplyByte, 120 * charTime * 1.05 + Ms(20));  // a busy host may read late
}

TEST(SimLine, WrongRateGivesGarbageBothWays) {
  Options options;
  options.baudRate = 9600;
  SimTestBench bench(options, 19200);
  ASSERT_TRUE(bench.Ready());

  // The module hears noise and echoes noise; nothing it hears is a line.
  bench.host->Write("AT+VERSION\r\n");
  ASSERT_TRUE(bench.host->ReadAtLeast(12, Ms(2000)));
  std::string echo = bench.host->Take();
  EXPECT_TRUE(AllHighBit(echo)) << echo;
  EXPECT_EQ(bench.module->GarbledBytes(), 12u);
  EXPECT_TRUE(bench.module->ReceivedLines().empty());

  // At the right rate the noise is the start of the next line, which fails.
  bench.host->SetLine(9600);
  std::string reply = bench.Ask("\r\n", "ERROR\r\n\n");
  EXPECT_THAT(reply, ::testing::EndsWith("\r\r\nERROR\r\n\n"));
  ASSERT_EQ(bench.module->ReceivedLines().size(), 1u);
  EXPECT_EQ(bench.module->ReceivedLines()[0].size(), 14u);
  EXPECT_EQ(bench.Ask("ATE0\r\n", "OK\r\n"), "ATE0\r\r\nOK\r\n");

  // The other way: the firmware's start banner at 9600 to a host at 115200.
  ASSERT_EQ(bench.Ask("AT+BOOTLOAD\n", "BOOTLOADER\r\n"), "\r\nENTER BOOTLOADER\r\n");
  bench.host->SetLine(115200);
  bench.host->Write("2");
  constexpr std::size_t kBannerLength = sizeof("\r\nZendra MA11 v1.10.0\r\nOK\r\n") - 1;
  ASSERT_TRUE(bench.host->ReadAtLeast(kBannerLength, Ms(2000)));
  std::string banner = bench.host->Take();
  EXPECT_EQ(banner.size(), kBannerLength);
  EXPECT_TRUE(AllHighBit(banner));
  EXPECT_FALSE(bench.module->InBootloader());
}

TEST(SimLine, AutoRateFollowsTheHost) {
  Options options;
  options.baudRate = 0;
  SimTestBench bench(options, 57600);
  ASSERT_TRUE(bench.Ready());
  EXPECT_EQ(bench.Ask("AT\r\n", "OK\r\n\n"), "AT\r\r\nOK\r\n\n");
  bench.host->SetLine(4800);
  EXPECT_EQ(bench.Ask("AT\r\n", "OK\r\n\n"), "AT\r\r\nOK\r\n\n");
  EXPECT_EQ(bench.module->GarbledBytes(), 0u);
}

TEST(SimLine, VanishedPortHangsUpTheHost) {
  SimTestBench bench(Options{});
  ASSERT_TRUE(bench.Ready());
  ASSERT_EQ(bench.Ask("AT\r\n", "OK\r\n\n"), "AT\r\r\nOK\r\n\n");
  bench.module->Vanish();
  EXPECT_TRUE(bench.host->WaitForHangUp(Ms(1000)));
  // The module goes on without a line and stops cleanly.
  bench.module->Inject("lost");
  bench.module->Stop();
}

TEST(SimLine, StopEndsPromptlyInTheMiddleOfALongReply) {
  SimTestBench bench(Options{}, 1200);
  ASSERT_TRUE(bench.Ready());
  bench.module->Inject(std::string(1000, 'x'));  // about 8 s at 1200 baud
  ASSERT_TRUE(bench.host->ReadAtLeast(3, Ms(1000)));
  auto before = std::chrono::steady_clock::now();
  bench.module->Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - before, Ms(200));
  EXPECT_TRUE(bench.host->WaitForHangUp(Ms(1000)));
}

}  // namespace
}  // namespace zendra::test::modsim
