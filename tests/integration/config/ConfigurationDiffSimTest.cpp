// Reading every parameter, comparing a configuration file with the device and the
// import of only what changed, against the simulated module and its remote node:
// what goes on the line (reads only, for a comparison) and what the device holds
// afterwards.

#include <gmock/gmock.h>

#include <string>
#include <vector>

#include "RemoteSession.h"
#include "config/ConfigurationDiff.h"

namespace zendra::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Kind = ConfigurationDiff::Entry::Kind;

// Records the stages and steps; asks to stop after `stopAfter` steps.
class RecordingProgress : public TransferProgress {
 public:
  explicit RecordingProgress(int stopAfter = -1) : stopAfter_(stopAfter) {}
  void Stage(TransferStage stage) override {
    events.push_back(stage == TransferStage::kReading ? "reading" : "sending");
  }
  void Step(int k, int n, const std::string& name) override {
    events.push_back(std::to_string(k) + "/" + std::to_string(n) + " " + name);
    ++steps_;
  }
  bool StopRequested() override { return stopAfter_ >= 0 && steps_ >= stopAfter_; }
  std::vector<std::string> events;

 private:
  int stopAfter_;
  int steps_ = 0;
};

// Lines that set a value: a command with "=" (AT+RC=EUI,... without its prefix).
std::vector<std::string> Writes(const std::vector<std::string>& lines) {
  std::vector<std::string> writes;
  for (std::string line : lines) {
    if (line.rfind("AT+RC=", 0) == 0) line = line.substr(line.find(',') + 1);
    if (line.find('=') != std::string::npos) writes.push_back(line);
  }
  return writes;
}

class DiffTest : public RemoteSession {
 protected:
  // The device as exported, then changed where a test says.
  std::string ExportLocal() {
    harness->Sim().SetRegister("AT+NODENAME", "Bench7");
    harness->Sim().SetRegister("AT+TXPOWER", "2");
    harness->Sim().SetRegister("AT+CHANNEL", "15");
    const std::string path = folder.Path() + "bench.zgb";
    EXPECT_EQ(page->transfer.ExportConfiguration(harness->Line(), path).exported, 6);
    harness->Sim().ClearLog();
    return path;
  }
  ConfigurationDiff Compare(const std::string& path, TransferProgress* progress = nullptr) {
    return ConfigurationDiff::CompareWithDevice(
        page->transfer, harness->Line(), ConfigurationTransfer::LoadImportFile(path), progress);
  }
  ImportResult ImportChanged(const std::string& path, TransferProgress* progress = nullptr) {
    return page->transfer.ImportConfiguration(harness->Line(), path, progress,
                                              ImportOptions{.onlyChanged = true});
  }
};

TEST_F(DiffTest, ReadingEveryParameterAsksForEachOneInTableOrderReadOnlyOnesIncluded) {
  ASSERT_NO_FATAL_FAILURE(Start());
  harness->Sim().SetRegister("AT+TXPOWER", "1");
  RecordingProgress progress;
  const ReadAllResult all = page->transfer.ReadAllParameters(
      harness->Line(), page->transfer.RecordsToRead(ReadScope::kEvery), &progress);
  EXPECT_FALSE(all.stopped);
  std::vector<std::string> read;
  for (const auto& r : all.readings) {
    EXPECT_EQ(r.status, ParameterReading::Status::kRead) << r.name;
    read.push_back(r.name + "=" + r.value);
  }
  EXPECT_THAT(read, ElementsAre("Node/Node name=Zendra1", "Node/Node type=1", "Radio/Power=1",
                                "Radio/Channel=11", "Network/PAN ID=0000",
                                "Network/Note=local note", "Security Settings/Link key=0"));
  EXPECT_THAT(Lines(),
              ElementsAre("AT+NODENAME\r\n", "AT+NODETYPE\r\n", "AT+TXPOWER\r\n", "AT+CHANNEL\r\n",
                          "AT+PANID\r\n", "AT+NOTE\r\n", "AT+LINKKEY\r\n"));
  EXPECT_EQ(progress.events.front(), "1/7 Node/Node name");
  EXPECT_EQ(page->transfer.RecordsToRead(ReadScope::kWritable).size(), 6u)
      << "the export's: all but the read-only one";

  // A read the module refuses is a failed reading, and the others go on.
  harness->Sim().SetFaults(sim::Faults{.errorCommands = {"AT+CHANNEL"}});
  const ReadAllResult refused = page->transfer.ReadAllParameters(
      harness->Line(), page->transfer.RecordsToRead(ReadScope::kEvery));
  ASSERT_EQ(refused.readings.size(), 7u);
  EXPECT_EQ(refused.readings[3].status, ParameterReading::Status::kFailed);
  EXPECT_EQ(refused.readings[4].status, ParameterReading::Status::kRead);
}

TEST_F(DiffTest,
       AnExportedFileComparedAfterAChangeOnTheDeviceShowsExactlyThatChangeAndWritesNothing) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::string path = ExportLocal();

  ConfigurationDiff diff = Compare(path);
  EXPECT_TRUE(diff.NothingChanges());
  EXPECT_EQ(diff.entries.size(), 6u);

  harness->Sim().SetRegister("AT+CHANNEL", "20");
  harness->Sim().SetRegister("AT+TXPOWER", "0");
  harness->Sim().ClearLog();
  diff = Compare(path);
  std::vector<std::string> changes;
  for (const auto& e : diff.entries)
    if (e.kind != Kind::kUnchanged)
      changes.push_back(e.group + "/" + e.parameter + ": " + e.DeviceText() + " -> " +
                        e.FileText());
  EXPECT_THAT(changes, ElementsAre("Radio/Power: Low (0) -> High (2)", "Radio/Channel: 20 -> 15"));
  // One read per parameter of the file, and nothing written.
  EXPECT_EQ(Lines().size(), 6u);
  EXPECT_THAT(Writes(Lines()), IsEmpty());
  EXPECT_EQ(harness->Sim().Register("AT+CHANNEL"), "20");
  EXPECT_THAT(Messages(), IsEmpty());
}

