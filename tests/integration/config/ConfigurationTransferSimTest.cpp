// Export and import against the simulated module and its remote node: the file's
// layout, the error logs, the version question, corrupted files, and a round trip
// that brings every value back.

#include <gmock/gmock.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <stop_token>
#include <thread>

#include "RemoteSession.h"
#include "config/ProfileFile.h"

namespace zendra::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool Exists(const std::string& path) { return std::filesystem::exists(path); }

// A literal's bytes, NUL bytes included.
template <std::size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

// Records the steps and asks to stop after `stopAfter` of them.
class RecordingProgress : public TransferProgress {
 public:
  explicit RecordingProgress(int stopAfter = -1) : stopAfter_(stopAfter) {}
  void Step(int k, int n, const std::string& name) override {
    steps.push_back(std::to_string(k) + "/" + std::to_string(n) + " " + name);
  }
  bool StopRequested() override {
    return stopAfter_ >= 0 && static_cast<int>(steps.size()) >= stopAfter_;
  }
  std::vector<std::string> steps;

 private:
  int stopAfter_;
};

class TransferTest : public RemoteSession {
 protected:
  void SetLocalValues() {
    sim::ModuleSimulator& module = harness->Sim();
    module.SetRegister("AT+NODENAME", "Bench7");
    module.SetRegister("AT+TXPOWER", "2");
    module.SetRegister("AT+CHANNEL", "15");
    module.SetRegister("AT+PANID", "1A2B");
    module.SetRegister("AT+LINKKEY", "00112233445566778899AABBCCDDEEFF");
  }
  ExportResult Export(const std::string& path, TransferProgress* progress = nullptr) {
    return page->transfer.ExportConfiguration(harness->Line(), path, progress);
  }
  ImportResult Import(const std::string& path, TransferProgress* progress = nullptr) {
    return page->transfer.ImportConfiguration(harness->Line(), path, progress);
  }
  std::vector<std::string> OpenedDocuments() {
    std::vector<std::string> opened;
    for (const auto& e : harness->Op().Events())
      if (e.kind == FakeOperator::Event::kOpenDocument) opened.push_back(e.text);
    return opened;
  }
};

TEST_F(TransferTest, ALocalExportWritesEveryWritableParameterInTheFilesOrder) {
  ASSERT_NO_FATAL_FAILURE(Start());
  SetLocalValues();
  const std::string path = folder.Path() + "saved.zgb";
  folder.Write("saved.zgb", "[Old]\r\nKey=replaced, not merged\r\n");
  RecordingProgress progress;

  const ExportResult r = Export(path, &progress);
  EXPECT_EQ(r.outcome, ExportResult::Outcome::kDone);
  EXPECT_EQ(r.exported, 6);
  EXPECT_EQ(r.total, 6);
  EXPECT_THAT(r.failed, IsEmpty());
  EXPECT_EQ(r.logPath, "");
  // The read-only Node type is not read; sections are numbered without gaps, and
  // each Command's own CR LF leaves an empty line after it.
  EXPECT_EQ(ReadFile(path),
            "[Firmware]\r\n"
            "Version=MA11_v1.10.0.zmcon\r\n"
            "Num_of_saves=6\r\n"
            "[0]\r\nName=Node/Node name\r\nCommand=AT+NODENAME=Bench7\r\n\r\n"
            "[1]\r\nName=Radio/Power\r\nCommand=AT+TXPOWER=2\r\n\r\n"
            "[2]\r\nName=Radio/Channel\r\nCommand=AT+CHANNEL=15\r\n\r\n"
            "[3]\r\nName=Network/PAN ID\r\nCommand=AT+PANID=1A2B\r\n\r\n"
            "[4]\r\nName=Network/Note\r\nCommand=AT+NOTE=local note\r\n\r\n"
            "[5]\r\nName=Security Settings/Link key\r\n"
            "Command=AT+LINKKEY=00112233445566778899AABBCCDDEEFF\r\n\r\n");
  EXPECT_THAT(Lines(), ElementsAre("AT+NODENAME\r\n", "AT+TXPOWER\r\n", "AT+CHANNEL\r\n",
                                   "AT+PANID\r\n", "AT+NOTE\r\n", "AT+LINKKEY\r\n"));
  EXPECT_THAT(progress.steps, ElementsAre("1/6 Node/Node name", "2/6 Radio/Power",
                                          "3/6 Radio/Channel", "4/6 Network/PAN ID",
                                          "5/6 Network/Note", "6/6 Security Settings/Link key"));
  EXPECT_THAT(Messages(), IsEmpty());
  EXPECT_THAT(OpenedDocuments(), IsEmpty());
  EXPECT_FALSE(Exists(folder.Path() + "ExportErrorLog.TXT"));
  EXPECT_EQ(harness->Op().WaitDepth(), 0);
}

