// The remote update's sequence without a module: which row each look starts, how
// a failed start is counted, and the clone box read at every start. Then the
// clone's watch on a receive ring fed by the test.

#include <gmock/gmock.h>

#include <atomic>
#include <stop_token>
#include <thread>

#include "base/Clock.h"
#include "firmware/CloneMonitor.h"
#include "firmware/RemoteSequence.h"

namespace zendra::test {
namespace {

using ::testing::ElementsAre;
using ::testing::Optional;

// A page stand-in: rows, a clone box, and a worker that runs until the test ends it.
struct FakePage {
  RemoteSequence sequence;
  bool worker = false;
  bool clone = false;
  // Whether the next starts succeed (a worker then runs); true when empty.
  std::vector<bool> succeed;
  struct Started {
    int row;
    std::string address;
    bool clone;
    int startedCount;
    bool allStarted;
  };
  std::vector<Started> started;

  void Press(const std::vector<std::string>& addresses, const std::vector<int>& chosen) {
    sequence.Reset(addresses);
    for (int row : chosen) sequence.Mark(row);
    sequence.Arm();
  }
  std::optional<int> Look(std::stop_token stop = {}) {
    return sequence.Tick([this] { return clone; }, [this] { return worker; },
                         [this](const RemoteSequence::Start& s) {
                           started.push_back({s.row, s.address, s.clone, sequence.StartedCount(),
                                              sequence.AllStarted()});
                           const std::size_t n = started.size() - 1;
                           worker = n >= succeed.size() || succeed[n];
                         },
                         stop);
  }
  std::vector<int> Rows() const {
    std::vector<int> rows;
    for (const auto& s : started) rows.push_back(s.row);
    return rows;
  }
};

TEST(RemoteSequenceTest, EachLookStartsTheNextChosenRowOnceTheWorkerHasEnded) {
  FakePage page;
  page.Press({"A0", "A1", "A2", "A3"}, {0, 2, 3});
  EXPECT_EQ(page.sequence.SelectedCount(), 3);

  EXPECT_THAT(page.Look(), Optional(5000));
  EXPECT_THAT(page.Rows(), ElementsAre(0));
  // The worker still runs: the look starts nothing and asks for the next one.
  EXPECT_THAT(page.Look(), Optional(5000));
  EXPECT_THAT(page.Rows(), ElementsAre(0));

  page.worker = false;
  EXPECT_THAT(page.Look(), Optional(5000));
  page.worker = false;
  // The last chosen row: no look after it, the sequence ends with its worker.
  EXPECT_EQ(page.Look(), std::nullopt);
  EXPECT_THAT(page.Rows(), ElementsAre(0, 2, 3));
  EXPECT_EQ(page.started[2].address, "A3");
  EXPECT_EQ(page.sequence.StartedCount(), 3);
  EXPECT_FALSE(page.sequence.Pending());
  EXPECT_EQ(page.sequence.CurrentRow(), 3);
}

TEST(RemoteSequenceTest, AFailedStartCountsAndTheNextRowStartsInTheSameLook) {
  FakePage page;
  page.Press({"A0", "A1", "A2"}, {0, 1, 2});
  page.succeed = {true, false, true};
  page.Look();
  page.worker = false;
  // Row 1's start fails and no worker runs: row 2 starts in the same look, and
  // as the last one it ends the looks.
  EXPECT_EQ(page.Look(), std::nullopt);
  EXPECT_THAT(page.Rows(), ElementsAre(0, 1, 2));
  // Counted before each start, so that a worker's ending sees its own start.
  EXPECT_EQ(page.started[1].startedCount, 2);
  EXPECT_FALSE(page.started[1].allStarted);
  EXPECT_EQ(page.started[2].startedCount, 3);
  EXPECT_TRUE(page.started[2].allStarted);
}

TEST(RemoteSequenceTest, TheCloneBoxIsReadAtEachStart) {
  FakePage page;
  page.Press({"A0", "A1", "A2"}, {0, 1, 2});
  page.Look();
  page.clone = true;
  page.worker = false;
  page.Look();
  page.clone = false;
  page.worker = false;
  page.Look();
  ASSERT_EQ(page.started.size(), 3u);
  EXPECT_FALSE(page.started[0].clone);
  EXPECT_TRUE(page.started[1].clone);
  EXPECT_FALSE(page.started[2].clone);
}

TEST(RemoteSequenceTest, AListLongerThan256RowsKeepsEveryMark) {
  FakePage page;
  std::vector<std::string> addresses;
  for (int i = 0; i < 300; ++i) addresses.push_back("R" + std::to_string(i));
  page.Press(addresses, {255, 256, 299});
  EXPECT_EQ(page.sequence.SelectedCount(), 3);
  page.succeed = {false, false, false};
  EXPECT_EQ(page.Look(), std::nullopt);
  EXPECT_THAT(page.Rows(), ElementsAre(255, 256, 299));
  EXPECT_EQ(page.started[2].address, "R299");
}

TEST(RemoteSequenceTest, NothingStartsAfterAStopOrOnceTheMarksAreCleared) {
  FakePage page;
  page.Press({"A0", "A1"}, {0, 1});
  std::stop_source stop;
  stop.request_stop();
  EXPECT_EQ(page.Look(stop.get_token()), std::nullopt);
  page.sequence.ClearMarks();
  EXPECT_EQ(page.Look(), std::nullopt);
  EXPECT_TRUE(page.started.empty());
  // A new press starts from a clean table: no outcome of the old rows.
  page.sequence.RecordOutcome(1, FirmwareOutcome::kCompleted);
  page.Press({"B0"}, {0});
  EXPECT_THAT(page.sequence.Outcomes(), ElementsAre(std::nullopt));
}

// What "Retry failed" starts again: the chosen rows that ended failed, not those
// that completed, were cancelled by the operator or never came to their turn; and
// a cancel takes the rows still waiting, once.
TEST(RemoteSequenceTest, TheFailedRowsAreThoseStartedThatNeitherCompletedNorWereStopped) {
  FakePage page;
  page.Press({"A0", "A1", "A2", "A3", "A4", "A5"}, {0, 1, 2, 3, 5});
  EXPECT_THAT(page.sequence.ChosenRows(), ElementsAre(0, 1, 2, 3, 5));
  page.sequence.RecordOutcome(0, FirmwareOutcome::kCompleted);
  page.sequence.RecordOutcome(1, FirmwareOutcome::kTransmitError);
  page.sequence.RecordOutcome(2, FirmwareOutcome::kStopped);
  page.sequence.RecordOutcome(3, FirmwareOutcome::kNotStarted);
  // Row 4 was not chosen: its outcome (of no run of this press) does not count.
  page.sequence.RecordOutcome(4, FirmwareOutcome::kTransmitError);
  EXPECT_THAT(page.sequence.FailedRows(), ElementsAre(1, 3));
  // Row 5 never started: it waits, and a cancel takes it.
  EXPECT_THAT(page.sequence.TakePending(), ElementsAre(0, 1, 2, 3, 5));
  EXPECT_THAT(page.sequence.TakePending(), ::testing::IsEmpty());
  EXPECT_FALSE(page.sequence.Pending());
  EXPECT_THAT(page.sequence.FailedRows(), ElementsAre(1, 3)) << "a cancel keeps the outcomes";
}

// The clone's watch, its ring fed from its own reports.
class CloneMonitorTest : public ::testing::Test {
 protected:
  void SetUp() override { Clock::SetScale(0.002); }
  void TearDown() override { Clock::SetScale(1.0); }