TEST_F(DiffTest, AnImportOfOnlyWhatChangedReadsFirstThenSendsOnlyTheDifferingCommands) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::string path = ExportLocal();
  harness->Sim().SetRegister("AT+CHANNEL", "20");
  harness->Sim().SetRegister("AT+NODENAME", "Other");
  harness->Sim().ClearLog();

  RecordingProgress progress;
  const ImportResult r = ImportChanged(path, &progress);
  EXPECT_EQ(r.outcome, ImportResult::Outcome::kDone);
  EXPECT_EQ(r.sections, 6);
  EXPECT_EQ(r.sent, 2);
  EXPECT_EQ(r.unchanged, 4);
  EXPECT_THAT(r.failed, IsEmpty());
  EXPECT_THAT(Writes(Lines()), ElementsAre("AT+NODENAME=Bench7\r\n", "AT+CHANNEL=15\r\n"));
  EXPECT_EQ(Lines().size(), 8u) << "six reads, then two writes";
  EXPECT_EQ(harness->Sim().Register("AT+CHANNEL"), "15");
  EXPECT_EQ(harness->Sim().Register("AT+NODENAME"), "Bench7");
  ASSERT_FALSE(progress.events.empty());
  EXPECT_EQ(progress.events.front(), "reading");
  EXPECT_THAT(std::vector<std::string>(progress.events.end() - 3, progress.events.end()),
              ElementsAre("sending", "1/2 Node/Node name", "2/2 Radio/Channel"));

  // Now the device holds everything: the reads, and nothing sent.
  harness->Sim().ClearLog();
  const ImportResult again = ImportChanged(path);
  EXPECT_EQ(again.sent, 0);
  EXPECT_EQ(again.unchanged, 6);
  EXPECT_THAT(Writes(Lines()), IsEmpty());
  EXPECT_THAT(Messages(), IsEmpty());
}

TEST_F(DiffTest, TheVersionQuestionComesBeforeTheReadsAndNoReadsNothing) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::string path =
      folder.Write("old.zgb",
                   "[Firmware]\r\nVersion=MA11_v1.9.5.zmcon\r\nNum_of_saves=1\r\n"
                   "[0]\r\nName=Radio/Channel\r\nCommand=AT+CHANNEL=12\r\n\r\n");
  harness->Op().QueueAnswer(false);
  ImportResult r = ImportChanged(path);
  EXPECT_EQ(r.outcome, ImportResult::Outcome::kDeclined);
  EXPECT_THAT(Lines(), IsEmpty());
  EXPECT_EQ(harness->Op().Questions().size(), 1u);

  harness->Op().QueueAnswer(true);
  r = ImportChanged(path);
  EXPECT_EQ(r.sent, 1);
  EXPECT_THAT(Lines(), ElementsAre("AT+CHANNEL\r\n", "AT+CHANNEL=12\r\n"));
}

TEST_F(DiffTest, ARemoteImportOfOnlyWhatChangedReadsAndWritesTheReportedAddress) {
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_EQ(Tick("000d6f0000d4e5f6").outcome, RemoteDeviceResult::Outcome::kRemote);
  const std::string path = folder.Path() + "remote.zgb";
  ASSERT_EQ(page->transfer.ExportConfiguration(harness->Line(), path).exported, 5);
  harness->Sim().SetRemoteRegister(kRemoteEui, "AT+PANID", "BEEF");
  harness->Sim().ClearLog();

  const ImportResult r = ImportChanged(path);
  EXPECT_EQ(r.sent, 1);
  EXPECT_EQ(r.unchanged, 4);
  const std::string prefix = "AT+RC=000D6F0000D4E5F6,";
  const std::vector<std::string> lines = Lines();
  ASSERT_EQ(lines.size(), 6u);
  for (const auto& line : lines) EXPECT_EQ(line.rfind(prefix, 0), 0u) << line;
  EXPECT_EQ(lines.back(), prefix + "AT+PANID=0000\r\n");
  EXPECT_EQ(harness->Sim().RemoteRegister(kRemoteEui, "AT+PANID"), "0000");
  EXPECT_EQ(harness->Sim().Register("AT+PANID"), "0000") << "the local module untouched";
}

TEST_F(DiffTest, AComparisonStoppedHalfWaySendsNothing) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::string path = ExportLocal();
  harness->Sim().SetRegister("AT+CHANNEL", "20");
  harness->Sim().ClearLog();
  RecordingProgress progress(2);
  const ImportResult r = ImportChanged(path, &progress);
  EXPECT_EQ(r.outcome, ImportResult::Outcome::kStopped);
  EXPECT_EQ(r.sent, 0);
  EXPECT_EQ(Lines().size(), 2u);
  EXPECT_THAT(Writes(Lines()), IsEmpty());
  EXPECT_EQ(harness->Sim().Register("AT+CHANNEL"), "20");
}

}  // namespace
}  // namespace zendra::test
