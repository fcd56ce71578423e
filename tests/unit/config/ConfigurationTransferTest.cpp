// The parts of export and import that need no module: the file dialogs, the count
// of saves, which commands may be sent, where the logs go, and the section count
// that bounds an import.

#include <gmock/gmock.h>

#include <climits>

#include "base/SaveFileChoice.h"
#include "config/ConfigurationTransfer.h"
#include "config/ProfileFile.h"
#include "support/FakeOperator.h"
#include "support/TempFolder.h"

namespace zendra {
namespace {

using ::testing::ElementsAre;

TEST(ConfigurationTransfer, TheExportDialogSuggestsZgbFilesAndAddsTheExtensionToABareName) {
  test::FakeOperator op;
  op.QueueFile("/data/bench");
  op.QueueFile("/data/bench.cfg");
  op.QueueFile(std::nullopt);
  EXPECT_EQ(ConfigurationTransfer::ChooseExportFile(op), "/data/bench.zgb");
  EXPECT_EQ(ConfigurationTransfer::ChooseExportFile(op), "/data/bench.cfg");
  EXPECT_EQ(ConfigurationTransfer::ChooseExportFile(op), std::nullopt);
  const auto events = op.Events();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0].kind, test::FakeOperator::Event::kSaveFile);
  EXPECT_EQ(events[0].text, "zgb Files(*.zgb)|*.zgb|All Files(*.*)|*.*|");
  EXPECT_EQ(events[0].caption, "*.zgb");
  EXPECT_EQ(events[0].extension, "zgb") << "the dialog itself adds the extension";

  op.Clear();
  op.QueueFile("/data/bench");
  EXPECT_EQ(ConfigurationTransfer::ChooseImportFile(op), "/data/bench") << "opened as named";
  EXPECT_EQ(op.Events().front().kind, test::FakeOperator::Event::kOpenFile);
}

// A dialog that hands back "site1" as typed has asked about "site1", not about the
// "site1.zgb" that the export would write over.
TEST(ConfigurationTransfer, ABareNameWhoseZgbFileExistsIsWrittenOnlyAfterTheReplaceQuestion) {
  test::TempFolder folder;
  const std::string existing = folder.Write("site1.zgb", "[Firmware]\r\nVersion=old\r\n");
  const std::string typed = folder.Path() + "site1";
  test::FakeOperator op;

  // No: the dialog opens again on the completed name; Cancel there ends it.
  op.QueueFile(typed);
  op.QueueAnswer(false);
  op.QueueFile(std::nullopt);
  EXPECT_EQ(ConfigurationTransfer::ChooseExportFile(op), std::nullopt);
  EXPECT_THAT(op.Questions(),
              ElementsAre("site1.zgb already exists.\r\nDo you want to replace it?"));
  const auto events = op.Events();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[2].kind, test::FakeOperator::Event::kSaveFile);
  EXPECT_EQ(events[2].caption, existing) << "reopened on the file it would have replaced";

  // Yes: that file, with its extension.
  op.Clear();
  op.QueueFile(typed);
  op.QueueAnswer(true);
  EXPECT_EQ(ConfigurationTransfer::ChooseExportFile(op), existing);

  // A name the dialog gave whole was its own question; a new file asks nothing.
  op.Clear();
  op.QueueFile(existing);
  op.QueueFile(folder.Path() + "site2");
  EXPECT_EQ(ConfigurationTransfer::ChooseExportFile(op), existing);
  EXPECT_EQ(ConfigurationTransfer::ChooseExportFile(op), folder.Path() + "site2.zgb");
  EXPECT_THAT(op.Questions(), ::testing::IsEmpty());
}

TEST(SaveFileChoice, TheDefaultExtensionGoesOnlyToAFileNameWithoutADot) {
  EXPECT_EQ(WithDefaultExtension("/data/site1", "zgb"), "/data/site1.zgb");
  EXPECT_EQ(WithDefaultExtension("site1", "zgb"), "site1.zgb");
  EXPECT_EQ(WithDefaultExtension("/data.d/site1", "zgb"), "/data.d/site1.zgb")
      << "a dot in a folder's name is no extension";
  EXPECT_EQ(WithDefaultExtension("/data/site1.cfg", "zgb"), "/data/site1.cfg");
  EXPECT_EQ(WithDefaultExtension("/data/.hidden", "zgb"), "/data/.hidden");
  EXPECT_EQ(WithDefaultExtension("/data/site1", ""), "/data/site1");
  EXPECT_EQ(WithDefaultExtension("/data/", "zgb"), "/data/") << "no file name";
}

TEST(ConfigurationTransfer, TheCountOfSavesReadsLikeThePlatformsDecimalConversion) {
  const std::vector<std::pair<std::string, int>> cases = {{"", 0},
                                                          {"12", 12},
                                                          {"  7 sections", 7},
                                                          {"+5", 5},
                                                          {"-3", 0},
                                                          {"abc", 0},
                                                          {"0x10", 0},
                                                          {"99999999999999999999", INT_MAX},
                                                          {"2147483647", INT_MAX},
                                                          {"\t\v 4", 4}};
  for (const auto& [text, count] : cases)
    EXPECT_EQ(ConfigurationTransfer::ParseCount(text), count) << "\"" << text << "\"";
}