TEST_F(TransferTest, ARemoteExportReadsFromTheReportedAddressAndLeavesSecurityOut) {
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_EQ(Tick("000d6f0000d4e5f6").outcome, RemoteDeviceResult::Outcome::kRemote);
  harness->Sim().SetRemoteRegister(kRemoteEui, "AT+CHANNEL", "20");
  harness->Sim().ClearLog();

  const std::string path = folder.Path() + "remote.zgb";
  const ExportResult r = Export(path);
  EXPECT_EQ(r.exported, 5);
  const std::string prefix = "AT+RC=000D6F0000D4E5F6,";
  EXPECT_THAT(Lines(), ElementsAre(prefix + "AT+NODENAME\r\n", prefix + "AT+TXPOWER\r\n",
                                   prefix + "AT+CHANNEL\r\n", prefix + "AT+PANID\r\n",
                                   prefix + "AT+NOTE\r\n"));
  ProfileFile file;
  ASSERT_TRUE(file.Load(path));
  EXPECT_EQ(file.Lookup("Firmware", "Version"), "MB11_v3.0.zmcon");
  EXPECT_EQ(file.Lookup("Firmware", "Num_of_saves"), "5");
  EXPECT_EQ(file.Lookup("0", "Command"), "AT+NODENAME=Far");
  EXPECT_EQ(file.Lookup("2", "Command"), "AT+CHANNEL=20");
  EXPECT_EQ(file.Lookup("4", "Command"), "AT+NOTE=remote note");
  EXPECT_EQ(file.Lookup("5", "Name"), std::nullopt);
}

TEST_F(TransferTest, AnExportWhoseReadsAllFailKeepsOnlyTheFirmwareSectionAndLogsEveryParameter) {
  sim::RemoteFaults unreachable;
  unreachable.reach = sim::RemoteFaults::Reach::Unreachable;
  ASSERT_NO_FATAL_FAILURE(Start({}, unreachable));
  const std::string expectedLog =
      "###Export save error###\r\n"
      "Node/Node name\r\nRadio/Power\r\nRadio/Channel\r\nNetwork/PAN ID\r\nNetwork/Note\r\n";

  // Local: the module says nothing at all.
  harness->Sim().SetFaults(sim::Faults{.silent = true});
  const std::string path = folder.Path() + "none.zgb";
  ExportResult r = Export(path);
  EXPECT_EQ(r.outcome, ExportResult::Outcome::kDone);
  EXPECT_EQ(r.exported, 0);
  EXPECT_EQ(ReadFile(path), "[Firmware]\r\nVersion=MA11_v1.10.0.zmcon\r\nNum_of_saves=0\r\n");
  const std::string logPath = folder.Path() + "ExportErrorLog.TXT";
  EXPECT_EQ(r.logPath, logPath);
  EXPECT_EQ(ReadFile(logPath), expectedLog + "Security Settings/Link key\r\n");
  EXPECT_THAT(OpenedDocuments(), ElementsAre(logPath));

  // Remote: the local module answers, the remote node cannot be reached. The
  // identification is made while it still answers.
  harness->Sim().SetFaults({});
  harness->Sim().SetRemoteFaults(kRemoteEui, {});
  ASSERT_EQ(Tick(kRemoteEui).outcome, RemoteDeviceResult::Outcome::kRemote);
  harness->Sim().SetRemoteFaults(kRemoteEui, unreachable);
  r = Export(path);
  EXPECT_EQ(r.exported, 0);
  EXPECT_EQ(r.failed.size(), 5u);
  EXPECT_EQ(ReadFile(path), "[Firmware]\r\nVersion=MB11_v3.0.zmcon\r\nNum_of_saves=0\r\n");
  EXPECT_EQ(ReadFile(logPath), expectedLog) << "the log is replaced, not appended to";
}

