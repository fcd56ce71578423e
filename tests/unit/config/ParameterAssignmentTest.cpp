// Parameters as an operator names them and the values typed for them: shared by
// zendra-cli get/set and the production line's --set.

#include <gmock/gmock.h>

#include "config/ParameterAssignment.h"

namespace zendra {
namespace {

constexpr const char* kDefinitions =
    "[Node/Node name]String;Range = 1;Max = 16;<Shown in scans.>;Command = AT+NODENAME;"
    "[Node/Node type]Get;<Read only.>;Command = AT+NODETYPE;"
    "[Power/Power]10;Combo_list = Low:High;Value_list = 0:5;<Output power.>;Command = AT+TXPOWER;"
    "[Power/Mode]10;Combo_list = Off:On;<Choice without values.>;Command = AT+MODE;"
    "[Radio/Mode]10;Range = 0;Max = 3;<Another group's Mode.>;Command = AT+RMODE;"
    "[Node/Node name]String;<The group again.>;Command = AT+NODENAME2;";

class AssignmentTest : public ::testing::Test {
 protected:
  AssignmentTest() { definitions.ParseDefinitionText(kDefinitions, false); }
  std::string Command(int record) const {
    const std::string command = definitions.Record(record).command;
    return command.substr(0, command.find('\r'));
  }
  ParameterDefinitions definitions;
};

TEST_F(AssignmentTest, FindsAParameterByItsPathOrItsNameAlone) {
  EXPECT_EQ(Command(FindParameter(definitions, "Radio/Mode").record), "AT+RMODE");
  EXPECT_EQ(Command(FindParameter(definitions, "Power").record), "AT+TXPOWER");
  // One parameter of one group listed twice is one parameter: its last record.
  EXPECT_EQ(Command(FindParameter(definitions, "Node name").record), "AT+NODENAME2");
  EXPECT_EQ(FindParameter(definitions, "Colour").error, "unknown parameter: Colour");
  EXPECT_EQ(FindParameter(definitions, "Mode").error,
            "ambiguous parameter Mode: name it as one of Power/Mode, Radio/Mode");
  // A path that names no parameter falls back to the name alone, which has a slash.
  EXPECT_EQ(FindParameter(definitions, "Radio/Power").record, -1);
}

TEST_F(AssignmentTest, GivesTheDeviceValueOfAChoiceAndRefusesReadOnlyParameters) {
  Assignment a = ResolveAssignment(definitions, "Power", "High");
  EXPECT_EQ(Command(a.record), "AT+TXPOWER");
  EXPECT_EQ(a.value, "5");
  EXPECT_EQ(ResolveAssignment(definitions, "Power", "5").value, "5") << "a device value as it is";
  EXPECT_EQ(ResolveAssignment(definitions, "Power/Mode", "On").value, "1") << "the choice's index";
  EXPECT_EQ(ResolveAssignment(definitions, "Power", "Max").error,
            "\"Max\" is not a choice of Power/Power: Low (0), High (5)");
  EXPECT_EQ(ResolveAssignment(definitions, "Node type", "4").error, "Node/Node type is read-only");
  a = ResolveAssignment(definitions, "Radio/Mode", "7");
  EXPECT_EQ(a.value, "7") << "ranges are the module's to check";
  EXPECT_EQ(ResolveAssignment(definitions, "Nothing", "1").record, -1);
}

TEST(SplitAssignment, DividesAtTheFirstEqualsSign) {
  EXPECT_EQ(SplitAssignment("Node/Node name=a=b"),
            std::make_pair(std::string("Node/Node name"), std::string("a=b")));
  EXPECT_EQ(SplitAssignment("Channel="), std::make_pair(std::string("Channel"), std::string()));
  EXPECT_EQ(SplitAssignment("=5"), std::nullopt);
  EXPECT_EQ(SplitAssignment("Channel"), std::nullopt);
}

}  // namespace
}  // namespace zendra
