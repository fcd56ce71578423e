// The definition file parser, driven from memory.

#include <gtest/gtest.h>

#include <string>

#include "config/ParameterDefinitions.h"

namespace zendra {
namespace {

std::string Text(const char* field) { return field; }

struct Parsed {
  ParameterDefinitions defs;
  explicit Parsed(std::string_view text, bool remote = false) {
    defs.ParseDefinitionText(text, remote);
    defs.BuildNameTable();
  }
  const ParameterRecord& operator[](int i) const { return defs.Record(i); }
};

TEST(DefinitionParser, ReadsTheThreeEntriesOfTheFileFormatExample) {
  Parsed p(
      "; text before the first entry is ignored\r\n"
      "[Serial/Echo]10;Combo_list = Off:On;Value_list = 0:1;Echo of typed characters: <Off or "
      "On.>;\r\n"
      "  Command = ATX;\r\n"
      "[Node/Node name]String;Range = 1;Max = 16;Shown in scans: <1 to 16 characters.>;\r\n"
      "  Command = AT+NODENAME;\r\n"
      "[Node/Node type]Get;About the node: <Read only.>;Command = AT+NODETYPE;\r\n");
  ASSERT_EQ(p.defs.parameterCount, 3);
  EXPECT_EQ(p.defs.groupCount, 2);
  EXPECT_EQ(Text(p[0].group), "Serial");
  EXPECT_EQ(Text(p[0].name), "Echo");
  EXPECT_EQ(p[0].type, 10);
  EXPECT_EQ(Text(p[0].comboList), "Off:On");
  EXPECT_EQ(Text(p[0].valueList), "0:1");
  EXPECT_EQ(Text(p[0].rangeMin), "");
  EXPECT_EQ(Text(p[0].description), "Off or On.");
  EXPECT_EQ(Text(p[0].command), "ATX\r\n");
  EXPECT_EQ(Text(p[1].group), "Node");
  EXPECT_EQ(p[1].type, 29);
  EXPECT_EQ(Text(p[1].rangeMin), "1");
  EXPECT_EQ(Text(p[1].rangeMax), "16");
  EXPECT_EQ(Text(p[1].description), "1 to 16 characters.");
  EXPECT_EQ(Text(p[1].command), "AT+NODENAME\r\n");
  EXPECT_EQ(p[2].type, 39);
  EXPECT_EQ(Text(p[2].command), "AT+NODETYPE\r\n");
}

struct TypeCase {
  const char* field;
  int type;
};

class TypeField : public ::testing::TestWithParam<TypeCase> {};

TEST_P(TypeField, IsDecidedByTheFirstKeywordInSearchOrder) {
  const std::string text = std::string("[G/P]") + GetParam().field + ";<d>;Command = AT+P;";
  Parsed p(text);
  ASSERT_EQ(p.defs.parameterCount, 1);
  EXPECT_EQ(p[0].type, GetParam().type) << GetParam().field;
}

INSTANTIATE_TEST_SUITE_P(SearchOrder, TypeField,
                         ::testing::Values(TypeCase{"10", 10}, TypeCase{"16", 16},
                                           TypeCase{"String", 29}, TypeCase{"Get", 39},
                                           TypeCase{"String(16)", 16}, TypeCase{"String(10)", 10},
                                           TypeCase{"Get(16)", 16}, TypeCase{" Type 16 or 10 ", 10},
                                           TypeCase{"string", 0}, TypeCase{"Hex", 0},
                                           TypeCase{"", 0}));

struct FieldCase {
  const char* name;
  const char* entry;
  const char* comboList;
  const char* valueList;
  const char* rangeMin;
  const char* rangeMax;
  const char* description;
  const char* command;
};

class EntryFields : public ::testing::TestWithParam<FieldCase> {};

TEST_P(EntryFields, AreTakenInTheirFixedOrder) {
  const FieldCase& c = GetParam();
  Parsed p(c.entry);
  ASSERT_EQ(p.defs.parameterCount, 1);
  EXPECT_EQ(Text(p[0].comboList), c.comboList);
  EXPECT_EQ(Text(p[0].valueList), c.valueList);
  EXPECT_EQ(Text(p[0].rangeMin), c.rangeMin);
  EXPECT_EQ(Text(p[0].rangeMax), c.rangeMax);
  EXPECT_EQ(Text(p[0].description), c.description);
  EXPECT_EQ(Text(p[0].command), c.command);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, EntryFields,
    ::testing::Values(
        FieldCase{"ChoicesWithValuesAndRange",
                  "[G/P]10;Combo_list = A:B;Value_list = 5:7;Range = 5;Max = 7;<d>;Command = AT+P;",
                  "A:B", "5:7", "5", "7", "d", "AT+P\r\n"},
        // "(" in the type field: the choice fields shift into range and description.
        FieldCase{"ParenthesisTurnsChoiceFieldsIntoDescriptionAndCommand",
                  "[G/P]10(2);Combo_list = A:B;Value_list = 0:1;<d>;Command = AT+P;", "", "", "",
                  "", "", "0:1\r\n"},
        FieldCase{"ParenthesisLetsAChoiceFieldNamingRangeBeTheRange",
                  "[G/P]10(2);Combo_list = Range:B;Max = 9;<d>;Command = AT+P;", "", "", "Range:B",
                  "9", "d", "AT+P\r\n"},
        FieldCase{"ValueListWithoutComboListIsNotAValueList",
                  "[G/P]10;Value_list = 0:1;Help <d>;Command = AT+P;", "", "", "", "", "", "\r\n"},
        FieldCase{"ChoicesOnlyForTypeTen", "[G/P]String;Combo_list = A:B;<d>;Command = AT+P;", "",
                  "", "", "", "", "\r\n"},
        FieldCase{"RangeWithoutBlankLosesItsFirstCharacter",
                  "[G/P]16;Range=1;Max = 16;<d>;Command = AT+P;", "", "", "", "16", "d",
                  "AT+P\r\n"},
        FieldCase{"RangeWithLongerValueLosesOnlyTheFirstCharacter",
                  "[G/P]16;Range=100;Max = 16;<d>;Command = AT+P;", "", "", "00", "16", "d",
                  "AT+P\r\n"},
        FieldCase{"KeyedFieldEndingAtItsEqualsSignIsEmpty", "[G/P]16;Range =;Max =;<d>;Command =;",
                  "", "", "", "", "d", "\r\n"},
        FieldCase{"OnlyTheOneBlankAfterEqualsIsSkipped",
                  "[G/P]16;Range =  1 ;Max = 2;<d>;Command = AT+P ;", "", "", " 1 ", "2", "d",
                  "AT+P \r\n"},
        FieldCase{"DescriptionNamingRangeIsReadAsTheRange",
                  "[G/P]16;Range of <x>;<d>;Command = AT+P;", "", "", "", "", "", "\r\n"},
        FieldCase{"DescriptionKeepsLineBreaks",
                  "[G/P]Get;Help: <line one\r\nline two> tail;\r\n Command = AT+P;", "", "", "", "",
                  "line one\r\nline two", "AT+P\r\n"},
        FieldCase{"DescriptionWithoutClosingBracketRunsToTheFieldEnd",
                  "[G/P]Get;Help: <open end;Command = AT+P;", "", "", "", "", "open end",
                  "AT+P\r\n"},
        FieldCase{"MissingSemicolonAtTheEndGivesAnEmptyCommand", "[G/P]Get;<d>;Command = AT+P", "",
                  "", "", "", "d", "\r\n"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(DefinitionParser, TakesTheGroupToTheFirstSlashAndTheNameToTheFirstBracket) {
  Parsed p("[A/B/C]Get;<d>;Command = AT+B;");
  ASSERT_EQ(p.defs.parameterCount, 1);
  EXPECT_EQ(Text(p[0].group), "A");
  EXPECT_EQ(Text(p[0].name), "B/C");
}

TEST(DefinitionParser, SearchesTheNextEntryFromTheCommandField) {
  // The command field is not consumed, so an entry that starts inside it is read.
  Parsed p("[G/P]Get;<d>;Command = [G/Q]Get;<q>;Command = AT+Q;");
  ASSERT_EQ(p.defs.parameterCount, 2);
  EXPECT_EQ(Text(p[0].command), "[G/Q]Get\r\n");
  EXPECT_EQ(Text(p[1].name), "Q");
  EXPECT_EQ(Text(p[1].command), "AT+Q\r\n");
}

TEST(DefinitionParser, StopsAtAnEntryWhoseHeaderNeverCloses) {
  Parsed p("[G/P]Get;<d>;Command = AT+P;\r\n[G/Q Get;<d>;Command = AT+Q;\r\n[H");
  ASSERT_EQ(p.defs.parameterCount, 1);
  EXPECT_EQ(Text(p[0].name), "P");
}

TEST(DefinitionParser, ReadsNothingAfterTheFirstNulByte) {
  const std::string text =
      std::string("[G/P]Get;<d>;Command = AT+P;\0[G/Q]Get;<d>;Command = AT+Q;", 57);
  Parsed p(text);
  EXPECT_EQ(p.defs.parameterCount, 1);
}

TEST(DefinitionParser, ReappearingGroupBecomesASecondTreeRow) {
  Parsed p(
      "[Node/A]Get;<d>;Command = AT+A;"
      "[Serial/B]Get;<d>;Command = AT+B;"
      "[Node/C]Get;<d>;Command = AT+C;");
  EXPECT_EQ(p.defs.groupCount, 3);
  const auto rows = p.defs.TreeRows();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].group, "Node");
  EXPECT_EQ(rows[2].group, "Node");
  ASSERT_EQ(rows[2].names.size(), 1u);
  EXPECT_EQ(rows[2].names[0], "C");
}

TEST(DefinitionParser, SkipsSecuritySettingsForARemoteDeviceButCountsTheGroupChanges) {
  const char* text =
      "[Node/A]Get;<d>;Command = AT+A;"
      "[Security Settings/Key]String;<d>;Command = AT+LINKKEY;"
      "[Security Settings/Encrypt]10;Combo_list = Off:On;<d>;Command = AT+ENCRYPT;"
      "[Node/B]Get;<d>;Command = AT+B;"
      "[Serial/C]Get;<d>;Command = AT+C;";
  Parsed local(text);
  EXPECT_EQ(local.defs.parameterCount, 5);
  EXPECT_EQ(local.defs.groupCount, 4);

  Parsed remote(text, /*remote=*/true);
  ASSERT_EQ(remote.defs.parameterCount, 3);
  EXPECT_EQ(remote.defs.groupCount, 4);
  EXPECT_EQ(Text(remote[0].name), "A");
  EXPECT_EQ(Text(remote[1].name), "B");
  EXPECT_EQ(Text(remote[2].name), "C");
  // The two Node entries are neighbours in the table now, so they share a row.
  const auto rows = remote.defs.TreeRows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].group, "Node");
  EXPECT_EQ(rows[0].names.size(), 2u);
  EXPECT_EQ(rows[1].group, "Serial");
}

std::string Entries(const std::string& groupPrefix, int groups, int perGroup) {
  std::string text;
  for (int g = 0; g < groups; ++g)
    for (int i = 0; i < perGroup; ++i)
      text += "[" + groupPrefix + std::to_string(g) + "/P" + std::to_string(i) +
              "]Get;<d>;Command = AT+P;\n";
  return text;
}

TEST(DefinitionParserLimits, KeepsTheFirstThousandParameters) {
  Parsed p(Entries("G", 1, 1001));
  EXPECT_EQ(p.defs.parameterCount, 1000);
  EXPECT_EQ(Text(p[999].name), "P999");
  EXPECT_EQ(p.defs.Find(1000), nullptr);
}

TEST(DefinitionParserLimits, ShowsTwentyFiveTreeRowsAtMost) {
  Parsed p(Entries("G", 30, 1));
  EXPECT_EQ(p.defs.parameterCount, 30);
  EXPECT_EQ(p.defs.groupCount, 30);
  const auto rows = p.defs.TreeRows();
  ASSERT_EQ(rows.size(), 25u);
  EXPECT_EQ(rows[24].group, "G24");
}

TEST(DefinitionParserLimits, ShowsThirtyEightParametersPerRowAtMost) {
  Parsed p(Entries("G", 1, 45) + "[H/Q]Get;<d>;Command = AT+Q;");
  const auto rows = p.defs.TreeRows();
  ASSERT_EQ(rows.size(), 2u);
  ASSERT_EQ(rows[0].names.size(), 38u);
  EXPECT_EQ(rows[0].names[37], "P37");
  EXPECT_TRUE(p.defs.nameTable.Entry(0, 39).empty());
  EXPECT_EQ(rows[1].group, "H");
}

TEST(DefinitionParserLimits, CutsShownTextsToTheirFields) {
  const std::string group(40, 'g');
  const std::string name(200, 'n');
  const std::string range(100, '9');
  const std::string description(3000, 'd');
  Parsed p("[" + group + "/" + name + "]16;Range = " + range + ";Max = " + range + ";<" +
           description + ">;Command = AT+P;");
  ASSERT_EQ(p.defs.parameterCount, 1);
  EXPECT_EQ(Text(p[0].group), group.substr(0, 31));
  EXPECT_EQ(Text(p[0].name), name.substr(0, 127));
  EXPECT_EQ(Text(p[0].rangeMin), range.substr(0, 63));
  EXPECT_EQ(Text(p[0].rangeMax), range.substr(0, 63));
  EXPECT_EQ(Text(p[0].description), description.substr(0, 2047));
  EXPECT_EQ(Text(p[0].command), "AT+P\r\n");
}

TEST(DefinitionParserLimits, GroupsAreComparedAsStoredAfterTheCut) {
  const std::string prefix(31, 'g');
  Parsed p("[" + prefix + "A/P]Get;<d>;Command = AT+P;[" + prefix + "B/Q]Get;<d>;Command = AT+Q;");
  EXPECT_EQ(p.defs.groupCount, 1);
  EXPECT_EQ(p.defs.TreeRows().size(), 1u);
}

struct RejectCase {
  const char* name;
  std::string fields;
  bool stored;
};

class SendableTexts : public ::testing::TestWithParam<RejectCase> {};

TEST_P(SendableTexts, AreNeverCutButTheirEntryIsLeftOut) {
  const RejectCase& c = GetParam();
  Parsed p("[A/First]Get;<d>;Command = AT+A;[B/P]" + c.fields + "[C/Last]Get;<d>;Command = AT+C;");
  EXPECT_EQ(p.defs.parameterCount, c.stored ? 3 : 2);
  EXPECT_EQ(p.defs.rejectedEntries, c.stored ? 0 : 1);
  EXPECT_EQ(p.defs.groupCount, 3);  // the left-out entry's group still counts
  EXPECT_EQ(Text(p[p.defs.parameterCount - 1].name), "Last");
}

std::string List(int pieces, int length) {
  std::string list;
  for (int i = 0; i < pieces; ++i)
    list += (i ? ":" : "") + std::string(static_cast<std::size_t>(length), 'a' + i % 26);
  return list;
}

INSTANTIATE_TEST_SUITE_P(
    Limits, SendableTexts,
    ::testing::Values(
        RejectCase{"CommandOf125Fits", "Get;<d>;Command = " + std::string(125, 'C') + ";", true},
        RejectCase{"CommandOf126IsTooLong", "Get;<d>;Command = " + std::string(126, 'C') + ";",
                   false},
        RejectCase{"TwentyChoicesFit", "10;Combo_list = " + List(20, 3) + ";<d>;Command = AT+P;",
                   true},
        RejectCase{"TwentyOneChoicesAreTooMany",
                   "10;Combo_list = " + List(21, 3) + ";<d>;Command = AT+P;", false},
        RejectCase{"ChoiceOf63Fits", "10;Combo_list = " + List(2, 63) + ";<d>;Command = AT+P;",
                   true},
        RejectCase{"ChoiceOf64IsTooLong", "10;Combo_list = " + List(2, 64) + ";<d>;Command = AT+P;",
                   false},
        RejectCase{"ValueOf64IsTooLong",
                   "10;Combo_list = A:B;Value_list = " + List(2, 64) + ";<d>;Command = AT+P;",
                   false},
        RejectCase{"ListBeyond255IsTooLong",
                   "10;Combo_list = " + List(5, 60) + ";<d>;Command = AT+P;", false}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace zendra