TEST_F(TransferTest, ASleepyModuleIsWokenOnceBeforeTheFirstTransaction) {
  sim::Options options;
  options.nodeType = 4;
  ASSERT_NO_FATAL_FAILURE(Start(options));
  const std::string path = folder.Path() + "sleepy.zgb";
  EXPECT_EQ(Export(path).exported, 6);
  std::vector<std::string> lines = Lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "\n") +
                std::count(harness->Sim().MissedLines().begin(), harness->Sim().MissedLines().end(),
                           "\n"),
            1);

  harness->Sim().ClearLog();
  const ImportResult r = Import(path);
  EXPECT_EQ(r.sent, 6);
  lines = Lines();
  const auto missed = harness->Sim().MissedLines();
  EXPECT_EQ(
      std::count(lines.begin(), lines.end(), "\n") + std::count(missed.begin(), missed.end(), "\n"),
      1);
  EXPECT_EQ(lines.back(), "AT+LINKKEY=0\r\n");
}

TEST_F(TransferTest, AnExportIntoAFolderThatCannotBeWrittenSaysSoAndReadsNothing) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::string path = folder.Path() + "no such folder/saved.zgb";
  const ExportResult r = Export(path);
  EXPECT_EQ(r.outcome, ExportResult::Outcome::kNotWritten);
  EXPECT_THAT(Messages(), ElementsAre("ERROR: Could not write the configuration file " + path +
                                      ". Please make sure that its folder can be written to."));
  EXPECT_THAT(Lines(), IsEmpty());
}

TEST_F(TransferTest, AStoppedExportLeavesTheFormerFileAsItWas) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::string path = folder.Write("kept.zgb", "[Firmware]\r\nVersion=kept\r\n");
  RecordingProgress progress(2);
  const ExportResult r = Export(path, &progress);
  EXPECT_EQ(r.outcome, ExportResult::Outcome::kStopped);
  EXPECT_THAT(Lines(), ElementsAre("AT+NODENAME\r\n", "AT+TXPOWER\r\n"));
  EXPECT_EQ(ReadFile(path), "[Firmware]\r\nVersion=kept\r\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()), {}), 4)
      << "no temporary file is left behind";
}

// Makes the remote node silent once the import reaches its second command.
class SilenceTheRemoteAtTheSecondStep : public TransferProgress {
 public:
  explicit SilenceTheRemoteAtTheSecondStep(sim::ModuleSimulator& module) : module_(module) {}
  void Step(int k, int, const std::string&) override {
    sim::RemoteFaults silent;
    silent.reach = sim::RemoteFaults::Reach::Silent;
    if (k == 2) module_.SetRemoteFaults(kRemoteEui, silent);
  }

 private:
  sim::ModuleSimulator& module_;
};

TEST_F(TransferTest, AStopOfTheTaskEndsTheImportWithoutBlamingTheParameterUnderWay) {
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_EQ(Tick(kRemoteEui).outcome, RemoteDeviceResult::Outcome::kRemote);
  const std::string path =
      folder.Write("three.zgb",
                   "[Firmware]\r\nVersion=MB11_v3.0.zmcon\r\nNum_of_saves=3\r\n"
                   "[0]\r\nName=Node/Node name\r\nCommand=AT+NODENAME=One\r\n\r\n"
                   "[1]\r\nName=Radio/Channel\r\nCommand=AT+CHANNEL=12\r\n\r\n"
                   "[2]\r\nName=Radio/Power\r\nCommand=AT+TXPOWER=1\r\n\r\n");
  harness->ReleaseLine();
  harness->Sim().ClearLog();

  // The window closes while the second command waits for the answer of a remote
  // device that has fallen silent.
  std::stop_source stop;
  std::jthread closer([&] {
    if (harness->Sim().WaitForLine("AT+CHANNEL=12", std::chrono::seconds(10))) stop.request_stop();
  });
  {
    auto line = harness->Conn().TryLease("import", stop.get_token());
    ASSERT_TRUE(line);
    SilenceTheRemoteAtTheSecondStep progress(harness->Sim());
    const auto before = std::chrono::steady_clock::now();
    const ImportResult r = page->transfer.ImportConfiguration(*line, path, &progress);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(1400))
        << "the 15 s wait (1.5 s at this scale) ended at the stop";
    EXPECT_EQ(r.outcome, ImportResult::Outcome::kStopped);
    EXPECT_EQ(r.sent, 1);
    EXPECT_THAT(r.failed, IsEmpty()) << "the stop is no verdict of the module";
    EXPECT_EQ(r.logPath, "");
  }
  EXPECT_THAT(Lines(), ElementsAre("AT+RC=000D6F0000D4E5F6,AT+NODENAME=One\r\n",
                                   "AT+RC=000D6F0000D4E5F6,AT+CHANNEL=12\r\n"));
  EXPECT_THAT(harness->Op().Events(), IsEmpty());

  // A stop asked for through the progress sink ends the import between two commands.
  harness->Sim().SetRemoteFaults(kRemoteEui, {});
  harness->Sim().ClearLog();
  RecordingProgress stopAfterOne(1);
  const ImportResult r = Import(path, &stopAfterOne);
  EXPECT_EQ(r.outcome, ImportResult::Outcome::kStopped);
  EXPECT_EQ(r.sent, 1);
  EXPECT_THAT(Lines(), ElementsAre("AT+RC=000D6F0000D4E5F6,AT+NODENAME=One\r\n"));
}

