// The parts of export and import that need no module: the file dialogs, the count
// of saves, which commands may be sent, where the logs go, and the section count
// that bounds an import.

#include <gmock/gmock.h>

#include <climits>

#include "config/ConfigurationTransfer.h"
#include "config/ProfileFile.h"
#include "support/FakeOperator.h"

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

  op.Clear();
  op.QueueFile("/data/bench");
  EXPECT_EQ(ConfigurationTransfer::ChooseImportFile(op), "/data/bench") << "opened as named";
  EXPECT_EQ(op.Events().front().kind, test::FakeOperator::Event::kOpenFile);
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
  EXPECT_EQ(ConfigurationTransfer::LogPathFor("/media/usb/site 4/a.zgb", "ImportErrorLog.TXT"),
            "/media/usb/site 4/ImportErrorLog.TXT");
  EXPECT_EQ(ConfigurationTransfer::LogPathFor("a.zgb", "ExportErrorLog.TXT"), "ExportErrorLog.TXT");
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
