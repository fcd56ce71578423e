// The worker slot the hosts keep their worker in (its stop-and-join is exercised by
// closing the reload dialog mid-transfer), and what the reload dialog and the page
// do before anything reaches the module.

#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>

#include <atomic>
#include <latch>

#include "RecordingView.h"
#include "device/Connection.h"
#include "firmware/FirmwareReload.h"
#include "firmware/FirmwareUpdate.h"
#include "base/WorkerSlot.h"
#include "support/FakeOperator.h"

namespace zendra::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(WorkerSlotTest, SecondStartWhileAWorkerRunsIsRefusedAndAllowedAgainAfterItEnded) {
  WorkerSlot slot;
  std::latch release(1);
  std::atomic<int> runs{0};
  ASSERT_TRUE(slot.TryStart([&](std::stop_token) { ++runs, release.wait(); }));
  EXPECT_FALSE(slot.TryStart([&](std::stop_token) { ++runs; }));
  release.count_down();
  slot.Join();
  EXPECT_FALSE(slot.Running());
  EXPECT_TRUE(slot.TryStart([&](std::stop_token) { ++runs; }));
  slot.Join();
  EXPECT_EQ(runs.load(), 2);
}

class HostStartTest : public ::testing::Test {
 protected:
  FakeOperator op_;
  Connection connection_{op_};
  RecordingView view_;
};

TEST_F(HostStartTest, NoFileChosenSaysInvalidAndSendsNothing) {
  {
    auto line = connection_.TryLease("reload");
    FirmwareReload reload(connection_, *line, view_, op_);
    EXPECT_FALSE(reload.OnUpload());
  }
  FirmwareUpdate update(connection_, view_, op_);
  EXPECT_FALSE(update.StartUpdate(std::move(*connection_.TryLease("update")), true, false, ""));
  EXPECT_FALSE(connection_.Gate().Leased()) << "a start that ends at once gives the line back";
  EXPECT_THAT(op_.Messages(), ElementsAre("ERROR: The firmware file is invalid.",
                                          "ERROR: The firmware file is invalid."));
  EXPECT_THAT(view_.statuses, ElementsAre("Invalid firmware file.", "Invalid firmware file."));
  EXPECT_THAT(view_.buttons, IsEmpty());
  EXPECT_EQ(op_.WaitDepth(), 0);
  EXPECT_GE(op_.WaitCount(), 2);
}

TEST_F(HostStartTest, AReloadOfAFileThatIsNoFirmwareImageSendsNothing) {
  // Text, an empty file, a file that is gone: none carries a model code, and the
  // reload says so before the bootloader is touched (a line end would wake its menu).
  const std::string folder = (std::filesystem::temp_directory_path() / "").string();
  const std::string text = folder + "zendra-notes.txt";
  const std::string empty = folder + "zendra-empty.ebl";
  const std::string textWithModel = folder + "zendra-MA11-notes.ebl";
  std::ofstream(text) << "Release notes: MA 11 and more, but no model code.\n";
  std::ofstream(empty).close();
  // Text that names a model passes the model check, and is still no image.
  std::ofstream(textWithModel) << "Release notes for the MA11 firmware, v1.11.0.\r\n";
  auto line = connection_.TryLease("reload");
  FirmwareReload reload(connection_, *line, view_, op_);
  for (const std::string& path : {text, empty, folder + "zendra-gone.ebl", textWithModel}) {
    reload.SetChosenPath(path);
    EXPECT_FALSE(reload.OnUpload()) << path;
  }
  std::filesystem::remove(text);
  std::filesystem::remove(empty);
  std::filesystem::remove(textWithModel);
  EXPECT_THAT(op_.Messages(), ElementsAre("ERROR: The firmware file is invalid.",
                                          "ERROR: The firmware file is invalid.",
                                          "ERROR: The firmware file is invalid.",
                                          "ERROR: The file is text, not a firmware image."));
  EXPECT_THAT(view_.statuses, ::testing::Each(std::string("Invalid firmware file.")));
  EXPECT_THAT(view_.buttons, IsEmpty()) << "nothing started, nothing disabled";
}

TEST_F(HostStartTest, RemoteStartWithoutAFileGivesTheLineBackAndAPressWithoutPortRefuses) {
  FirmwareUpdate update(connection_, view_, op_);
  EXPECT_FALSE(update.StartUpdate(std::move(*connection_.TryLease("update")), false, false,
                                  "000D6F0000000A01"));
  EXPECT_FALSE(connection_.Gate().Leased());
  // The connection's line settings start at 9600: the press refuses first.
  EXPECT_EQ(update.OnRemoteUpdate({{"000D6F0000000A01", true}}), std::nullopt);
  EXPECT_FALSE(connection_.Gate().Leased());
  EXPECT_THAT(op_.Messages(), ElementsAre("ERROR: The firmware file is invalid.",
                                          "ERROR: Please change the baudrate to 115200."));
  EXPECT_THAT(view_.statuses, ElementsAre("Invalid firmware file."));
  EXPECT_THAT(view_.buttons, IsEmpty());
}

TEST_F(HostStartTest, FailedLocalCheckLeavesStatusAndProgressUntouched) {
  // The connection's line settings start at 9600.
  FirmwareUpdate update(connection_, view_, op_);
  update.SetChosenPath("/nonexistent/image.ebl");
  EXPECT_FALSE(update.CheckLocal());
  EXPECT_THAT(op_.Messages(),
              ElementsAre("ERROR: Please change the baudrate to 115200 and flow control to 'none'."));
  EXPECT_THAT(view_.statuses, IsEmpty());
  EXPECT_THAT(view_.progress, IsEmpty());
}

}  // namespace
}  // namespace zendra::test