TEST_F(TransferTest, AFileForAnotherVersionAsksFirstAndYesSendsEveryCommand) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::string path =
      folder.Write("other.zgb",
                   "[Firmware]\r\nVersion=MA11_v1.9.5.zmcon\r\nNum_of_saves=2\r\n"
                   "[0]\r\nName=Node/Node name\r\nCommand=AT+NODENAME=Other\r\n\r\n"
                   "[1]\r\nName=Radio/Channel\r\nCommand=AT+CHANNEL=22\r\n\r\n");
  const std::string question =
      "The configuration file does not match with the current firmware version. Would you like "
      "to continue?";

  harness->Op().QueueAnswer(false);
  ImportResult r = Import(path);
  EXPECT_EQ(r.outcome, ImportResult::Outcome::kDeclined);
  EXPECT_THAT(harness->Op().Questions(), ElementsAre(question));
  EXPECT_THAT(Lines(), IsEmpty());

  harness->Op().Clear();
  harness->Op().QueueAnswer(true);
  r = Import(path);
  EXPECT_EQ(r.outcome, ImportResult::Outcome::kDone);
  EXPECT_EQ(r.version, "MA11_v1.9.5.zmcon");
  EXPECT_EQ(r.sent, 2);
  EXPECT_THAT(harness->Op().Questions(), ElementsAre(question));
  EXPECT_THAT(Lines(), ElementsAre("AT+NODENAME=Other\r\n", "AT+CHANNEL=22\r\n"));
  EXPECT_EQ(harness->Sim().Register("AT+CHANNEL"), "22");
  EXPECT_THAT(Messages(), IsEmpty());
}

TEST_F(TransferTest, NoSavesOrAFileThatIsNoConfigurationSendsNothing) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::string sections = "[0]\r\nName=Node/Node name\r\nCommand=AT+NODENAME=X\r\n\r\n";
  for (const std::string text : {"[Firmware]\r\nVersion=MA11_v1.10.0.zmcon\r\nNum_of_saves=0\r\n",
                                 "[Firmware]\r\nVersion=MA11_v1.10.0.zmcon\r\n"}) {
    const ImportResult r = Import(folder.Write("none.zgb", text + sections));
    EXPECT_EQ(r.outcome, ImportResult::Outcome::kDone);
    EXPECT_EQ(r.sections, 0);
  }
  EXPECT_THAT(harness->Op().Events(), IsEmpty()) << "no message, no question, no log";

  const std::string invalid = "ERROR: The configuration file is invalid.";
  const std::vector<std::pair<std::string, std::string>> files = {
      {"noversion.zgb", "[Firmware]\r\nNum_of_saves=1\r\n" + sections},
      {"emptyversion.zgb", "[Firmware]\r\nVersion=\r\nNum_of_saves=1\r\n" + sections},
      {"binary.zgb", Bytes("\x7F"
                           "ELF\x02\x01\x01\0\0Version=x")},
      {"utf16.zgb", Bytes("\xFF\xFE[\0F\0]\0\r\0\n\0V\0=\0x\0")}};
  for (const auto& [name, text] : files) {
    harness->Op().Clear();
    const ImportResult r = Import(folder.Write(name, text));
    EXPECT_EQ(r.outcome, ImportResult::Outcome::kInvalidFile) << name;
    EXPECT_THAT(Messages(), ElementsAre(invalid)) << name;
  }
  harness->Op().Clear();
  EXPECT_EQ(Import(folder.Path() + "missing.zgb").outcome, ImportResult::Outcome::kInvalidFile);
  EXPECT_EQ(Import(folder.Path()).outcome, ImportResult::Outcome::kInvalidFile) << "a folder";
  EXPECT_THAT(Messages(), ElementsAre(invalid, invalid));
  EXPECT_THAT(Lines(), IsEmpty());
}

