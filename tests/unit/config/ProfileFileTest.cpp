// Configuration files (.zgb): private-profile look-ups as the Windows tool's files need
// them, the layout the exporter's writes produce, and saving without ever leaving a
// half-written file.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "config/ProfileFile.h"
#include "support/TempFolder.h"

namespace zendra {
namespace {

using test::ReadFile;
using test::TempFolder;

// Written by hand, as an operator might edit an exported file: CR LF and LF line ends,
// the last line without one.
constexpr const char* kHandWritten =
    "Version=before any section\r\n"
    "[Firmware]\r\n"
    "  VERSION  =   MA11_v1.10.0.zmcon  \r\n"
    "version=the second key of the name\r\n"
    "\tNum_of_saves\t=\t2\r\n"
    "\r\n"
    "[firmware]\n"
    "Extra=in a second Firmware section\n"
    "[ 0 ]\n"
    "Name=\"Network/PAN ID\"\n"
    "Command = AT+PANID=1A2B\n"
    "Quoted=' two  spaces '\n"
    "Unmatched=\"abc'\n"
    "Lone=\"\n"
    "Empty=\n"
    "a line without an equals sign\n"
    "[no closing bracket=x\n"
    "After=still in section 0";

struct LookupCase {
  const char* name;
  const char* section;
  const char* key;
  std::optional<std::string> value;
};

class Lookup : public ::testing::TestWithParam<LookupCase> {};

TEST_P(Lookup, ReadsAsThePlatformDoes) {
  const ProfileFile file{std::string(kHandWritten)};
  EXPECT_EQ(file.Lookup(GetParam().section, GetParam().key), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    HandWrittenFile, Lookup,
    ::testing::Values(
        LookupCase{"FirstEqualKeyWinsNamesIgnoreCaseAndBlanks", "FIRMWARE", "version",
                   "MA11_v1.10.0.zmcon"},
        LookupCase{"TabsAreBlanks", "firmware", "NUM_OF_SAVES", "2"},
        LookupCase{"SectionNameIsTrimmed", "0", "Name", "Network/PAN ID"},
        LookupCase{"KeyEndsAtTheFirstEquals", "0", "command", "AT+PANID=1A2B"},
        LookupCase{"SingleQuotesGoBlanksInsideStay", "0", "Quoted", " two  spaces "},
        LookupCase{"UnmatchedQuotesStay", "0", "Unmatched", "\"abc'"},
        LookupCase{"ALoneQuoteStays", "0", "Lone", "\""},
        LookupCase{"EmptyValueIsFound", "0", "Empty", ""},
        LookupCase{"IgnoredLinesDoNotEndTheSection", "0", "After", "still in section 0"},
        LookupCase{"BracketLineHoldsNoKey", "0", "[no closing bracket", std::nullopt},
        LookupCase{"OnlyTheFirstEqualSectionIsSearched", "Firmware", "Extra", std::nullopt},
        LookupCase{"KeysOfAnotherSectionAreNotFound", "0", "Version", std::nullopt},
        LookupCase{"TextBeforeTheFirstSectionIsInNone", "", "Version", std::nullopt},
        LookupCase{"MissingSection", "1", "Name", std::nullopt}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(ProfileFile, ReadsThroughABufferOf64BytesAsTheImportDoes) {
  const std::string long64(64, 'x');
  ProfileFile file;
  file.SetString("0", "Command", long64);
  EXPECT_EQ(file.GetString("0", "Command"), long64.substr(0, 63));
  EXPECT_EQ(file.GetString("0", "Command", "", 10), long64.substr(0, 9));
  EXPECT_EQ(file.GetString("0", "Command", "", 1), "");
  EXPECT_EQ(file.GetString("0", "Command", "", 0), "");
  EXPECT_EQ(file.Lookup("0", "Command"), long64);
  // The default loses its trailing spaces and is cut the same way.
  EXPECT_EQ(file.GetString("0", "Name", "none  "), "none");
  EXPECT_EQ(file.GetString("0", "Name", long64 + " "), long64.substr(0, 63));
  EXPECT_EQ(file.GetString("0", "Name"), "");
}

TEST(ProfileFile, TheExportersWritesGiveTheWindowsToolsLayout) {
  ProfileFile file;
  file.SetString("Firmware", "Version", "MA11_v1.10.0.zmcon");
  file.SetString("0", "Name", "Network/PAN ID");
  file.SetString("0", "Command", "AT+PANID=1A2B\r\n");
  file.SetString("1", "Name", "Radio/Channel");
  file.SetString("1", "Command", "AT+CH=11\r\n");
  file.SetString("Firmware", "Num_of_saves", "2");
  EXPECT_EQ(file.Text(),
            "[Firmware]\r\nVersion=MA11_v1.10.0.zmcon\r\nNum_of_saves=2\r\n"
            "[0]\r\nName=Network/PAN ID\r\nCommand=AT+PANID=1A2B\r\n\r\n"
            "[1]\r\nName=Radio/Channel\r\nCommand=AT+CH=11\r\n\r\n");
  EXPECT_EQ(file.Lookup("1", "Command"), "AT+CH=11");
}

TEST(ProfileFile, WritesReplaceTheFirstKeyInPlaceAndAppendAfterTheSectionsLastLine) {
  ProfileFile file{std::string(
      "; exported by hand\n[A]\nkey = old\nKEY=second\n\n[B]\nx=1\n[a]\nkey=late\n[C]\ny=2")};
  file.SetString("a", "Key", "new");
  file.SetString("A", "added", "1");
  file.SetString("C", "z", "3");
  file.SetString("D", "w", "4");
  EXPECT_EQ(file.Text(),
            "; exported by hand\n[A]\nkey =new\nKEY=second\nadded=1\r\n\n[B]\nx=1\n[a]\nkey=late\n"
            "[C]\ny=2\r\nz=3\r\n[D]\r\nw=4\r\n");
  EXPECT_EQ(file.Lookup("A", "key"), "new");
}

TEST(ProfileFile, WhatIsNoProfileFileReadsAsEmpty) {
  constexpr char kBinary[] =
      "\x7f"
      "ELF\x02\x01\x01\0\0[\x01]\n\xff\xfe\0\x03";
  const ProfileFile file{std::string(kBinary, sizeof kBinary - 1)};
  EXPECT_EQ(file.GetString("Firmware", "Version", "default"), "default");
  // A value ends where a caller's text buffer would end it; the uncut read keeps it all.
  const ProfileFile withNul(std::string("[S]\nk=ab\0cd\n", 12));
  EXPECT_EQ(withNul.GetString("S", "k"), "ab");
  EXPECT_EQ(withNul.Lookup("S", "k"), std::string("ab\0cd", 5));
  // A byte order mark does not hide the first section.
  const ProfileFile marked{std::string("\xEF\xBB\xBF[Firmware]\r\nVersion=V\r\n")};
  EXPECT_EQ(marked.Lookup("Firmware", "Version"), "V");
}

TEST(ProfileFile, AFileWeSavedReadsBackExactly) {
  TempFolder folder;
  ProfileFile written{std::string(kHandWritten)};
  written.SetString("Firmware", "Version", "MA11_v1.10.0.zmcon");
  written.SetString("7", "Command", "ATS10=ab cd\r\n");
  const std::string path = folder.Path() + "saved.zgb";
  ASSERT_TRUE(written.Save(path));
  EXPECT_EQ(ReadFile(path), written.Text());
  ProfileFile read;
  ASSERT_TRUE(read.Load(path));
  EXPECT_EQ(read.Text(), written.Text());
  EXPECT_EQ(read.Lookup("firmware", "version"), "MA11_v1.10.0.zmcon");
  EXPECT_EQ(read.Lookup("7", "Command"), "ATS10=ab cd");
  EXPECT_FALSE(read.Load(folder.Path() + "missing.zgb"));
  EXPECT_EQ(read.Text(), "");
  EXPECT_FALSE(read.Load(folder.Path()));
}

TEST(ProfileFile, SavingKeepsTheFilesPermissionsAndItsLink) {
  TempFolder folder;
  const std::string real = folder.Write("real.zgb", "[Firmware]\r\n");
  ::chmod(real.c_str(), 0640);
  std::filesystem::create_symlink(real, folder.Path() + "link.zgb");
  ProfileFile file;
  file.SetString("Firmware", "Version", "V");
  ASSERT_TRUE(file.Save(folder.Path() + "link.zgb"));
  EXPECT_TRUE(std::filesystem::is_symlink(folder.Path() + "link.zgb"));
  EXPECT_EQ(ReadFile(real), file.Text());
  struct stat info {};
  ASSERT_EQ(::stat(real.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
}

// A write that fails half-way (here: the file size limit, which binds root too)
// leaves the good file as it was and no temporary file behind.
TEST(ProfileFile, AFailedSaveLeavesTheOldFileAndNoTrace) {
  TempFolder folder;
  const std::string good = "[Firmware]\r\nVersion=good\r\n";
  const std::string path = folder.Write("config.zgb", good);
  ProfileFile big;
  big.SetString("Firmware", "Version", std::string(100000, 'v'));

  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit small = old;
  small.rlim_cur = 4096;
  const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool saved = big.Save(path);
  ::setrlimit(RLIMIT_FSIZE, &old);
  ::signal(SIGXFSZ, oldHandler);

  EXPECT_FALSE(saved);
  EXPECT_EQ(ReadFile(path), good);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()),
                          std::filesystem::directory_iterator{}),
            1);
  EXPECT_FALSE(big.Save(folder.Path() + "no such folder/config.zgb"));
}

}  // namespace
}  // namespace zendra
