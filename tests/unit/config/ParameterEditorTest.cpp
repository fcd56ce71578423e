// Selection and Save decisions that need no module: a closed port, group items,
// read-only parameters and typed choices. The transactions themselves are covered
// against the simulated module (tests/integration/config).

#include <gtest/gtest.h>

#include "config/ParameterEditor.h"
#include "support/FakeOperator.h"

namespace zendra {
namespace {

constexpr const char* kDefinitions =
    "[Node/Node name]String;Range = 1;Max = 16;<Shown in scans.>;Command = AT+NODENAME;"
    "[Node/Node type]Get;<Read only.>;Command = AT+NODETYPE;"
    "[Power/Power]10;Combo_list = Low:High;Value_list = 0:1;<Output power.>;Command = AT+TXPOWER;";

class ParameterEditorTest : public ::testing::Test {
 protected:
  ParameterEditorTest() {
    definitions.ParseDefinitionText(kDefinitions, false);
    definitions.BuildNameTable();
  }

  test::FakeOperator op;
  Connection connection{op};  // never opened
  ParameterDefinitions definitions;
  ConfigPageState state;
  ParameterEditor editor{connection, definitions, state};
  LineLease line = std::move(*connection.TryLease("test"));
};

TEST_F(ParameterEditorTest, AParameterWithThePortClosedOnlyDisablesTheValueControls) {
  state.rangeText = "before";
  const SelectionResult r = editor.SelectParameter(line, "Node name");
  EXPECT_FALSE(r.refresh);
  EXPECT_FALSE(r.saveEnabled);
  EXPECT_FALSE(r.valueEditEnabled);
  EXPECT_FALSE(r.choiceBoxEnabled);
  EXPECT_EQ(r.valueText, "");
  EXPECT_FALSE(r.reply.has_value());
  EXPECT_EQ(r.currentIndex, 0);
  // The fields changed although the controls are not refreshed.
  EXPECT_EQ(state.caption, "Node name");
  EXPECT_EQ(state.description, "Shown in scans.");
  EXPECT_EQ(r.rangeText, "before");
  EXPECT_TRUE(op.Events().empty());
  EXPECT_EQ(op.WaitCount(), 0);
}

TEST_F(ParameterEditorTest, AReadOnlyParameterIsReadEvenWithThePortClosed) {
  const SelectionResult r = editor.SelectParameter(line, "Node type");
  EXPECT_TRUE(r.refresh);
  EXPECT_FALSE(r.saveEnabled);
  EXPECT_TRUE(r.valueEditEnabled);
  EXPECT_EQ(r.reply, "");  // a closed port answers with the empty text
  EXPECT_EQ(r.valueText, "");
  EXPECT_EQ(r.caption, "Node type");
  EXPECT_EQ(r.description, "Read only.");
  EXPECT_EQ(r.rangeLabel, "");
  EXPECT_TRUE(op.Messages().empty());
}

TEST_F(ParameterEditorTest, AGroupShowsItsNameAndLeavesRangeAndChoicesAlone) {
  state.rangeLabel = "Range: ";
  state.rangeText = "1 ~ 16";
  const SelectionResult r = editor.SelectParameter(line, "Power");  // group and parameter share the name
  EXPECT_TRUE(r.refresh);
  EXPECT_EQ(r.caption, "Power");
  EXPECT_EQ(r.description, "");
  EXPECT_EQ(r.currentIndex, 2);
  EXPECT_EQ(r.rangeText, "1 ~ 16");
  EXPECT_TRUE(r.choiceItemsKept);
  EXPECT_FALSE(r.saveEnabled);
  EXPECT_FALSE(r.valueEditEnabled);
  EXPECT_FALSE(r.choiceBoxEnabled);
  EXPECT_FALSE(r.reply.has_value());
}

TEST_F(ParameterEditorTest, SaveSendsNothingForAReadOnlyOrMissingParameter) {
  editor.SelectParameter(line, "Node type");
  EXPECT_EQ(editor.SaveParameter(line, {std::nullopt, "", "x"}), SaveResult::kNotSaveable);
  EXPECT_EQ(editor.SaveValue(line, 99, "x"), SaveResult::kNotSaveable);
  EXPECT_TRUE(op.Events().empty());
}

TEST_F(ParameterEditorTest, SaveAfterALoadThatFoundNoFileSendsNothing) {
  // The selection of the former table left its index behind; the table is empty now.
  state.currentIndex = 1;
  definitions.ZeroFill();
  definitions.SetReadFailure();
  EXPECT_EQ(editor.SaveParameter(line, {std::nullopt, "", "1"}), SaveResult::kNotSaveable);
  // A write would have met the closed port and its message.
  EXPECT_TRUE(op.Events().empty());
}

TEST_F(ParameterEditorTest, SaveRefusesTypedTextThatIsNoChoice) {
  editor.SelectParameter(line, "Power");
  state.currentIndex = 2;
  EXPECT_EQ(editor.SaveParameter(line, {std::nullopt, "Medium", ""}), SaveResult::kNotAChoice);
  EXPECT_EQ(editor.SaveParameter(line, {7, "Medium", ""}), SaveResult::kNotAChoice);
  EXPECT_EQ(op.Messages(),
            (std::vector<std::string>{"ERROR: The value is not one of the choices.",
                                      "ERROR: The value is not one of the choices."}));
}

}  // namespace
}  // namespace zendra
