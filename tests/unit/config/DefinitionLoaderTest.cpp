// Loading the definition file named after the device: the update question, the
// fallback search and the failure row.

#include <gtest/gtest.h>

#include <filesystem>

#include "support/TempFolder.h"
#include "config/DefinitionLoader.h"
#include "support/FakeOperator.h"

namespace zendra {
namespace {

using test::FakeOperator;

constexpr const char* kWanted = "MA11_v1.10.0.zmcon";

std::string OneEntry(const std::string& name) {
  return "[Node/" + name + "]Get;<d>;Command = AT+X;\r\n";
}

class DefinitionLoaderTest : public ::testing::Test {
 protected:
  DefinitionLoaderTest() {
    loader.SetProgramFolder(folder.Path());
    connection.SetDevice({.productName = "MA11"});
  }

  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& row : definitions.TreeRows())
      for (auto n : row.names) names.emplace_back(n);
    return names;
  }

  test::TempFolder folder;
  FakeOperator op;
  Connection connection{op};
  ParameterDefinitions definitions;
  ConfigPageState state;
  DefinitionLoader loader{connection, definitions, state};
};

TEST_F(DefinitionLoaderTest, LoadsTheWantedFileWithoutAQuestion) {
  folder.Write(kWanted, OneEntry("Wanted"));
  folder.Write("MA11_v2.0.zmcon", OneEntry("Newer"));
  loader.LoadParameterFile(LoadMode::kLoad, kWanted);
  EXPECT_TRUE(op.Events().empty());
  EXPECT_EQ(Names(), std::vector<std::string>{"Wanted"});
  EXPECT_EQ(definitions.definitionFileName, kWanted);
  EXPECT_EQ(loader.LoadedPath(), folder.Path() + kWanted);
}

TEST_F(DefinitionLoaderTest, AsksToUpdateAndOnNoReadsTheBestOtherFileSilently) {
  folder.Write("MA11_v1.9.5.zmcon", OneEntry("Old"));
  folder.Write("MA11_v1.11.0.zmcon", OneEntry("Newest"));
  folder.Write("MB11_v3.0.zmcon", OneEntry("Other"));
  op.QueueAnswer(false);
  loader.LoadParameterFile(LoadMode::kLoad, kWanted);

  const auto events = op.Events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].kind, FakeOperator::Event::kQuestion);
  EXPECT_EQ(
      events[0].text,
      "WARNING: Could not recognize the firmware version.\r\nMaybe this manager is out of date. "
      "Would you like to update this manager?");
  EXPECT_EQ(events[0].caption, "WARNING");
  EXPECT_EQ(Names(), std::vector<std::string>{"Newest"});
  // The identity of the configuration stays the name that was asked for.
  EXPECT_EQ(definitions.definitionFileName, kWanted);
}

TEST_F(DefinitionLoaderTest, OnYesRunsTheUpdateCheckAndTriesTheWantedFileOnceMore) {
  folder.Write("MA11_v1.9.5.zmcon", OneEntry("Old"));
  std::vector<std::string> calls;
  loader.checkConfigUpdates = [&](const std::string& f) {
    calls.push_back(f);
    folder.Write(kWanted, OneEntry("Downloaded"));
  };
  op.QueueAnswer(true);
  loader.LoadParameterFile(LoadMode::kLoad, kWanted);
  EXPECT_EQ(calls, std::vector<std::string>{folder.Path()});
  EXPECT_EQ(Names(), std::vector<std::string>{"Downloaded"});
  EXPECT_TRUE(op.Messages().empty());
}

TEST_F(DefinitionLoaderTest, OnYesWithoutAnUpdateCheckFallsBackAsOnNo) {
  folder.Write("MA11_v1.9.5.zmcon", OneEntry("Old"));
  op.QueueAnswer(true);
  loader.LoadParameterFile(LoadMode::kLoad, kWanted);
  EXPECT_EQ(Names(), std::vector<std::string>{"Old"});
}

TEST_F(DefinitionLoaderTest, WithoutAnyFileShowsTheErrorAndTheFailureRow) {
  loader.LoadParameterFile(LoadMode::kLoad, kWanted);
  EXPECT_EQ(op.Messages(),
            std::vector<std::string>{
                "ERROR: Could not recognize the firmware version.\r\nPlease uninstall "
                "this manager and intall the latest manager."});
  EXPECT_EQ(definitions.parameterCount, 0);
  EXPECT_EQ(definitions.groupCount, 1);
  const auto rows = definitions.TreeRows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].group, "CONSTRUCT FILE READ FAIL");
  EXPECT_TRUE(rows[0].names.empty());
  EXPECT_TRUE(loader.LoadedPath().empty());
}

TEST_F(DefinitionLoaderTest, AFailedLoadReplacesAnEarlierTable) {
  folder.Write(kWanted, OneEntry("A") + "[Serial/B]Get;<d>;Command = AT+B;");
  loader.LoadParameterFile(LoadMode::kLoad, kWanted);
  ASSERT_EQ(definitions.parameterCount, 2);
  std::filesystem::remove(folder.Path() + kWanted);
  loader.LoadParameterFile(LoadMode::kLoad, kWanted);
  EXPECT_EQ(definitions.parameterCount, 0);
  EXPECT_EQ(definitions.Find(0), nullptr);
  ASSERT_EQ(definitions.TreeRows().size(), 1u);
  EXPECT_EQ(definitions.TreeRows()[0].group, "CONSTRUCT FILE READ FAIL");
}

TEST_F(DefinitionLoaderTest, ModeZeroEmptiesTheTreeAndTheCaption) {
  folder.Write(kWanted, OneEntry("A"));
  loader.LoadParameterFile(LoadMode::kLoad, kWanted);
  state.caption = "A";
  loader.LoadParameterFile(LoadMode::kClear, "");
  EXPECT_TRUE(definitions.TreeRows().empty());
  EXPECT_EQ(state.caption, "");
  EXPECT_TRUE(op.Events().empty());
}

