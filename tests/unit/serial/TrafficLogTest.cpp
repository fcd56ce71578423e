// The traffic log between the port's threads and its sink: everything recorded
// reaches the sink in order with rising times, from any number of threads, without
// a call to Flush; what does not fit is counted and said; the end of the log ends
// every open line and block.

#include <gmock/gmock.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "serial/TrafficLog.h"
#include "support/VisibleBytes.h"

namespace zendra::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using Event = LineTap::Event;
using Direction = TrafficEntry::Direction;

// Keeps every entry the log hands over, and lets a test wait for them.
class CollectingSink {
 public:
  TrafficLog::Sink Sink() {
    return [this](std::vector<TrafficEntry>& entries) {
      std::lock_guard lock(mutex_);
      for (auto& entry : entries) entries_.push_back(std::move(entry));
      ++batches_;
      changed_.notify_all();
    };
  }
  bool WaitForEntries(std::size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return entries_.size() >= count; });
  }
  std::vector<TrafficEntry> Entries() {
    std::lock_guard lock(mutex_);
    return entries_;
  }
  int Batches() {
    std::lock_guard lock(mutex_);
    return batches_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<TrafficEntry> entries_;
  int batches_ = 0;
};

void Record(TrafficLog& log, Event event, std::string_view text) {
  log.Record(event, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

TEST(TrafficLog, HandsWhatWasRecordedToTheSinkByItselfSoonAfter) {
  CollectingSink sink;
  TrafficLog log(sink.Sink());
  Record(log, Event::kSent, "AT+VERSION\r\n");
  Record(log, Event::kReceived, "v1.10.0\r\nOK\r\n");
  // No Flush: the log's own thread delivers within its batch time.
  ASSERT_TRUE(sink.WaitForEntries(3, std::chrono::seconds(5)));
  const auto entries = sink.Entries();
  EXPECT_EQ(entries[0].text, "AT+VERSION<CR><LF>");
  EXPECT_EQ(entries[0].direction, Direction::kSent);
  EXPECT_EQ(entries[1].text, "v1.10.0<CR><LF>");
  EXPECT_EQ(entries[2].text, "OK<CR><LF>");
  EXPECT_LE(entries[0].microseconds, entries[1].microseconds);
}

TEST(TrafficLog, ALineWithoutItsEndIsShownOnceTheLineHasBeenQuiet) {
  CollectingSink sink;
  TrafficLog log(sink.Sink());
  // The bootloader's start request: one byte, no line end, nothing after it.
  Record(log, Event::kReceived, "C");
  ASSERT_TRUE(sink.WaitForEntries(1, std::chrono::seconds(5)));
  EXPECT_EQ(sink.Entries()[0].text, "C");
}

TEST(TrafficLog, KeepsTheOrderOfRecordsFromManyThreadsWithRisingTimes) {
  CollectingSink sink;
  TrafficLog log(sink.Sink());
  constexpr int kThreads = 4, kLines = 2000;
  {
    std::vector<std::jthread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&log, t] {
        for (int i = 0; i < kLines; ++i) {
          Record(log, Event::kNote, std::to_string(t) + ":" + std::to_string(i));
        }
      });
    }
  }
  log.Flush();
  const auto entries = sink.Entries();
  ASSERT_EQ(entries.size(), static_cast<std::size_t>(kThreads * kLines));
  std::vector<int> next(kThreads, 0);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (i > 0) {
      ASSERT_GE(entries[i].microseconds, entries[i - 1].microseconds) << i;
    }
    const auto colon = entries[i].text.find(':');
    const int t = std::stoi(entries[i].text.substr(0, colon));
    // Each thread's records come in the order it made them.
    ASSERT_EQ(std::stoi(entries[i].text.substr(colon + 1)), next[t]++) << entries[i].text;
  }
  EXPECT_EQ(log.DroppedBytes(), 0u);
}

TEST(TrafficLog, BytesThatDoNotFitAreCountedAndSaidInsteadOfHoldingUpTheLine) {
  CollectingSink sink;
  // A batch time longer than the test: everything is formatted in the one Flush.
  TrafficLog log(sink.Sink(), {.capacity = 256, .batch = std::chrono::seconds(30)});
  Record(log, Event::kReceived, "OK\r\n");
  Record(log, Event::kReceived, std::string(1000, 'x'));
  Record(log, Event::kReceived, "ERROR\r\n");
  log.Flush();
  EXPECT_EQ(log.DroppedBytes(), 1000u);
  std::vector<std::string> texts;
  for (const auto& entry : sink.Entries()) texts.push_back(entry.text);
  EXPECT_THAT(texts, ElementsAre("OK<CR><LF>", "ERROR<CR><LF>",
                                 "1000 bytes of traffic are missing here: the log fell behind"));
}

TEST(TrafficLog, ItsEndEndsTheOpenLineAndTheBlockThatWaitsForItsAnswer) {
  CollectingSink sink;
  {
    TrafficLog log(sink.Sink());
    Record(log, Event::kReceived, "BL >");
    std::string block = {'\x01', '\x01', '\xFE'};
    block.append(130, '\0');
    Record(log, Event::kSent, block);
  }
  std::vector<std::string> texts;
  for (const auto& entry : sink.Entries()) texts.push_back(entry.text);
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0], "BL >");
  EXPECT_THAT(texts[1], HasSubstr("block 1, 133 bytes"));
  EXPECT_THAT(texts[1], HasSubstr("no answer"));
}

}  // namespace
}  // namespace zendra::test
