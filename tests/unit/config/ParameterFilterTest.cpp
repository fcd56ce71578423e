// The filter of the parameter tree: what shows for a typed text, without regard to
// case, in UTF-8 and in single-byte files, and that every name keeps its record.

#include <gmock/gmock.h>

#include <string>
#include <vector>

#include "config/ParameterDefinitions.h"
#include "config/ParameterFilter.h"

namespace zendra {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr const char* kDefinitions =
    "[Node/Node name]String;Range = 1;Max = 16;Help: <Shown in network scans.>;"
    " Command = AT+NODENAME;\r\n"
    "[Node/Node type]Get;Help: <Set at the factory.>; Command = AT+NODETYPE;\r\n"
    "[Network/Channel]10;Range = 11;Max = 26;Help: <Radio channel in the 2.4 GHz band.>;"
    " Command = AT+CHANNEL;\r\n"
    "[Network/PAN ID]16;Range = 0000;Max = FFFE;Help: <Shared by all nodes.>;"
    " Command = AT+PANID;\r\n"
    "[Power/TX power]10;Combo_list = Low:High;Value_list = 0:1;Help: <Output of the radio.>;"
    " Command = AT+TXPOWER;\r\n"
    "[Security Settings/Link key]16;Help: <Protects the joining.>; Command = AT+LINKKEY;\r\n"
    // The group comes back after another one: a second row of the same name.
    "[Network/Max hops]10;Help: <Relays on the way.>; Command = AT+MAXHOPS;\r\n";

ParameterDefinitions Load(const std::string& text) {
  ParameterDefinitions definitions;
  definitions.ParseDefinitionText(text, false);
  definitions.BuildNameTable();
  return definitions;
}

// What shows, as "Group: name, name" per row that shows.
std::vector<std::string> Shown(const ParameterDefinitions& definitions, const std::string& text) {
  std::vector<std::string> shown;
  for (const auto& row : ParameterFilter(text).Apply(definitions)) {
    if (!row.shown) continue;
    std::string line = std::string(row.group) + ":";
    for (std::size_t k = 0; k < row.names.size(); ++k)
      if (row.namesShown[k]) line += " " + std::string(row.names[k]) + ",";
    if (line.back() == ',') line.pop_back();
    shown.push_back(line);
  }
  return shown;
}

TEST(ParameterFilter, ShowsTheParametersWhoseGroupNameOrDescriptionHoldsTheTextWithTheirGroups) {
  const ParameterDefinitions d = Load(kDefinitions);
  // A name, in any case.
  EXPECT_THAT(Shown(d, "CHANNEL"), ElementsAre("Network: Channel"));
  EXPECT_THAT(Shown(d, "pan id"), ElementsAre("Network: PAN ID"));
  // A description: "radio" is in two, under different groups.
  EXPECT_THAT(Shown(d, "Radio"), ElementsAre("Network: Channel", "Power: TX power"));
  // A group's name shows the group with all its parameters.
  EXPECT_THAT(Shown(d, "secur"), ElementsAre("Security Settings: Link key"));
  EXPECT_THAT(Shown(d, "node"), ElementsAre("Node: Node name, Node type", "Network: PAN ID"));
  // A group that comes back is a row of its own, and its parameter has its own
  // record: the description of the later row is found.
  EXPECT_THAT(Shown(d, "relays"), ElementsAre("Network: Max hops"));
  EXPECT_THAT(Shown(d, "network"),
              ElementsAre("Node: Node name", "Network: Channel, PAN ID", "Network: Max hops"));
  // Blanks count as typed; nothing found shows nothing.
  EXPECT_THAT(Shown(d, "tx power"), ElementsAre("Power: TX power"));
  EXPECT_THAT(Shown(d, "txpower"), IsEmpty());
  EXPECT_THAT(Shown(d, "zzz"), IsEmpty());
}

TEST(ParameterFilter, AnEmptyTextShowsTheWholeTreeAndTiesEveryNameToItsRecord) {
  const ParameterDefinitions d = Load(kDefinitions);
  const auto rows = ParameterFilter("").Apply(d);
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_THAT(Shown(d, ""),
              ElementsAre("Node: Node name, Node type", "Network: Channel, PAN ID",
                          "Power: TX power", "Security Settings: Link key", "Network: Max hops"));
  std::vector<int> records;
  for (const auto& row : rows)
    records.insert(records.end(), row.records.begin(), row.records.end());
  EXPECT_THAT(records, ElementsAre(0, 1, 2, 3, 4, 5, 6));
  EXPECT_TRUE(ParameterFilter("").Empty());
  EXPECT_FALSE(ParameterFilter(" ").Empty());
}

TEST(ParameterFilter, ComparesCharactersOfUtf8AndOfSingleByteFilesWithoutRegardToCase) {
  // A UTF-8 file and one in the Windows tool's code page (Latin-1 bytes).
  const ParameterDefinitions utf8 = Load(
      "[Gerät/Übertragung]10;Help: <Leistung des Senders.>; Command = AT+TX;\r\n"
      "[Сеть/Канал]10;Help: <Радиоканал.>; Command = AT+CH;\r\n"
      "[Δίκτυο/Όνομα]String;Help: <Το όνομα του κόμβου.>; Command = AT+NAME;\r\n");
  const ParameterDefinitions latin1 = Load(
      "[Ger\xE4t/\xDC"
      "bertragung]10;Help: <Leistung.>; Command = AT+TX;\r\n");

  EXPECT_THAT(Shown(utf8, "übertragung"), ElementsAre("Gerät: Übertragung"));
  EXPECT_THAT(Shown(utf8, "GERÄT"), ElementsAre("Gerät: Übertragung"));
  EXPECT_THAT(Shown(utf8, "КАНАЛ"), ElementsAre("Сеть: Канал"));
  EXPECT_THAT(Shown(utf8, "όνομα"), ElementsAre("Δίκτυο: Όνομα"));
  // The typed text is UTF-8; the file's bytes are Latin-1.
  EXPECT_EQ(Shown(latin1, "ÜBERTRAGUNG").size(), 1u);
  EXPECT_EQ(Shown(latin1, "gerät").size(), 1u);
  // A byte of a Latin-1 file is a character, not a piece of one.
  EXPECT_THAT(Shown(latin1, "\xC3"), IsEmpty());

  EXPECT_EQ(ParameterFilter::Fold("ÀÉÎ ĀŁŽ ΣΑΣ ЁЖ İ"), ParameterFilter::Fold("àéî āłž σασ ёж i"));
  EXPECT_NE(ParameterFilter::Fold("×"), ParameterFilter::Fold("÷")) << "no letters";
}

TEST(ParameterFilter, TheReadFailureRowShowsOnlyWhenItsTextIsLookedFor) {
  ParameterDefinitions d;
  d.SetReadFailure();
  EXPECT_THAT(Shown(d, ""), ElementsAre("CONSTRUCT FILE READ FAIL:"));
  EXPECT_THAT(Shown(d, "read fail"), ElementsAre("CONSTRUCT FILE READ FAIL:"));
  EXPECT_THAT(Shown(d, "channel"), IsEmpty());
}

}  // namespace
}  // namespace zendra