TEST_F(DefinitionLoaderTest, ReadsA64KiBFileWholeAndNothingBeyond) {
  const std::string entry = "[Node/P]Get;<d>;Command = AT+P;";
  folder.Write(kWanted, std::string(65536 - entry.size(), '\n') + entry);
  loader.LoadParameterFile(LoadMode::kLoad, kWanted);
  ASSERT_EQ(definitions.parameterCount, 1);
  EXPECT_STREQ(definitions.Record(0).command, "AT+P\r\n");

  // One byte more, and the ";" that ends the command lies beyond the read.
  folder.Write(kWanted, std::string(65537 - entry.size(), '\n') + entry);
  loader.LoadParameterFile(LoadMode::kLoad, kWanted);
  ASSERT_EQ(definitions.parameterCount, 1);
  EXPECT_STREQ(definitions.Record(0).command, "\r\n");
}

TEST_F(DefinitionLoaderTest, SkipsSecuritySettingsWhileTheConnectionIsRemote) {
  folder.Write(kWanted, OneEntry("A") + "[Security Settings/Key]String;<d>;Command = AT+LINKKEY;");
  loader.LoadParameterFile(LoadMode::kLoad, kWanted);
  EXPECT_EQ(definitions.parameterCount, 2);
  connection.SetRemoteMode(true);
  loader.LoadParameterFile(LoadMode::kLoad, kWanted);
  EXPECT_EQ(definitions.parameterCount, 1);
  EXPECT_EQ(definitions.groupCount, 2);
}

TEST_F(DefinitionLoaderTest, DoesNotFollowANameOutOfTheProgramFolder) {
  std::filesystem::create_directory(folder.Path() + "sub");
  folder.Write("sub/" + std::string(kWanted), OneEntry("Elsewhere"));
  loader.LoadParameterFile(LoadMode::kLoad, std::string("sub/") + kWanted);
  EXPECT_EQ(op.Questions().size(), 1u);
  EXPECT_EQ(definitions.parameterCount, 0);
}

TEST_F(DefinitionLoaderTest, TakesAFolderNamedLikeTheFileForMissing) {
  std::filesystem::create_directory(folder.Path() + kWanted);
  loader.LoadParameterFile(LoadMode::kLoad, kWanted);
  EXPECT_EQ(op.Questions().size(), 1u);
  EXPECT_EQ(op.Messages().size(), 1u);
}

TEST_F(DefinitionLoaderTest, TheUsersFolderIsSearchedAfterTheProgramFolder) {
  test::TempFolder user;
  loader.SetUserFolder(user.Path());
  user.Write(kWanted, OneEntry("User"));
  loader.LoadParameterFile(LoadMode::kLoad, kWanted);
  EXPECT_TRUE(op.Events().empty());
  EXPECT_EQ(Names(), std::vector<std::string>{"User"});
  EXPECT_EQ(loader.LoadedPath(), user.Path() + kWanted);

  // The program folder's file comes first.
  folder.Write(kWanted, OneEntry("Program"));
  loader.LoadParameterFile(LoadMode::kLoad, kWanted);
  EXPECT_EQ(Names(), std::vector<std::string>{"Program"});
}

TEST_F(DefinitionLoaderTest, AFileTheUpdatePutsIntoTheUsersFolderIsFoundOnTheRetry) {
  test::TempFolder user;
  loader.SetUserFolder(user.Path());
  std::vector<std::string> calls;
  loader.checkConfigUpdates = [&](const std::string& f) {
    calls.push_back(f);
    user.Write(kWanted, OneEntry("Downloaded"));
  };
  op.QueueAnswer(true);
  loader.LoadParameterFile(LoadMode::kLoad, kWanted);
  EXPECT_EQ(calls, std::vector<std::string>{folder.Path()});  // given the program folder
  EXPECT_EQ(Names(), std::vector<std::string>{"Downloaded"});
}

TEST_F(DefinitionLoaderTest, TheFallbackWeighsBothFoldersAndOfEqualScoresTakesTheProgramFolders) {
  test::TempFolder user;
  loader.SetUserFolder(user.Path());
  folder.Write("MA11_v1.9.5.zmcon", OneEntry("Program old"));
  folder.Write("MA11_v1.11.0.zmcon", OneEntry("Program newest"));
  user.Write("MA11_v1.11.0.zmcon", OneEntry("User newest"));
  user.Write("MB11_v9.0.zmcon", OneEntry("Other product"));
  loader.LoadParameterFile(LoadMode::kLoad, kWanted);
  EXPECT_EQ(Names(), std::vector<std::string>{"Program newest"});

  user.Write("MA11_v1.12.0.zmcon", OneEntry("User newer"));
  loader.LoadParameterFile(LoadMode::kLoad, kWanted);
  EXPECT_EQ(Names(), std::vector<std::string>{"User newer"});
  EXPECT_EQ(loader.LoadedPath(), user.Path() + "MA11_v1.12.0.zmcon");
}

TEST(ProgramFolder, IsTheFolderOfTheRunningExecutable) {
  FakeOperator op;
  Connection connection{op};
  ParameterDefinitions definitions;
  ConfigPageState state;
  DefinitionLoader loader{connection, definitions, state};
  const std::string folder = loader.GetProgramFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '/');
  // The executable's own name, with the suffix the system gives programs.
#ifdef _WIN32
  const std::string executable = "unit_config.exe";
#else
  const std::string executable = "unit_config";
#endif
  EXPECT_TRUE(std::filesystem::is_regular_file(folder + executable));
}

}  // namespace
}  // namespace zendra
