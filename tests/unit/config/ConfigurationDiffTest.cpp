// The comparison of an import's plan with the values read from the device, without
// a device: which records are read, how each section of the file is tied to a
// parameter, how values compare, and what `--only-changed` sends.

#include <gmock/gmock.h>

#include <map>
#include <string>
#include <vector>

#include "config/ConfigurationDiff.h"

namespace zendra {
namespace {

using ::testing::ElementsAre;
using Kind = ConfigurationDiff::Entry::Kind;

constexpr const char* kDefinitions =
    "[Node/Node name]String;Help: <Name.>; Command = AT+NODENAME;\r\n"
    "[Node/Node type]Get;Help: <Role.>; Command = AT+NODETYPE;\r\n"
    "[Network/PAN ID]16;Range = 0000;Max = FFFE;Help: <Net.>; Command = AT+PANID;\r\n"
    "[Network/Channel]10;Range = 11;Max = 26;Help: <Channel.>; Command = AT+CHANNEL;\r\n"
    "[Serial/Baud rate]10;Combo_list = 1200:9600:115200;Value_list = 0:3:7;Help: <Speed.>;"
    " Command = AT+BAUD;\r\n"
    "[Serial/Flow control]10;Combo_list = None:XON/XOFF;Help: <Handshake.>; Command = AT+FLOW;\r\n"
    // A register addressed by an index: its read command holds a "=" of its own.
    "[Slots/Slot]10;Help: <Any slot.>; Command = AT+S;\r\n"
    "[Slots/Slot 1]10;Help: <Slot one.>; Command = AT+S=1;\r\n"
    // One parameter in two groups: the same command.
    "[Other/Node name]String;Help: <Again.>; Command = AT+NODENAME;\r\n";

class Diff : public ::testing::Test {
 protected:
  Diff() { definitions.ParseDefinitionText(kDefinitions, false); }

  // A plan as ReadImportFile makes it, with the commands exactly as given.
  static ImportPlan Plan(const std::vector<std::pair<std::string, std::string>>& sections) {
    ImportPlan plan;
    plan.version = "MA11_v1.10.0.zmcon";
    plan.count = static_cast<int>(sections.size());
    for (const auto& [name, command] : sections)
      plan.entries.push_back({name, command, ConfigurationTransfer::IsSendableCommand(command)});
    return plan;
  }
  // The device's values, read for the records the plan needs; a missing one failed.
  std::vector<ParameterReading> Readings(const ImportPlan& plan,
                                         const std::map<std::string, std::string>& device) {
    std::vector<ParameterReading> readings;
    for (const int index : ConfigurationDiff::RecordsToRead(plan, definitions)) {
      ParameterReading r;
      r.index = index;
      const std::string command(FieldText(definitions.Record(index).command));
      r.command = command.substr(0, command.find('\r'));
      const auto it = device.find(r.command);
      r.status =
          it == device.end() ? ParameterReading::Status::kFailed : ParameterReading::Status::kRead;
      if (it != device.end()) r.value = it->second;
      readings.push_back(r);
    }
    return readings;
  }
  static std::vector<Kind> Kinds(const ConfigurationDiff& diff) {
    std::vector<Kind> kinds;
    for (const auto& e : diff.entries) kinds.push_back(e.kind);
    return kinds;
  }

  ParameterDefinitions definitions;
};

TEST_F(Diff, EachSectionIsComparedWithTheParameterItsCommandSetsAndEqualValuesAreUnchanged) {
  const ImportPlan plan = Plan({{"Node/Node name", "AT+NODENAME=Barn west"},
                                {"Network/Channel", "AT+CHANNEL=15"},
                                {"Network/PAN ID", "AT+PANID=1A2B"},
                                {"Serial/Baud rate", "AT+BAUD=7"},
                                {"Security Settings/Link key", "AT+LINKKEY=00FF"},
                                {"Broken", "AT+X=1\tAT&F"},
                                {"Serial/Flow control", "AT+FLOW=1"}});
  // Only the table's own read commands, once each, in table order; never one made
  // from a command the table lacks.
  EXPECT_THAT(ConfigurationDiff::RecordsToRead(plan, definitions), ElementsAre(0, 2, 3, 4, 5));
  // The flow control is not answered.
  const ConfigurationDiff diff = ConfigurationDiff::Compare(
      plan, definitions,
      Readings(
          plan,
          {{"AT+NODENAME", "Barn"}, {"AT+CHANNEL", "15"}, {"AT+PANID", "1a2b"}, {"AT+BAUD", "0"}}));
  EXPECT_THAT(Kinds(diff),
              ElementsAre(Kind::kChanged, Kind::kUnchanged, Kind::kChanged, Kind::kChanged,
                          Kind::kNotInDefinitions, Kind::kNotSendable, Kind::kNotRead));
  EXPECT_EQ(diff.Differences(), 6);
  EXPECT_FALSE(diff.NothingChanges());
  EXPECT_THAT(diff.SendMask(), ElementsAre(true, false, true, true, true, true, true));

  const auto& name = diff.entries[0];
  EXPECT_EQ(name.group, "Node");
  EXPECT_EQ(name.parameter, "Node name");
  EXPECT_EQ(name.record, 0);
  EXPECT_EQ(name.deviceValue, "Barn");
  EXPECT_EQ(name.fileValue, "Barn west");
  // A hexadecimal value in another case is another command: a change.
  EXPECT_EQ(diff.entries[2].deviceValue, "1a2b");
  EXPECT_EQ(diff.entries[2].fileValue, "1A2B");
  // Choices are shown as the page shows them.
  EXPECT_EQ(diff.entries[3].DeviceText(), "1200 (0)");
  EXPECT_EQ(diff.entries[3].FileText(), "115200 (7)");
  EXPECT_EQ(diff.entries[4].group, "Security Settings");
  EXPECT_EQ(diff.entries[4].parameter, "Link key");
  EXPECT_EQ(diff.entries[4].DeviceText(), "(not in the definition file)");
  EXPECT_EQ(diff.entries[4].FileText(), "AT+LINKKEY=00FF");
  EXPECT_EQ(diff.entries[5].FileText(), "AT+X=1 AT&F") << "shown on one line";
  EXPECT_EQ(diff.entries[6].DeviceText(), "(not read)");
  EXPECT_EQ(diff.entries[6].FileText(), "XON/XOFF (1)");
}

TEST_F(Diff, ValuesCompareByteForByte) {
  const struct {
    const char* device;
    const char* file;
    Kind kind;
  } cases[] = {
      {"15", "15", Kind::kUnchanged}, {"15", "015", Kind::kChanged},
      {"15", "15 ", Kind::kChanged},  {"", "", Kind::kUnchanged},
      {"ff", "FF", Kind::kChanged},   {"N\xE4he", "N\xE4he", Kind::kUnchanged},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.device) + " / " + c.file);
    const ImportPlan plan = Plan({{"Network/Channel", std::string("AT+CHANNEL=") + c.file}});
    const ConfigurationDiff diff =
        ConfigurationDiff::Compare(plan, definitions, Readings(plan, {{"AT+CHANNEL", c.device}}));
    ASSERT_EQ(diff.entries.size(), 1u);
    EXPECT_EQ(diff.entries[0].kind, c.kind);
  }
}

