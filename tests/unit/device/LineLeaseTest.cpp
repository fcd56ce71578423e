// The line's gate: one lease at a time, given back however its holder ends,
// moved without being given back twice, the window told of each change, and a
// holder's stop ending the lease's waits at once.

#include <gmock/gmock.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "device/Connection.h"
#include "support/FakeOperator.h"

namespace zendra::test {
namespace {

using ::testing::ElementsAre;
using namespace std::chrono_literals;

class LineLeaseTest : public ::testing::Test {
 protected:
  FakeOperator op;
  Connection connection{op};
  LineGate& gate = connection.Gate();
};

TEST_F(LineLeaseTest, ASecondActivityIsRefusedUntilTheFirstGivesTheLineBackHoweverItEnds) {
  std::vector<bool> told;
  gate.SetObserver([&](bool leased) { told.push_back(leased); });
  {
    auto scan = connection.TryLease("scan");
    ASSERT_TRUE(scan.has_value());
    EXPECT_EQ(gate.Holder(), "scan");
    EXPECT_FALSE(connection.TryLease("update").has_value());
    EXPECT_EQ(gate.Holder(), "scan") << "a refusal leaves the holder as it was";
  }
  EXPECT_FALSE(gate.Leased());
  EXPECT_EQ(gate.Holder(), "");

  // Handed on: the moved-from lease gives nothing back; the new holder does, once.
  auto task = connection.TryLease("update");
  ASSERT_TRUE(task.has_value());
  LineLease worker = std::move(*task);
  task.reset();
  EXPECT_TRUE(gate.Leased()) << "the task's end did not give back the worker's line";
  worker.Release();
  worker.Release();
  EXPECT_FALSE(gate.Leased());
  EXPECT_THAT(told, ElementsAre(true, false, true, false));
}

TEST_F(LineLeaseTest, OfManyActivitiesAskingAtOnceExactlyOneGetsTheLine) {
  for (int round = 0; round < 50; ++round) {
    std::atomic<int> granted{0};
    std::atomic<bool> go{false};
    std::vector<std::optional<LineLease>> leases(8);
    std::vector<std::thread> askers;
    for (int i = 0; i < 8; ++i) {
      askers.emplace_back([&, i] {
        while (!go) std::this_thread::yield();
        leases[static_cast<std::size_t>(i)] = connection.TryLease("asker");
        if (leases[static_cast<std::size_t>(i)]) ++granted;
      });
    }
    go = true;
    for (auto& t : askers) t.join();
    ASSERT_EQ(granted, 1) << "round " << round;
    leases.clear();
    ASSERT_FALSE(gate.Leased());
  }
}

TEST_F(LineLeaseTest, TheHoldersStopEndsAPauseAtOnceAndAWorkerThatTookOverFollowsItsOwn) {
  std::stop_source task;
  auto lease = connection.TryLease("update", task.get_token());
  ASSERT_TRUE(lease.has_value());

  std::stop_source worker;
  lease->FollowStop(worker.get_token());
  task.request_stop();
  EXPECT_FALSE(lease->Stopped()) << "the task that handed the line on no longer stops it";

  std::thread stopper([&] {
    std::this_thread::sleep_for(50ms);
    worker.request_stop();
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(lease->Sleep(20000)) << "a stopped pause says so";
  const auto took = std::chrono::steady_clock::now() - start;
  stopper.join();
  EXPECT_LT(took, 5s);
  EXPECT_TRUE(lease->Stopped());
}

}  // namespace
}  // namespace zendra::test
