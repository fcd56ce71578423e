// The remote sequence's lease of the line: who may use it, when it goes back, and
// that the press, the looks, the workers and the window can reach it from their own
// threads at once (run under ThreadSanitizer by the tsan preset).

#include <gmock/gmock.h>

#include <atomic>
#include <thread>
#include <vector>

#include "device/Connection.h"
#include "firmware/RemoteSequence.h"
#include "support/FakeOperator.h"

namespace zendra::test {
namespace {

class SequenceLineTest : public ::testing::Test {
 protected:
  void Hold() {
    auto line = connection_.TryLease("remote firmware update");
    ASSERT_TRUE(line.has_value());
    sequence_.HoldLine(std::move(*line));
  }
  bool Leased() { return connection_.Gate().Leased(); }

  FakeOperator op_;
  Connection connection_{op_};
  RemoteSequence sequence_;
};

TEST_F(SequenceLineTest, TheLineStaysWhileItsUseIsOutAndGoesAsItEnds) {
  Hold();
  auto look = sequence_.UseLine({});
  ASSERT_TRUE(look.has_value());
  sequence_.GiveLineBack();
  // Asked to go: no new use, but the one out keeps the lease alive.
  EXPECT_FALSE(sequence_.UseLine({}).has_value());
  EXPECT_TRUE(Leased());
  EXPECT_TRUE(sequence_.HoldsLine());
  look.reset();
  EXPECT_FALSE(Leased());
  EXPECT_FALSE(sequence_.HoldsLine());
  // Given back, the sequence may hold a line again.
  Hold();
  EXPECT_TRUE(sequence_.UseLine({}).has_value());
}

TEST_F(SequenceLineTest, AWorkerTakingOverWaitsForTheLookToLetGoOrForItsStop) {
  Hold();
  std::optional<RemoteSequence::LineUse> look = sequence_.UseLine({});
  ASSERT_TRUE(look.has_value());
  std::atomic<bool> took{false};
  std::jthread worker([&](std::stop_token) {
    auto use = sequence_.UseLine({});
    took = use.has_value();
  });
  // The worker waits while the look's use is out (a while of nothing: it cannot
  // have taken the line, however late it started).
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(took.load());
  look.reset();
  worker.join();
  EXPECT_TRUE(took.load());

  // A user whose stop comes while it waits gets nothing.
  look = sequence_.UseLine({});
  std::stop_source stop;
  std::jthread stopped(
      [&](std::stop_token) { took = sequence_.UseLine(stop.get_token()).has_value(); });
  stop.request_stop();
  stopped.join();
  EXPECT_FALSE(took.load());
  EXPECT_TRUE(Leased());
}

TEST_F(SequenceLineTest, TheLineGoesBackOnlyOnceNoChosenRowWaits) {
  sequence_.Reset({"000D6F0000000A01", "000D6F0000000A02"});
  sequence_.Mark(1);
  Hold();
  EXPECT_FALSE(sequence_.GiveLineBackIfDone()) << "row 1 still waits for its start";
  EXPECT_TRUE(Leased());
  EXPECT_TRUE(sequence_.UseLine({}).has_value());
  // A Cancel takes the waiting rows: now nothing keeps the line.
  EXPECT_THAT(sequence_.TakePending(), ::testing::ElementsAre(1));
  EXPECT_TRUE(sequence_.GiveLineBackIfDone());
  EXPECT_FALSE(Leased());
  EXPECT_TRUE(sequence_.GiveLineBackIfDone()) << "with no line held it is simply done";
}

TEST_F(SequenceLineTest, AUseGoesOnUnderItsUsersStop) {
  Hold();
  std::stop_source worker;
  auto use = sequence_.UseLine(worker.get_token());
  ASSERT_TRUE(use.has_value());
  EXPECT_FALSE((*use)->Stopped());
  worker.request_stop();
  EXPECT_TRUE((*use)->Stopped());
  // A moved use is still the one use: the line goes as the moved-to one ends.
  std::optional<RemoteSequence::LineUse> moved = std::move(use);
  use.reset();
  sequence_.GiveLineBack();
  EXPECT_TRUE(Leased());
  moved.reset();
  EXPECT_FALSE(Leased());
}

TEST_F(SequenceLineTest, UsersOnSeveralThreadsAndAStopFromAnotherGiveTheLineBackOnce) {
  std::atomic<int> released{0};
  connection_.Gate().SetObserver([&](bool leased) {
    if (!leased) ++released;
  });
  sequence_.Reset({"000D6F0000000A01"});
  sequence_.Mark(0);
  Hold();
  std::atomic<bool> go{false};
  std::atomic<int> uses{0}, talking{0}, overlaps{0};
  std::vector<std::jthread> users;
  for (int t = 0; t < 4; ++t) {
    users.emplace_back([&, t] {
      while (!go) std::this_thread::yield();
      std::stop_source own;
      for (int i = 0; i < 2000; ++i) {
        auto use = sequence_.UseLine(own.get_token());
        if (!use) return;
        // Alone on the line, under its own stop, with the lease alive.
        if (++talking > 1) ++overlaps;
        EXPECT_FALSE((*use)->Stopped());
        (void)(*use)->Link();
        --talking;
        ++uses;
        if ((i + t) % 3 == 0) sequence_.GiveLineBackIfDone();  // a worker's end; a row waits
      }
    });
  }
  go = true;
  while (uses < 100) std::this_thread::yield();
  // The window closes: the marks go, and the line with them.
  sequence_.ClearMarks();
  sequence_.GiveLineBack();
  users.clear();
  EXPECT_EQ(overlaps.load(), 0);
  EXPECT_FALSE(Leased());
  EXPECT_FALSE(sequence_.HoldsLine());
  EXPECT_EQ(released.load(), 1);
}

}  // namespace
}  // namespace zendra::test