TEST(ConfigurationTransfer, OnlyACommandThatIsOneWholeLineMayBeSent) {
  EXPECT_TRUE(ConfigurationTransfer::IsSendableCommand("AT+NODENAME=N1"));
  EXPECT_TRUE(ConfigurationTransfer::IsSendableCommand(std::string(256, 'A')));
  EXPECT_FALSE(ConfigurationTransfer::IsSendableCommand(std::string(257, 'A')));
  EXPECT_FALSE(ConfigurationTransfer::IsSendableCommand(""));
  for (const char* command : {"AT+X=1\rAT&F", "AT+X=1\nAT&F", "AT+X=\t1", "AT+X=\x7F"})
    EXPECT_FALSE(ConfigurationTransfer::IsSendableCommand(command)) << command;
}

TEST(ConfigurationTransfer, TheLogsGoNextToTheChosenFile) {
  // Kept as the program keeps every path, on each system: UTF-8 with "/".
  EXPECT_EQ(ConfigurationTransfer::LogPathFor("/media/usb/site 4/a.zgb", "ImportErrorLog.TXT"),
            "/media/usb/site 4/ImportErrorLog.TXT");
  EXPECT_EQ(
      ConfigurationTransfer::LogPathFor("/media/usb/Lager S\u00fcd/a.zgb", "ExportErrorLog.TXT"),
      "/media/usb/Lager S\u00fcd/ExportErrorLog.TXT");
  EXPECT_EQ(ConfigurationTransfer::LogPathFor("a.zgb", "ExportErrorLog.TXT"), "ExportErrorLog.TXT");
}

TEST(ConfigurationTransfer, ACommandWithANulByteIsReadWholeAndRefusedNotCutAtTheNul) {
  using namespace std::string_literals;
  const ProfileFile file(
      "[Firmware]\r\nVersion=V\r\nNum_of_saves=2\r\n"
      "[0]\r\nName=Network/PAN ID\r\nCommand=AT+PANID=1A\0"
      "2B\r\n\r\n"
      "[1]\r\nName=Radio/Channel\r\nCommand=AT+CH=11\r\n\r\n"s);
  const ImportPlan plan = ConfigurationTransfer::ReadImportFile(file);
  ASSERT_EQ(plan.entries.size(), 2u);
  EXPECT_EQ(plan.entries[0].command,
            "AT+PANID=1A\0"
            "2B"s);
  EXPECT_FALSE(plan.entries[0].sendable) << "AT+PANID=1A would be sent as if it were the value";
  EXPECT_TRUE(plan.entries[1].sendable);
  // What the platform's buffered read shows still ends at the NUL.
  EXPECT_EQ(file.GetString("0", "Command"), "AT+PANID=1A");
}

TEST(ConfigurationTransfer, ACountBeyondTheFilesSectionsStopsAtItsLastSection) {
  const std::string head = "[Firmware]\r\nVersion=V\r\nNum_of_saves=";
  const std::string sections = "[0]\r\nCommand=AT+A=1\r\n\r\n[1]\r\nCommand=AT+B=2\r\n\r\n";
  for (const char* count : {"2", "3", "9", "2147483647"}) {
    const ImportPlan plan =
        ConfigurationTransfer::ReadImportFile(ProfileFile(head + count + "\r\n" + sections));
    ASSERT_EQ(plan.entries.size(), 2u) << count;
    EXPECT_TRUE(plan.entries[0].sendable && plan.entries[1].sendable) << count;
  }
  // One section fewer than the count says: the count still ends the replay.
  EXPECT_EQ(
      ConfigurationTransfer::ReadImportFile(ProfileFile(head + "1\r\n" + sections)).entries.size(),
      1u);
  // A section missing before the last one is a failed entry; after it nothing is.
  const ImportPlan gap = ConfigurationTransfer::ReadImportFile(ProfileFile(
      head + "8\r\n[0]\r\nCommand=AT+A=1\r\n[ 2 ]\r\nCommand=AT+C=3\r\n[x]\r\n[y]\r\n"));
  ASSERT_EQ(gap.entries.size(), 3u);
  EXPECT_TRUE(gap.entries[0].sendable);
  EXPECT_FALSE(gap.entries[1].sendable);
  EXPECT_EQ(gap.entries[1].command, "");
  EXPECT_EQ(gap.entries[2].command, "AT+C=3");
  // No numbered section at all: nothing to replay.
  EXPECT_TRUE(ConfigurationTransfer::ReadImportFile(ProfileFile(head + "4\r\n[a]\r\n[b]\r\n"))
                  .entries.empty());
}

TEST(ProfileFileSections, EverySectionHeaderLineIsCountedAndNothingElse) {
  EXPECT_EQ(ProfileFile().SectionCount(), 0u);
  EXPECT_EQ(ProfileFile("\xEF\xBB\xBF[Firmware]\r\nVersion=x\r\n[0]\r\n[0]\r\n  [ 1 ]  \n")
                .SectionCount(),
            4u);
  EXPECT_EQ(ProfileFile("[no end\r\nkey=[x]\r\n; [comment]\r\n[last]").SectionCount(), 1u);
}

}  // namespace
}  // namespace zendra
