// The progress line a person plans with: bytes sent of the total, the rate over the
// last seconds, and the time left.

#include <gmock/gmock.h>

#include "firmware/TransferRate.h"

namespace zendra::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const Clock::time_point t0 = Clock::time_point(1000s);

TEST(TransferRate, NothingIsShownBeforeTheFirstCountAndOnlyTheBytesAfterIt) {
  TransferRate rate;
  EXPECT_EQ(rate.Text(), "");
  EXPECT_FALSE(rate.BytesPerSecond());
  rate.Add(128, 262144, t0);
  EXPECT_FALSE(rate.BytesPerSecond()) << "one count gives no rate";
  EXPECT_FALSE(rate.SecondsLeft());
  EXPECT_EQ(rate.Text(), "128 of 262,144 bytes");
}

TEST(TransferRate, TheRateIsTheBytesSinceTheFirstCountOverTheTimeSinceIt) {
  TransferRate rate;
  // 128 bytes every 12.5 ms: 10,240 bytes/s from the first count on.
  for (int block = 1; block <= 100; ++block)
    rate.Add(block * 128, 262144, t0 + (block - 1) * 12500us);
  ASSERT_TRUE(rate.BytesPerSecond());
  EXPECT_NEAR(*rate.BytesPerSecond(), 10240.0, 0.01);
  // 262,144 - 12,800 bytes at that rate.
  ASSERT_TRUE(rate.SecondsLeft());
  EXPECT_NEAR(*rate.SecondsLeft(), (262144.0 - 12800.0) / 10240.0, 1e-6);
  EXPECT_EQ(rate.Text(), "12,800 of 262,144 bytes \u00b7 10.2 kB/s \u00b7 0:25 left");
}

TEST(TransferRate, TheRateFollowsTheLastSecondsNotTheWholeTransfer) {
  TransferRate rate;
  // Ten seconds at 10,000 bytes/s, then five at 2,000 bytes/s (blocks refused).
  std::int64_t sent = 0;
  auto at = t0;
  for (int i = 0; i < 100; ++i, at += 100ms) rate.Add(sent += 1000, 1000000, at);
  for (int i = 0; i < 50; ++i, at += 100ms) rate.Add(sent += 200, 1000000, at);
  ASSERT_TRUE(rate.BytesPerSecond());
  // Over the whole transfer it would be 110,000 / 14.9 s = 7,383 bytes/s.
  EXPECT_NEAR(*rate.BytesPerSecond(), 2000.0, 80.0);
}

TEST(TransferRate, NoTimeLeftIsGivenWhileNothingMovesAndNoneOnceAllIsSent) {
  TransferRate rate;
  // Two counts at the same moment: no time has passed, no rate.
  rate.Add(128, 1024, t0);
  rate.Add(256, 1024, t0);
  EXPECT_FALSE(rate.BytesPerSecond());
  EXPECT_FALSE(rate.SecondsLeft());
  EXPECT_EQ(rate.Text(), "256 of 1,024 bytes");

  // The same count again after a while: a rate of zero, and no time left to tell.
  TransferRate stalled;
  stalled.Add(512, 1024, t0);
  stalled.Add(512, 1024, t0 + 2s);
  ASSERT_TRUE(stalled.BytesPerSecond());
  EXPECT_EQ(*stalled.BytesPerSecond(), 0.0);
  EXPECT_FALSE(stalled.SecondsLeft());
  EXPECT_EQ(stalled.Text(), "512 of 1,024 bytes \u00b7 0 B/s");

  TransferRate done;
  done.Add(512, 1024, t0);
  done.Add(1024, 1024, t0 + 1s);
  ASSERT_TRUE(done.SecondsLeft());
  EXPECT_EQ(*done.SecondsLeft(), 0.0);
  EXPECT_EQ(done.Text(), "1,024 of 1,024 bytes \u00b7 512 B/s");
}

TEST(TransferRate, ALowerCountOrAnotherTotalStartsAgain) {
  TransferRate rate;
  rate.Add(128, 1024, t0);
  rate.Add(1024, 1024, t0 + 1s);
  // The next device of a remote update, or a second upload.
  rate.Add(128, 4096, t0 + 5s);
  EXPECT_EQ(rate.Sent(), 128);
  EXPECT_EQ(rate.Total(), 4096);
  EXPECT_FALSE(rate.BytesPerSecond()) << "the old transfer's counts are gone";
  rate.Add(256, 4096, t0 + 6s);
  ASSERT_TRUE(rate.BytesPerSecond());
  EXPECT_NEAR(*rate.BytesPerSecond(), 128.0, 1e-9);
}

TEST(TransferRate, NumbersRatesAndDurationsAreWrittenForAPerson) {
  EXPECT_EQ(TransferRate::Grouped(0), "0");
  EXPECT_EQ(TransferRate::Grouped(999), "999");
  EXPECT_EQ(TransferRate::Grouped(1000), "1,000");
  EXPECT_EQ(TransferRate::Grouped(262144), "262,144");
  EXPECT_EQ(TransferRate::Grouped(12345678901), "12,345,678,901");

  EXPECT_EQ(TransferRate::Rate(0), "0 B/s");
  EXPECT_EQ(TransferRate::Rate(512), "512 B/s");
  EXPECT_EQ(TransferRate::Rate(999.4), "999 B/s");
  EXPECT_EQ(TransferRate::Rate(999.6), "1.0 kB/s");
  EXPECT_EQ(TransferRate::Rate(11004), "11.0 kB/s");
  EXPECT_EQ(TransferRate::Rate(1.5e6), "1.50 MB/s");

  // Rounded up, so that "0:00" means nothing is left.
  EXPECT_EQ(TransferRate::Duration(0), "0:00");
  EXPECT_EQ(TransferRate::Duration(0.2), "0:01");
  EXPECT_EQ(TransferRate::Duration(22.1), "0:23");
  EXPECT_EQ(TransferRate::Duration(60), "1:00");
  EXPECT_EQ(TransferRate::Duration(3599.5), "1:00:00");
  EXPECT_EQ(TransferRate::Duration(3725), "1:02:05");
}

}  // namespace
}  // namespace zendra::test