TEST_F(TransferTest, AHandWrittenFileWithOddSpacingAndCaseReadsLikeTheExportersOwn) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::string path = folder.Write("hand.zgb",
                                        "; written by hand\n"
                                        "  [ firmware ]  \n"
                                        "VERSION =   MA11_v1.10.0.zmcon   \n"
                                        "\n"
                                        "num_of_saves=\t2 \n"
                                        "\n\n"
                                        "[ 1 ]\r\n"
                                        "  command  =  AT+CHANNEL=17\r\n"
                                        "NAME=Radio/Channel\r\n"
                                        "[0]\n"
                                        "Name = \"Node/Node name\"\n"
                                        "Command=\"AT+NODENAME=Hand\"\n");
  const ImportResult r = Import(path);
  EXPECT_EQ(r.outcome, ImportResult::Outcome::kDone);
  EXPECT_EQ(r.sections, 2);
  EXPECT_EQ(r.sent, 2);
  EXPECT_THAT(harness->Op().Events(), IsEmpty()) << "the version matches";
  EXPECT_THAT(Lines(), ElementsAre("AT+NODENAME=Hand\r\n", "AT+CHANNEL=17\r\n"));
}

TEST_F(TransferTest, ARemoteImportWhoseCommandsAreRefusedWritesTheImportLogNextToTheFile) {
  sim::RemoteFaults faults;
  faults.errorCommands = {"AT+CHANNEL", "AT+PANID"};
  ASSERT_NO_FATAL_FAILURE(Start({}, faults));
  ASSERT_EQ(Tick(kRemoteEui).outcome, RemoteDeviceResult::Outcome::kRemote);
  harness->Sim().ClearLog();
  const std::string path =
      folder.Write("remote.zgb",
                   "[Firmware]\r\nVersion=MB11_v3.0.zmcon\r\nNum_of_saves=4\r\n"
                   "[0]\r\nName=Node/Node name\r\nCommand=AT+NODENAME=Near\r\n\r\n"
                   "[1]\r\nName=Radio/Channel\r\nCommand=AT+CHANNEL=12\r\n\r\n"
                   "[2]\r\nName=Network/PAN ID\r\nCommand=AT+PANID=0042\r\n\r\n"
                   "[3]\r\nName=Radio/Power\r\nCommand=AT+TXPOWER=1\r\n\r\n");
  RecordingProgress progress;

  const ImportResult r = Import(path, &progress);
  EXPECT_EQ(r.outcome, ImportResult::Outcome::kDone);
  EXPECT_EQ(r.sent, 2);
  const std::string prefix = "AT+RC=000D6F0000D4E5F6,";
  EXPECT_THAT(Lines(), ElementsAre(prefix + "AT+NODENAME=Near\r\n", prefix + "AT+CHANNEL=12\r\n",
                                   prefix + "AT+PANID=0042\r\n", prefix + "AT+TXPOWER=1\r\n"));
  const std::string logPath = folder.Path() + "ImportErrorLog.TXT";
  EXPECT_EQ(r.logPath, logPath);
  EXPECT_EQ(ReadFile(logPath),
            "Radio/Channel\r\nAT+CHANNEL=12\r\n\r\n"
            "Network/PAN ID\r\nAT+PANID=0042\r\n\r\n");
  EXPECT_THAT(OpenedDocuments(), ElementsAre(logPath));
  EXPECT_THAT(progress.steps, ElementsAre("1/4 Node/Node name", "2/4 Radio/Channel",
                                          "3/4 Network/PAN ID", "4/4 Radio/Power"));
  EXPECT_EQ(harness->Sim().RemoteRegister(kRemoteEui, "AT+TXPOWER"), "1");
  EXPECT_EQ(harness->Sim().Register("AT+TXPOWER"), "0") << "the local module is not touched";
}

