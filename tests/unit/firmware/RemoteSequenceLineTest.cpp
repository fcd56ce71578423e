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

TEST_F(SequenceLineTest, TheLineStaysWhileAUseIsOutAndGoesAsTheLastOneEnds) {
  Hold();
  auto look = sequence_.UseLine({});
  auto worker = sequence_.UseLine({});
  ASSERT_TRUE(look && worker);
  sequence_.GiveLineBack();
  // Asked to go: no new use, but the two out keep the lease alive.
  EXPECT_FALSE(sequence_.UseLine({}).has_value());
  EXPECT_TRUE(Leased());
  EXPECT_TRUE(sequence_.HoldsLine());
  look.reset();
  EXPECT_TRUE(Leased());
  worker.reset();
  EXPECT_FALSE(Leased());
  EXPECT_FALSE(sequence_.HoldsLine());
  // Given back, the sequence may hold a line again.
  Hold();
  EXPECT_TRUE(sequence_.UseLine({}).has_value());
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
  // A moved use is still one use: the line goes as the moved-to one ends.
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
  std::atomic<int> uses{0};
  std::vector<std::jthread> users;
  for (int t = 0; t < 4; ++t) {
    users.emplace_back([&] {
      while (!go) std::this_thread::yield();
      for (int i = 0; i < 2000; ++i) {
        auto use = sequence_.UseLine({});
        if (!use) return;
        // The lease is alive while the use is out: its stop and its link answer.
        EXPECT_FALSE((*use)->Stopped());
        (void)(*use)->Link();
        ++uses;
        if (i % 3 == 0) sequence_.GiveLineBackIfDone();  // a worker's end, a row still waits
      }
    });
  }
  go = true;
  while (uses < 100) std::this_thread::yield();
  // The window closes: the marks go, and the line with them.
  sequence_.ClearMarks();
  sequence_.GiveLineBack();
  users.clear();
  EXPECT_FALSE(Leased());
  EXPECT_FALSE(sequence_.HoldsLine());
  EXPECT_EQ(released.load(), 1);
}

}  // namespace
}  // namespace zendra::test
