// Where the programs find the definition files they came with: next to them in a
// build tree, in the data folder of their prefix once installed.

#include <gtest/gtest.h>

#include <filesystem>

#include "base/InstallLayout.h"
#include "base/WideText.h"
#include "config/ProgramFolder.h"
#include "support/TempFolder.h"

namespace zendra {
namespace {

namespace fs = std::filesystem;

TEST(InstallLayout, TheInstalledFolderLiesInTheDataFolderBesideTheProgramsFolder) {
  EXPECT_STREQ(InstallLayout::RelativeDefinitionFolder(), "../share/zendra-manager/definitions/");
}

TEST(InstallLayout, AnInstalledProgramFindsItsDefinitionsUnderItsOwnPrefix) {
  test::TempFolder prefix;
  fs::create_directories(prefix.Path() + "bin");
  fs::create_directories(prefix.Path() + "share/zendra-manager/definitions");

  const std::string shipped = prefix.Path() + "share/zendra-manager/definitions/";
  EXPECT_TRUE(InstallLayout::IsInstalled(prefix.Path() + "bin/"));
  EXPECT_EQ(InstallLayout::DefinitionFolderOf(prefix.Path() + "bin/"), shipped);
  EXPECT_EQ(InstallLayout::DefinitionFolderOf(prefix.Path() + "bin"), shipped);

  // Another prefix's data folder is not this program's.
  fs::create_directories(prefix.Path() + "opt/zm/bin");
  EXPECT_FALSE(InstallLayout::IsInstalled(prefix.Path() + "opt/zm/bin/"));
  EXPECT_EQ(InstallLayout::DefinitionFolderOf(prefix.Path() + "opt/zm/bin/"),
            prefix.Path() + "opt/zm/bin/");
}

TEST(InstallLayout, APrefixWithLettersBeyondAsciiIsFoundAndNamedAsTheProgramKeepsPaths) {
  test::TempFolder root;
  const std::string prefix = root.Path() + "Programme S\u00fcd/";
  fs::create_directories(PathFromUtf8(prefix + "bin"));
  fs::create_directories(PathFromUtf8(prefix + "share/zendra-manager/definitions"));
  EXPECT_TRUE(InstallLayout::IsInstalled(prefix + "bin/"));
  EXPECT_EQ(InstallLayout::DefinitionFolderOf(prefix + "bin/"),
            prefix + "share/zendra-manager/definitions/");
}

TEST(InstallLayout, ABuildTreeKeepsItsDefinitionsNextToThePrograms) {
  test::TempFolder build;
  fs::create_directories(build.Path() + "bin");
  EXPECT_FALSE(InstallLayout::IsInstalled(build.Path() + "bin/"));
  EXPECT_EQ(InstallLayout::DefinitionFolderOf(build.Path() + "bin/"), build.Path() + "bin/");
  EXPECT_EQ(InstallLayout::DefinitionFolderOf(build.Path() + "bin"), build.Path() + "bin/");

  // A file where the folder would be makes no installed layout.
  fs::create_directories(build.Path() + "share/zendra-manager");
  build.Write("share/zendra-manager/definitions", "not a folder");
  EXPECT_FALSE(InstallLayout::IsInstalled(build.Path() + "bin/"));
  EXPECT_EQ(InstallLayout::DefinitionFolderOf(build.Path() + "bin/"), build.Path() + "bin/");
}

TEST(InstallLayout, AProgramThatDoesNotKnowWhereItLiesUsesItsFolderAsItWas) {
  EXPECT_FALSE(InstallLayout::IsInstalled("./"));
  EXPECT_EQ(InstallLayout::DefinitionFolderOf("./"), "./");
  EXPECT_FALSE(InstallLayout::IsInstalled(""));
}

TEST(ProgramFolder, InTheBuildTreeTheDefinitionFolderIsTheProgramFolder) {
  EXPECT_EQ(ProgramFolder::GetDefinitionFolder(), ProgramFolder::GetProgramFolder());
  EXPECT_TRUE(fs::exists(ProgramFolder::GetDefinitionFolder() + "MA11_v1.10.0.zmcon"));
}

}  // namespace
}  // namespace zendra