TEST_F(Diff, ACommandIsTiedToTheNamedParameterElseToTheLongestCommandInAnyCase) {
  const auto match = [&](const char* command, const char* name) {
    return ConfigurationDiff::MatchRecord(command, name, definitions);
  };
  EXPECT_EQ(match("AT+S=1=5", "Slots/Slot 1"), 7);
  EXPECT_EQ(match("AT+S=1=5", "Somewhere/Else"), 7) << "the longest command";
  EXPECT_EQ(match("AT+S=1=5", "Slots/Slot"), 6) << "the named one first";
  EXPECT_EQ(match("AT+S=2", "Slots/Slot 1"), 6);
  EXPECT_EQ(match("at+channel=12", "Network/Channel"), 3);
  EXPECT_EQ(match("AT+NODENAME=A", "Other/Node name"), 8);
  EXPECT_EQ(match("AT+NODENAME=A", "Node/Node name"), 0);
  EXPECT_EQ(match("AT+NODENAME=A", "Gone/Gone"), 0) << "of equals the first";
  EXPECT_EQ(match("AT+CHANNELS=1", "Network/Channel"), -1);
  EXPECT_EQ(match("AT+CHANNEL", "Network/Channel"), -1);
  EXPECT_EQ(match("=1", "Network/Channel"), -1);

  // The value is what follows the matched command and its "=".
  const ImportPlan plan = Plan({{"Slots/Slot", "AT+S=1=5"},
                                {"Other/Node name", "AT+NODENAME=A"},
                                {"Node/Node name", "AT+NODENAME=A"}});
  // One read per command: the two records of AT+NODENAME read the same value.
  EXPECT_THAT(ConfigurationDiff::RecordsToRead(plan, definitions), ElementsAre(0, 6));
  const ConfigurationDiff diff = ConfigurationDiff::Compare(
      plan, definitions, Readings(plan, {{"AT+S", "1=5"}, {"AT+NODENAME", "A"}}));
  EXPECT_EQ(diff.entries[0].fileValue, "1=5");
  EXPECT_THAT(Kinds(diff), ElementsAre(Kind::kUnchanged, Kind::kUnchanged, Kind::kUnchanged));
  EXPECT_EQ(diff.entries[1].group, "Other");
  EXPECT_TRUE(diff.NothingChanges());
}

TEST_F(Diff, ALaterSectionOfTheSameParameterIsComparedWithWhatTheEarlierOneLeaves) {
  // The device holds 15. Sent alone, the second section would find 15 and be left
  // out, and the import would end with 12.
  const ImportPlan plan = Plan({{"Network/Channel", "AT+CHANNEL=12"},
                                {"Network/Channel", "AT+CHANNEL=15"},
                                {"Network/Channel", "AT+CHANNEL=15"},
                                {"Serial/Flow control", "AT+FLOW=1"}});
  const ConfigurationDiff diff = ConfigurationDiff::Compare(
      plan, definitions, Readings(plan, {{"AT+CHANNEL", "15"}, {"AT+FLOW", "1"}}));
  EXPECT_THAT(Kinds(diff),
              ElementsAre(Kind::kChanged, Kind::kChanged, Kind::kUnchanged, Kind::kUnchanged));
  EXPECT_EQ(diff.entries[1].deviceValue, "12");
  EXPECT_THAT(diff.SendMask(), ElementsAre(true, true, false, false));
  EXPECT_EQ(diff.entries[3].DeviceText(), "XON/XOFF (1)");
}

TEST_F(Diff, AFileWithoutSectionsChangesNothing) {
  const ImportPlan plan = Plan({});
  EXPECT_TRUE(ConfigurationDiff::RecordsToRead(plan, definitions).empty());
  const ConfigurationDiff diff = ConfigurationDiff::Compare(plan, definitions, {});
  EXPECT_TRUE(diff.entries.empty());
  EXPECT_TRUE(diff.NothingChanges());
  EXPECT_TRUE(diff.SendMask().empty());
}

}  // namespace
}  // namespace zendra