  CloneMonitor::Result Watch(std::function<void(int pass)> onPass, std::stop_token stop = {}) {
    CloneMonitor::Sinks sinks;
    sinks.status = [this](const std::string& text) { statuses.push_back(text); };
    sinks.progress = [this, onPass](int pass) {
      passes.push_back(pass);
      if (onPass) onPass(pass);
    };
    CloneMonitor monitor(ring, reply, std::move(sinks));
    return monitor.Run(stop);
  }
  void Send(const std::string& text) {
    ring.PutChunk(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  }

  ReceiveBuffer ring;
  std::string reply = "left over: ERROR";
  std::vector<std::string> statuses;
  std::vector<int> passes;
};

TEST_F(CloneMonitorTest, CompletionIsSeenInThePassItArrivesWithOneMoreDotEachPass) {
  Send("\r\nERROR\r\n");  // before the watch: not its outcome
  const auto result = Watch([this](int pass) {
    if (pass == 3) Send("\r\nClone comp");
    if (pass == 4) Send("lete\r\n");
  });
  EXPECT_EQ(result, CloneMonitor::Result::kComplete);
  EXPECT_THAT(passes, ElementsAre(0, 1, 2, 3, 4));
  EXPECT_THAT(statuses,
              ElementsAre("Cloning.", "Cloning..", "Cloning...", "Cloning....", "Cloning....."));
}

TEST_F(CloneMonitorTest, TheOutcomesLineEndIsTakenSoThatItCannotReachTheNextTransaction) {
  std::thread lineEnd;
  const auto result = Watch([&](int pass) {
    if (pass != 1) return;
    Send("\r\nClone complete");
    // The module's CR LF follows a moment later.
    lineEnd = std::thread([this] {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      Send("\r\n");
    });
  });
  lineEnd.join();
  EXPECT_EQ(result, CloneMonitor::Result::kComplete);
  EXPECT_EQ(reply, "\r\nClone complete\r\n");
  EXPECT_EQ(ring.Count(), 0);
}

TEST_F(CloneMonitorTest, ErrorEndsTheWatchAsAFailure) {
  EXPECT_EQ(Watch([this](int pass) {
              if (pass == 1) Send("\r\nERROR\r\n");
            }),
            CloneMonitor::Result::kError);
  EXPECT_EQ(passes.size(), 2u);
}

TEST_F(CloneMonitorTest, NeitherTextIn180PassesIsAFailureAfterAllOfThem) {
  const auto began = Clock::Now();
  EXPECT_EQ(Watch([this](int pass) {
              if (pass % 7 == 0) Send("copying\r\n");  // other text does not shorten a pass
            }),
            CloneMonitor::Result::kTimedOut);
  EXPECT_GE(Clock::Now() - began, Clock::Scaled(180 * 1000));
  ASSERT_EQ(passes.size(), 180u);
  EXPECT_EQ(passes.back(), 179);
  EXPECT_EQ(statuses.back(), "Cloning." + std::string(179, '.'));
}

TEST_F(CloneMonitorTest, AStopEndsTheWatchWithoutFurtherReports) {
  std::stop_source stop;
  EXPECT_EQ(Watch(
                [&](int pass) {
                  if (pass == 2) stop.request_stop();
                },
                stop.get_token()),
            CloneMonitor::Result::kStopped);
  EXPECT_THAT(passes, ElementsAre(0, 1, 2));
  EXPECT_EQ(statuses.size(), 3u);
}

TEST_F(CloneMonitorTest, ALostLineEndsTheWatchAtOnce) {
  ring.SetLineLost(true);
  EXPECT_EQ(Watch({}), CloneMonitor::Result::kLineLost);
  EXPECT_EQ(passes.size(), 1u);
}

}  // namespace
}  // namespace zendra::test
