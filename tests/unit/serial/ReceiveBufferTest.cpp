#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "serial/ReceiveBuffer.h"

namespace zendra {
namespace {

void Fill(ReceiveBuffer& ring, int n, std::uint8_t value = 'x') {
  for (int i = 0; i < n; ++i) ASSERT_TRUE(ring.Put(value));
}

TEST(ReceiveBuffer, HoldsAtMost8191BytesAndAFullRingRefusesTheNextByte) {
  ReceiveBuffer ring;
  Fill(ring, 8191);
  EXPECT_EQ(ring.Count(), 8191);
  EXPECT_FALSE(ring.Put('y'));
  EXPECT_EQ(ring.Count(), 8191);
  std::uint8_t b = 0;
  ASSERT_TRUE(ring.Get(b));
  EXPECT_EQ(b, 'x');  // the refused byte did not overwrite the oldest one
}

TEST(ReceiveBuffer, GetReturnsBytesInOrderAcrossTheWrapOfTheIndexes) {
  ReceiveBuffer ring;
  std::uint8_t b;
  // Move head and tail close to the end of the storage, then wrap.
  for (int i = 0; i < 8190; ++i) {
    ASSERT_TRUE(ring.Put(1));
    ASSERT_TRUE(ring.Get(b));
  }
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(ring.Put(static_cast<std::uint8_t>('a' + i)));
  EXPECT_EQ(ring.Count(), 10);
  EXPECT_EQ(ring.Text(), "abcdefghij");
  for (int i = 0; i < 10; ++i) {
    ASSERT_TRUE(ring.Get(b));
    EXPECT_EQ(b, 'a' + i);
  }
  EXPECT_FALSE(ring.Get(b));
  EXPECT_EQ(ring.Count(), 0);
}

TEST(ReceiveBuffer, ChunkDropsNulBytesAndKeepsTheRestInOrder) {
  ReceiveBuffer ring;
  const std::uint8_t chunk[] = {'O', 0, 'K', 0, 0, '\r', '\n'};
  ring.PutChunk(chunk, sizeof chunk);
  EXPECT_EQ(ring.Count(), 4);
  EXPECT_EQ(ring.Text(), "OK\r\n");
}

TEST(ReceiveBuffer, ChunkThatDoesNotFitWholeEmptiesTheRingAndIsLost) {
  const std::vector<std::uint8_t> chunk(200, 'c');
  {
    ReceiveBuffer ring;
    Fill(ring, 8000);
    ring.PutChunk(chunk.data(), chunk.size());
    EXPECT_EQ(ring.Count(), 0);
    EXPECT_EQ(ring.Text(), "");
  }
  {
    ReceiveBuffer ring;  // 8192 - 7991 = 201 > 200: still fits
    Fill(ring, 7991);
    ring.PutChunk(chunk.data(), chunk.size());
    EXPECT_EQ(ring.Count(), 8191);
  }
  {
    ReceiveBuffer ring;  // 8192 - 7992 = 200: does not fit
    Fill(ring, 7992);
    ring.PutChunk(chunk.data(), chunk.size());
    EXPECT_EQ(ring.Count(), 0);
  }
}

TEST(ReceiveBuffer, TakeTextEmptiesTheRingAndLaterBytesStayForTheNextTake) {
  ReceiveBuffer ring;
  const std::uint8_t first[] = {'1', '.', '2'};
  ring.PutChunk(first, sizeof first);
  EXPECT_EQ(ring.TakeText(), "1.2");
  EXPECT_EQ(ring.Count(), 0);
  const std::uint8_t second[] = {'\r', '\n'};
  ring.PutChunk(second, sizeof second);
  EXPECT_EQ(ring.TakeText(), "\r\n");
  EXPECT_EQ(ring.TakeText(), "");
}

TEST(ReceiveBuffer, TakeTextAgainstAConcurrentProducerLosesAndRepeatsNothing) {
  ReceiveBuffer ring;
  constexpr int kBytes = 200000;
  std::atomic<bool> done{false};
  std::thread producer([&] {
    for (int i = 0; i < kBytes; ++i) {
      const std::uint8_t b = static_cast<std::uint8_t>('a' + i % 26);
      while (!ring.Put(b)) std::this_thread::yield();
    }
    done = true;
  });
  std::string received;
  while (!done || ring.Count() > 0) received += ring.TakeText();
  producer.join();
  received += ring.TakeText();
  ASSERT_EQ(received.size(), static_cast<std::size_t>(kBytes));
  for (int i = 0; i < kBytes; ++i) ASSERT_EQ(received[static_cast<std::size_t>(i)], 'a' + i % 26) << i;
}

TEST(ReceiveBuffer, WaitForBytesWakesOnArrivalAndOtherwiseReturnsAtTheDeadline) {
  ReceiveBuffer ring;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(ring.WaitForBytes(start + std::chrono::milliseconds(20)));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(20));

  std::thread producer([&] { ring.Put('C'); });
  EXPECT_TRUE(ring.WaitForBytes(std::chrono::steady_clock::now() + std::chrono::seconds(10)));
  producer.join();
  EXPECT_EQ(ring.Count(), 1);
}

}  // namespace
}  // namespace zendra
