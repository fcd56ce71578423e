// What the command line draws of a firmware run: the progress from the typed
// events alone (a line per tenth in a log, the 100 % line once), the steps' status
// texts as lines, a remote device named in front of its lines.

#include <gmock/gmock.h>

#include <iostream>
#include <sstream>

#include "cli/Terminal.h"
#include "cli/TerminalFirmwareView.h"
#include "firmware/ImageTransfer.h"

namespace zendra::cli {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

const std::string kR1 = "000D6F0000000A01";
const std::string kR2 = "000D6F0000000A02";

// stderr as the view writes it, one entry per line.
class CapturedErr {
 public:
  CapturedErr() : old_(std::cerr.rdbuf(text_.rdbuf())) {}
  ~CapturedErr() { std::cerr.rdbuf(old_); }
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    std::istringstream in(text_.str());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

 private:
  std::ostringstream text_;
  std::streambuf* old_;
};

// The events of an image of `total` bytes going out block by block, as the
// engine's counts make them.
std::vector<DeviceRunEvent> Blocks(std::int64_t total) {
  std::vector<DeviceRunEvent> events;
  for (std::int64_t sent = 128; sent - 128 < total; sent += 128) {
    const std::int64_t acknowledged = std::min(sent, total);
    events.push_back(DeviceRunEvent::Sending(
        ImageTransfer::PercentValue(total - acknowledged, total), acknowledged, total, 12800.0,
        acknowledged < total ? std::optional<double>(1.0) : std::nullopt));
  }
  return events;
}

class TerminalFirmwareViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A person's terminal redraws the bar in place; the lines below are a log's.
    if (IsTerminal(stderr)) GTEST_SKIP() << "stderr is a terminal";
  }
};

TEST_F(TerminalFirmwareViewTest, ALogGetsALinePerTenthAndTheHundredPercentLineOnce) {
  CapturedErr err;
  TerminalFirmwareView view(false);
  // 20,480 bytes: 100 % is reached a block before the end.
  const auto events = Blocks(20480);
  ASSERT_EQ(events[events.size() - 2].percent, 100);
  for (const auto& event : events) view.Progress(event);
  view.Finished(FirmwareOutcome::kCompleted);

  const auto lines = err.Lines();
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_EQ(lines[0], "  1%  128 of 20,480 bytes \u00b7 12.8 kB/s \u00b7 0:01 left");
  EXPECT_THAT(lines[1], ::testing::StartsWith(" 10%  1,920 of"));
  EXPECT_EQ(lines[10], "100%  20,480 of 20,480 bytes \u00b7 12.8 kB/s");
  EXPECT_THAT(err.Lines(), Not(::testing::Contains(HasSubstr("Completed!"))));
  EXPECT_EQ(view.Outcome(), FirmwareOutcome::kCompleted);
}

TEST_F(TerminalFirmwareViewTest, StatusTextsAreLinesAndAFailureReadsAsItsText) {
  CapturedErr err;
  TerminalFirmwareView view(false);
  view.SetStatus("Preparing for firmware update......");
  view.Progress(Blocks(300)[0]);
  view.SetStatus("Transmit error.");
  view.Finished(FirmwareOutcome::kTransmitError);
  EXPECT_THAT(err.Lines(), ElementsAre("Preparing for firmware update......",
                                       " 43%  128 of 300 bytes \u00b7 12.8 kB/s \u00b7 0:01 left",
                                       "Transmit error."));
  EXPECT_EQ(view.Outcome(), FirmwareOutcome::kTransmitError);
}

TEST_F(TerminalFirmwareViewTest, RemoteDevicesAreNamedAndEachStartsItsOwnTenths) {
  CapturedErr err;
  TerminalFirmwareView view(false);
  int current = 0;
  view.SetDevices({kR1, kR2}, [&] { return current; });
  for (int row : {0, 1}) {
    current = row;
    view.DeviceRun(row, DeviceRunEvent::Preparing(false));
    view.SetStatus("Preparing for firmware update...");
    for (const auto& event : Blocks(256)) view.DeviceRun(row, event);
    view.DeviceRun(row, row == 0 ? DeviceRunEvent::Done("v1.11.0")
                                 : DeviceRunEvent::Failed(FirmwareOutcome::kTransmitError));
  }
  view.SetStatus("Remote firmware update failed for 1 of 2 devices.");
  EXPECT_THAT(err.Lines(),
              ElementsAre(kR1 + ": Preparing for firmware update...",
                          kR1 + ":  50%  128 of 256 bytes \u00b7 12.8 kB/s \u00b7 0:01 left",
                          kR1 + ": 100%  256 of 256 bytes \u00b7 12.8 kB/s",
                          kR2 + ": Preparing for firmware update...",
                          kR2 + ":  50%  128 of 256 bytes \u00b7 12.8 kB/s \u00b7 0:01 left",
                          kR2 + ": 100%  256 of 256 bytes \u00b7 12.8 kB/s",
                          kR2 + ": Remote firmware update failed for 1 of 2 devices."));
}

TEST_F(TerminalFirmwareViewTest, AClonesSecondsAreDrawnEveryTenAndItsEndDrawsNoCount) {
  CapturedErr err;
  TerminalFirmwareView view(false);
  view.SetDevices({kR1}, [] { return 0; });
  view.DeviceRun(0, DeviceRunEvent::Preparing(true));
  for (int pass = 0; pass <= 12; ++pass) view.DeviceRun(0, DeviceRunEvent::Cloning(pass));
  view.DeviceRun(0, DeviceRunEvent::Done("v1.10.0"));
  view.Finished(FirmwareOutcome::kCompleted);
  view.SetStatus("The remote firmware update is completed successfully.");
  EXPECT_THAT(err.Lines(), ElementsAre(kR1 + ": cloning, 0 s", kR1 + ": cloning, 10 s",
                                       kR1 + ": The remote firmware update is completed "
                                             "successfully."));
}

TEST_F(TerminalFirmwareViewTest, NoProgressDrawsNoBarButKeepsTheSteps) {
  CapturedErr err;
  TerminalFirmwareView view(true);
  for (const auto& event : Blocks(1024)) view.Progress(event);
  view.DeviceRun(0, DeviceRunEvent::Cloning(10));
  view.SetStatus("Update complete.");
  EXPECT_THAT(err.Lines(), ElementsAre("Update complete."));
}

}  // namespace
}  // namespace zendra::cli
