// Progress as typed events: the engine's one report per block for a host, the
// texts a view makes of an event, and what a view that takes only texts is given.

#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>

#include "RecordingView.h"
#include "ScriptedBootloader.h"
#include "base/FileAccess.h"
#include "firmware/CrcTable.h"
#include "firmware/ImageTransfer.h"
#include "firmware/TransferRate.h"
#include "support/FakeOperator.h"

namespace zendra::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Pair;

TEST(ProgressEvents, AHostGetsEachBlockOnceAndNoPercentageText) {
  Clock::SetScale(0.001);
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("progress-" + std::to_string(ProcessNumber()) + ".ebl"))
                               .string();
  std::ofstream(path, std::ios::binary) << std::string(300, 'x');
  CrcTable crc;
  crc.Fill();
  FakeOperator op;
  ScriptedBootloader boot;
  std::vector<std::string> statuses;
  std::vector<std::pair<std::int64_t, std::int64_t>> blocks;
  std::vector<int> progress;
  TransferSinks sinks;
  sinks.status = [&](const std::string& text) { statuses.push_back(text); };
  sinks.progress = [&](int percent) { progress.push_back(percent); };
  sinks.block = [&](std::int64_t sent, std::int64_t total) { blocks.emplace_back(sent, total); };
  EXPECT_EQ(ImageTransfer(boot, crc, op, sinks).Run(path, {}, {}), TransferResult::kSuccess);
  Clock::SetScale(1.0);
  std::filesystem::remove(path);

  EXPECT_THAT(blocks, ElementsAre(Pair(128, 300), Pair(256, 300), Pair(300, 300)));
  EXPECT_THAT(progress, IsEmpty()) << "the block's report takes the value's place";
  EXPECT_THAT(statuses, ElementsAre("Preparing for firmware update......", "Finishing...",
                                    "Update complete."));
}

TEST(ProgressEvents, AnEventReadsAsTheStatusLineAndTheLineUnderTheBar) {
  const auto first = DeviceRunEvent::Sending(43, 128, 300, 12800.0, 0.5);
  EXPECT_EQ(SendingStatus(first), "42.67% Completed!") << "from the bytes, as the engine's text";
  EXPECT_EQ(SendingBytes(first), "128 of 300 bytes \u00b7 12.8 kB/s \u00b7 0:01 left");
  // Everything gone: no time left, whatever the host had.
  EXPECT_EQ(SendingBytes(DeviceRunEvent::Sending(100, 300, 300, 12800.0, 0.0)),
            "300 of 300 bytes \u00b7 12.8 kB/s");
  // The rate not known yet (one count): the bytes alone.
  EXPECT_EQ(SendingBytes(DeviceRunEvent::Sending(43, 128, 300)), "128 of 300 bytes");
  EXPECT_EQ(SendingStatus(DeviceRunEvent::Cloning(0)), "Cloning.");
  EXPECT_EQ(SendingStatus(DeviceRunEvent::Cloning(4)), "Cloning.....");
  EXPECT_EQ(SendingBytes(DeviceRunEvent::Cloning(4)), "");

  // The same counts give the same line as the rate's own text.
  TransferRate rate;
  const auto t0 = TransferRate::TimePoint{};
  rate.Add(128, 262144, t0);
  rate.Add(12800, 262144, t0 + std::chrono::seconds(1));
  EXPECT_EQ(SendingBytes(DeviceRunEvent::Sending(4, 12800, 262144, rate.BytesPerSecond(),
                                                 rate.SecondsLeft())),
            rate.Text());
}

TEST(ProgressEvents, AViewThatTakesTextsIsGivenThePercentageAndTheBarsValue) {
  RecordingView view;
  view.Progress(DeviceRunEvent::Sending(43, 128, 300, 12800.0, 0.5));
  view.DeviceRun(2, DeviceRunEvent::Sending(86, 256, 300));
  view.DeviceRun(1, DeviceRunEvent::Cloning(2));
  // The other kinds have their own calls (the row's status, Finished): no text here.
  view.DeviceRun(2, DeviceRunEvent::Done("v1.11.0"));
  view.DeviceRun(2, DeviceRunEvent::Failed(FirmwareOutcome::kTransmitError));
  EXPECT_THAT(view.statuses, ElementsAre("42.67% Completed!", "85.33% Completed!", "Cloning..."));
  EXPECT_THAT(view.progress, ElementsAre(43));
  EXPECT_THAT(view.rowProgress, ElementsAre(Pair(2, 86), Pair(1, 2)));
}

}  // namespace
}  // namespace zendra::test