TEST_F(TransferTest, CorruptedCommandsAreLoggedInsteadOfSentAndLongOnesGoWhole) {
  ASSERT_NO_FATAL_FAILURE(Start());
  // 70 characters of note: the platform's 64-byte read would send 63 of them.
  const std::string longNote(70, 'n');
  const std::string tooLong = "AT+NOTE=" + std::string(300, 'x');
  const std::string path =
      folder.Write("corrupt.zgb",
                   "[Firmware]\r\nVersion=MA11_v1.10.0.zmcon\r\nNum_of_saves=2147483647\r\n"
                   "[0]\r\nName=Network/Note\r\nCommand=AT+NOTE=" +
                       longNote +
                       "\r\n\r\n"
                       "[1]\r\nName=Node/Node name\r\nCommand=AT+NODENAME=X\rAT&F\r\n\r\n"
                       "[2]\r\nName=Network/Note\r\nCommand=" +
                       tooLong +
                       "\r\n\r\n"
                       "[3]\r\nName=Empty\r\nCommand=\r\n\r\n"
                       "[4]\r\nName=Radio/Channel\r\nCommand=AT+CHANNEL=13\r\n\r\n" +
                       std::string("[5]\r\nName=Network/PAN ID\r\nCommand=AT+PANID=1A\0"
                                   "2B\r\n",
                                   50));
  harness->Sim().SetRegister("AT+CHANNEL", "25");

  const ImportResult r = Import(path);
  EXPECT_EQ(r.outcome, ImportResult::Outcome::kDone);
  // The count stops at the file's last section, "5".
  EXPECT_EQ(r.sections, 6);
  EXPECT_EQ(r.sent, 2);
  EXPECT_THAT(Lines(), ElementsAre("AT+NOTE=" + longNote + "\r\n", "AT+CHANNEL=13\r\n"));
  EXPECT_EQ(harness->Sim().Register("AT+NOTE"), longNote);
  EXPECT_EQ(harness->Sim().Register("AT+CHANNEL"), "13") << "no factory default ran";
  EXPECT_EQ(ReadFile(folder.Path() + "ImportErrorLog.TXT"),
            "Node/Node name\r\nAT+NODENAME=X\rAT&F\r\n\r\n"
            "Network/Note\r\n" +
                tooLong +
                "\r\n\r\n"
                "Empty\r\n\r\n\r\n"
                "Network/PAN ID\r\nAT+PANID=1A" +
                std::string(1, '\0') + "2B\r\n\r\n");
  EXPECT_NE(harness->Sim().Register("AT+PANID"), "1A") << "nothing of the cut command arrived";
}

TEST_F(TransferTest, ALogThatCannotBeWrittenIsNamedInAMessage) {
  ASSERT_NO_FATAL_FAILURE(Start());
  // A folder where the log would go: no file of that name can be written there.
  std::filesystem::create_directory(folder.Path() + "ImportErrorLog.TXT");
  const std::string path =
      folder.Write("refused.zgb",
                   "[Firmware]\r\nVersion=MA11_v1.10.0.zmcon\r\nNum_of_saves=1\r\n"
                   "[0]\r\nName=Radio/Channel\r\nCommand=AT+CHANNEL=99\r\n\r\n");
  const ImportResult r = Import(path);
  EXPECT_EQ(r.failed.size(), 1u);
  EXPECT_EQ(r.logPath, "");
  const std::string logPath = folder.Path() + "ImportErrorLog.TXT";
  EXPECT_THAT(Messages(), ElementsAre("ERROR: Could not write the error log " + logPath +
                                      ". Please make sure that its folder can be written to."));
  EXPECT_THAT(OpenedDocuments(), IsEmpty());
}

TEST_F(TransferTest, ExportThenChangeThenImportRestoresEveryValueExactly) {
  ASSERT_NO_FATAL_FAILURE(Start());
  SetLocalValues();
  // Blanks at the ends of a value would be trimmed by a profile reader.
  harness->Sim().SetRegister("AT+NOTE", "  padded note ");
  const std::vector<std::string> commands = {"AT+NODENAME", "AT+TXPOWER", "AT+CHANNEL",
                                             "AT+PANID",    "AT+NOTE",    "AT+LINKKEY"};
  std::vector<std::string> before;
  for (const auto& c : commands) before.push_back(harness->Sim().Register(c));

  const std::string path = folder.Path() + "roundtrip.zgb";
  ASSERT_EQ(Export(path).exported, 6);
  ASSERT_TRUE(page->editor.RestoreOrReboot(harness->Line())) << "factory default";
  for (std::size_t i = 0; i < commands.size(); ++i)
    ASSERT_NE(harness->Sim().Register(commands[i]), before[i]) << commands[i];

  harness->Sim().ClearLog();
  const ImportResult r = Import(path);
  EXPECT_EQ(r.sent, 6);
  EXPECT_THAT(r.failed, IsEmpty());
  for (std::size_t i = 0; i < commands.size(); ++i)
    EXPECT_EQ(harness->Sim().Register(commands[i]), before[i]) << commands[i];
  EXPECT_THAT(harness->Op().Events(), IsEmpty());
}

}  // namespace
}  // namespace zendra::test
