// The worker slot the hosts keep their worker in, and what the reload dialog's
// and the page's starts do before anything reaches the module.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>

#include "app/Connection.h"
#include "base/Clock.h"
#include "firmware/FirmwareReload.h"
#include "firmware/FirmwareUpdate.h"
#include "firmware/WorkerSlot.h"
#include "support/FakeOperator.h"
#include "RecordingView.h"

namespace zendra::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(WorkerSlotTest, SecondStartWhileAWorkerRunsIsRefusedAndAllowedAgainAfterItEnded) {
  WorkerSlot slot;
  std::mutex mutex;
  std::condition_variable cv;
  bool release = false;
  std::atomic<int> runs{0};
  auto work = [&](std::stop_token) {
    ++runs;
    std::unique_lock lock(mutex);
    cv.wait(lock, [&] { return release; });
  };
  ASSERT_TRUE(slot.TryStart(work));
  EXPECT_TRUE(slot.Running());
  EXPECT_FALSE(slot.TryStart(work));
  {
    std::lock_guard lock(mutex);
    release = true;
  }
  cv.notify_all();
  slot.Join();
  EXPECT_FALSE(slot.Running());
  EXPECT_TRUE(slot.TryStart([&](std::stop_token) { ++runs; }));
  slot.Join();
  EXPECT_EQ(runs.load(), 2);
}

TEST(WorkerSlotTest, DestroyingTheSlotStopsAndJoinsItsWorker) {
  std::atomic<bool> sawStop{false};
  std::atomic<bool> ended{false};
  {
    WorkerSlot slot;
    ASSERT_TRUE(slot.TryStart([&](std::stop_token stop) {
      // Would wait an hour unless stopped.
      sawStop = !Clock::Sleep(3'600'000, stop);
      ended = true;
    }));
  }
  EXPECT_TRUE(ended.load());
  EXPECT_TRUE(sawStop.load());
}

class HostStartTest : public ::testing::Test {
 protected:
  FakeOperator op_;
  Connection connection_{op_};
  RecordingView view_;
};

TEST_F(HostStartTest, UploadWithNoFileChosenSaysInvalidAndSendsNothing) {
  FirmwareReload reload(connection_, view_);
  EXPECT_FALSE(reload.OnUpload());
  EXPECT_THAT(op_.Messages(), ElementsAre("ERROR: The firmware file is invalid."));
  EXPECT_THAT(view_.Statuses(), ElementsAre("Invalid firmware file."));
  EXPECT_THAT(view_.Progress(), ElementsAre(0));
  EXPECT_THAT(view_.Buttons(), IsEmpty());
  EXPECT_FALSE(reload.Busy());
  EXPECT_EQ(op_.WaitDepth(), 0);
  EXPECT_GE(op_.WaitCount(), 1);
}

TEST_F(HostStartTest, UpdateWithNoFileChosenSaysInvalidUnlessItIsAClone) {
  FirmwareUpdate update(connection_, view_);
  EXPECT_FALSE(update.StartUpdate(true, false, ""));
  EXPECT_THAT(op_.Messages(), ElementsAre("ERROR: The firmware file is invalid."));
  EXPECT_THAT(view_.Statuses(), ElementsAre("Invalid firmware file."));
  EXPECT_THAT(view_.Buttons(), IsEmpty());
  EXPECT_EQ(op_.WaitDepth(), 0);
}

TEST_F(HostStartTest, FailedLocalCheckLeavesStatusAndProgressUntouched) {
  connection_.settings.baudRate = 9600;
  FirmwareUpdate update(connection_, view_);
  update.SetChosenPath("/nonexistent/image.ebl");
  EXPECT_FALSE(update.OnLocalUpdate());
  EXPECT_THAT(op_.Messages(),
              ElementsAre("ERROR: Please change the baudrate to 115200 and flow control to 'none'."));
  EXPECT_THAT(view_.Statuses(), IsEmpty());
  EXPECT_THAT(view_.Progress(), IsEmpty());
}

TEST_F(HostStartTest, ChoosingAFileReplacesThePathAndCancellingKeepsIt) {
  FirmwareReload reload(connection_, view_);
  reload.SetChosenPath("/old.ebl");
  op_.QueueFile(std::nullopt);
  EXPECT_EQ(reload.OnChooseFile(), "/old.ebl");
  op_.QueueFile("/new.ebl");
  EXPECT_EQ(reload.OnChooseFile(), "/new.ebl");
  const auto events = op_.Events();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].text, "ebl Files(*.ebl)|*.ebl|All Files(*.*)|*.*|");
}

}  // namespace
}  // namespace zendra::test
