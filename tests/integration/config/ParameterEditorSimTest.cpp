// Selection, Save and factory default against the simulated module, which serves
// its registers from the same definition file the page loads.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "config/DefinitionLoader.h"
#include "config/ParameterEditor.h"
#include "support/SimHarness.h"
#include "support/TempFolder.h"

namespace zendra {
namespace {

using ::testing::ElementsAre;

constexpr const char* kRemoteAddress = "000D6F0000D4E5F6";

// The registers of the test module. "Channel" is in two groups.
constexpr const char* kDefinitions =
    "; test module\r\n"
    "[Node/Node name]String;Range = 1;Max = 16;Help: <Shown in scans.>;\r\n Command = "
    "AT+NODENAME;\r\n"
    "[Node/Node type]Get;Help: <Read only.>;\r\n Command = AT+NODETYPE;\r\n"
    "[Radio/Power]10;Combo_list = Low:Mid:High;Value_list = 0:1:2;Help: <Output power.>;\r\n"
    " Command = AT+TXPOWER;\r\n"
    "[Radio/Mode]10;Combo_list = A:B:C;Help: <Mode, written as its index.>;\r\n Command = "
    "AT+MODE;\r\n"
    "[Radio/Channel]10;Range = 11;Max = 26;Help: <Radio channel.>;\r\n Command = AT+CHANNEL;\r\n"
    "[Serial/Channel]10;Range = 1;Max = 4;Help: <Serial channel.>;\r\n Command = AT+SCHANNEL;\r\n";
// Only in the manager's copy of the file: the module answers "ERROR" to its command.
constexpr const char* kUnknownToTheModule =
    "[Serial/Broken]16;Help: <Not in the module.>;\r\n Command = AT+NOSUCH;\r\n";

class ConfigAgainstSimulator : public ::testing::Test {
 protected:
  void Start(sim::Options options = {}) {
    folder.Write("MA11_v1.10.0.zmcon", std::string(kDefinitions) + kUnknownToTheModule);
    options.definitionsFile = folder.Write("module.zmcon.sim", kDefinitions);
    harness = std::make_unique<test::SimHarness>(options);
    ASSERT_TRUE(harness->Connect());
    session = std::make_unique<Session>(harness->Conn());
    session->loader.SetProgramFolder(folder.Path());
    session->loader.LoadParameterFile(LoadMode::kLoad, harness->Conn().DefinitionFileName());
    ASSERT_EQ(session->definitions.parameterCount, 7);
    harness->Sim().ClearLog();
    harness->Op().Clear();
  }

  SelectionResult Select(const std::string& text) {
    return session->editor.SelectParameter(harness->Line(), text);
  }
  std::vector<std::string> Lines() { return harness->Sim().ReceivedLines(); }
  std::vector<std::string> Messages() { return harness->Op().Messages(); }

  struct Session {
    explicit Session(Connection& c)
        : loader(c, definitions, state), editor(c, definitions, state) {}
    ParameterDefinitions definitions;
    ConfigPageState state;
    DefinitionLoader loader;
    ParameterEditor editor;
  };

  test::TempFolder folder;
  std::unique_ptr<test::SimHarness> harness;
  std::unique_ptr<Session> session;
};

TEST_F(ConfigAgainstSimulator, ATextParameterShowsTheReplyInTheValueEditWithItsRange) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const SelectionResult r = Select("Node name");
  EXPECT_THAT(Lines(), ElementsAre("AT+NODENAME\r\n"));
  EXPECT_TRUE(r.refresh);
  EXPECT_EQ(r.valueText, "Zendra1");
  EXPECT_TRUE(r.valueEditEnabled);
  EXPECT_TRUE(r.saveEnabled);
  EXPECT_FALSE(r.choiceBoxEnabled);
  EXPECT_FALSE(r.choiceItemsKept);
  EXPECT_TRUE(r.choiceItems.empty());
  EXPECT_EQ(r.caption, "Node name");
  EXPECT_EQ(r.description, "Shown in scans.");
  EXPECT_EQ(r.rangeLabel, "Range: ");
  EXPECT_EQ(r.rangeText, "1 ~ 16");
  EXPECT_TRUE(Messages().empty());
}

TEST_F(ConfigAgainstSimulator, AChoiceWithAValueListSelectsTheEntryOfTheReply) {
  ASSERT_NO_FATAL_FAILURE(Start());
  harness->Sim().SetRegister("AT+TXPOWER", "2");
  SelectionResult r = Select("Power");
  EXPECT_THAT(Lines(), ElementsAre("AT+TXPOWER\r\n"));
  EXPECT_THAT(r.choiceItems, ElementsAre("Low", "Mid", "High"));
  EXPECT_THAT(r.choiceData, ElementsAre(0, 1, 2));
  EXPECT_EQ(r.choiceSelection, 2);
  EXPECT_TRUE(r.choiceBoxEnabled);
  EXPECT_TRUE(r.saveEnabled);
  EXPECT_FALSE(r.valueEditEnabled);
  EXPECT_EQ(r.rangeText, "");

  // A reply that is in no value entry selects the first choice.
  harness->Sim().SetRegister("AT+TXPOWER", "7");
  r = Select("Power");
  EXPECT_EQ(r.choiceSelection, 0);
}

TEST_F(ConfigAgainstSimulator, AChoiceWithoutValueListTakesTheReplyAsTheIndex) {
  ASSERT_NO_FATAL_FAILURE(Start());
  harness->Sim().SetRegister("AT+MODE", "1");
  EXPECT_EQ(Select("Mode").choiceSelection, 1);
  // Beyond the choices: the box is filled but shows no selection, and Save stays on.
  harness->Sim().SetRegister("AT+MODE", "7");
  const SelectionResult r = Select("Mode");
  EXPECT_THAT(r.choiceItems, ElementsAre("A", "B", "C"));
  EXPECT_EQ(r.choiceSelection, std::nullopt);
  EXPECT_TRUE(r.saveEnabled);
}

TEST_F(ConfigAgainstSimulator, AReadOnlyParameterIsShownWithSaveDisabled) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const SelectionResult r = Select("Node type");
  EXPECT_EQ(r.valueText, "1");
  EXPECT_TRUE(r.valueEditEnabled);
  EXPECT_FALSE(r.saveEnabled);
}

TEST_F(ConfigAgainstSimulator, ANameInTwoGroupsIsReadForBothAndThePageEndsOnTheLater) {
  ASSERT_NO_FATAL_FAILURE(Start());
  harness->Sim().SetRegister("AT+SCHANNEL", "3");
  const SelectionResult r = Select("Channel");
  EXPECT_THAT(Lines(), ElementsAre("AT+CHANNEL\r\n", "AT+SCHANNEL\r\n"));
  EXPECT_EQ(r.currentIndex, 5);  // Serial/Channel
  EXPECT_EQ(r.valueText, "3");
  EXPECT_EQ(r.description, "Serial channel.");
  EXPECT_EQ(r.rangeText, "1 ~ 4");
}

TEST_F(ConfigAgainstSimulator, AFailedReadShowsTheMessageAndKeepsSaveAndTheValueDisabled) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::string noResponse =
      "ERROR: The device does not respond. \r\nPlease make sure that the device is conncted "
      "correctly "
      "and turned on.";
  SelectionResult r = Select("Broken");
  EXPECT_THAT(Lines(), ElementsAre("AT+NOSUCH\r\n"));
  EXPECT_THAT(Messages(), ElementsAre(noResponse));
  EXPECT_EQ(r.reply, "ERROR");
  EXPECT_FALSE(r.saveEnabled);
  EXPECT_FALSE(r.valueEditEnabled);
  EXPECT_EQ(r.valueText, "");
  EXPECT_TRUE(r.refresh);

  // A choice read that fails (here: the module is silent) keeps the box's former items.
  harness->Sim().SetRegister("AT+TXPOWER", "1");
  Select("Power");
  harness->Sim().SetFaults(sim::Faults{.silent = true});
  r = Select("Mode");
  EXPECT_THAT(Messages(), ElementsAre(noResponse, noResponse));
  // The second text says which: a refusal, or silence.
  EXPECT_THAT(harness->Op().Details(),
              ElementsAre("The module answered ERROR: it did not take the command AT+NOSUCH.",
                          "The module did not answer within 1 s."));
  EXPECT_TRUE(r.choiceItemsKept);
  EXPECT_THAT(r.choiceItems, ElementsAre("Low", "Mid", "High"));
  EXPECT_EQ(r.choiceSelection, 1);
  EXPECT_FALSE(r.choiceBoxEnabled);
  EXPECT_FALSE(r.saveEnabled);
  EXPECT_EQ(r.description, "Mode, written as its index.");
}

TEST_F(ConfigAgainstSimulator, SaveWritesTheChoiceValueOrTheEditTextWithTheSetCommand) {
  ASSERT_NO_FATAL_FAILURE(Start());
  Select("Power");
  EXPECT_EQ(session->editor.SaveParameter(harness->Line(), {2, "High", ""}), SaveResult::kSaved);
  EXPECT_EQ(harness->Sim().Register("AT+TXPOWER"), "2");

  Select("Mode");
  EXPECT_EQ(session->editor.SaveParameter(harness->Line(), {2, "C", ""}), SaveResult::kSaved);
  // Typed text that equals a choice counts as that choice.
  EXPECT_EQ(session->editor.SaveParameter(harness->Line(), {std::nullopt, "B", ""}),
            SaveResult::kSaved);

  EXPECT_EQ(session->editor.LastSaveSummary(), "Saved Mode = 1 on the local module.");
  EXPECT_FALSE(session->editor.NodeNameReadAgain());

  // The node name is read back into the device information the window shows.
  Select("Node name");
  EXPECT_EQ(session->editor.SaveParameter(harness->Line(), {std::nullopt, "", "N1"}),
            SaveResult::kSaved);
  EXPECT_EQ(harness->Sim().Register("AT+NODENAME"), "N1");
  EXPECT_TRUE(session->editor.NodeNameReadAgain());
  EXPECT_EQ(harness->Conn().Device().nodeName, "N1");
  EXPECT_EQ(session->editor.LastSaveSummary(),
            "Saved Node name = N1 on the local module. The module's node name reads N1.");

  EXPECT_THAT(Lines(), ElementsAre("AT+TXPOWER\r\n", "AT+TXPOWER=2\r\n", "AT+MODE\r\n",
                                   "AT+MODE=2\r\n", "AT+MODE=1\r\n", "AT+NODENAME\r\n",
                                   "AT+NODENAME=N1\r\n", "AT+NODENAME\r\n"));
  EXPECT_TRUE(Messages().empty());
}

TEST_F(ConfigAgainstSimulator, AValueItsEntryDoesNotAllowIsNotSentAndTheRuleIsSaid) {
  ASSERT_NO_FATAL_FAILURE(Start());
  Select("Channel");  // ends on Serial/Channel, 1 ~ 4
  EXPECT_EQ(session->editor.SaveParameter(harness->Line(), {std::nullopt, "", "9"}),
            SaveResult::kBrokenRule);
  EXPECT_EQ(session->editor.SaveParameter(harness->Line(), {std::nullopt, "", "two"}),
            SaveResult::kBrokenRule);
  Select("Node name");
  EXPECT_EQ(session->editor.SaveParameter(harness->Line(), {std::nullopt, "", ""}),
            SaveResult::kBrokenRule);
  EXPECT_EQ(
      session->editor.SaveParameter(harness->Line(), {std::nullopt, "", std::string(17, 'n')}),
      SaveResult::kBrokenRule);
  for (const auto& line : Lines()) EXPECT_EQ(line.find('='), std::string::npos) << line;
  EXPECT_EQ(session->editor.LastSaveSummary(), "");
  const std::string refused = ParameterEditor::kBrokenRuleMessage;
  EXPECT_THAT(Messages(), ElementsAre(refused, refused, refused, refused));
  EXPECT_THAT(
      harness->Op().Details(),
      ElementsAre("Channel takes a whole decimal number from 1 to 4; 9 is out of that range.",
                  "Channel takes a whole decimal number from 1 to 4; 'two' is not.",
                  "Node name takes 1 to 16 characters; the value has 0.",
                  "Node name takes 1 to 16 characters; the value has 17."));
}

TEST_F(ConfigAgainstSimulator, ARefusedSaveShowsItsMessageAndSaysTheModuleRefusedIt) {
  sim::Options options;
  options.faults.errorCommands = {"AT+SCHANNEL"};
  ASSERT_NO_FATAL_FAILURE(Start(options));
  Select("Channel");  // ends on Serial/Channel, 1 ~ 4
  harness->Op().Clear();
  EXPECT_EQ(session->editor.SaveParameter(harness->Line(), {std::nullopt, "", "3"}),
            SaveResult::kRefused);
  Select("Node name");
  harness->Sim().SetFaults(sim::Faults{.silent = true});
  EXPECT_EQ(session->editor.SaveParameter(harness->Line(), {std::nullopt, "", "N3"}),
            SaveResult::kRefused);
  const auto lines = Lines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "AT+SCHANNEL=3\r\n"), lines.end());
  EXPECT_EQ(lines.back(), "AT+NODENAME=N3\r\n");
  EXPECT_EQ(session->editor.LastSaveSummary(), "");
  EXPECT_THAT(Messages(), ElementsAre("ERROR: Could not save the configuration paramater.",
                                      "ERROR: Could not save the configuration paramater."));
  EXPECT_THAT(harness->Op().Details(),
              ElementsAre("The module refused AT+SCHANNEL=3: the local module answered ERROR.",
                          "No answer from the local module to AT+NODENAME=N3 within 2 s."));
}

TEST_F(ConfigAgainstSimulator, FactoryDefaultRestoresTheRegisters) {
  ASSERT_NO_FATAL_FAILURE(Start());
  harness->Sim().SetRegister("AT+CHANNEL", "20");
  EXPECT_TRUE(session->editor.RestoreOrReboot(harness->Line()));
  EXPECT_THAT(Lines(), ElementsAre("AT&f\r\n"));
  EXPECT_EQ(harness->Sim().Register("AT+CHANNEL"), "11");
  EXPECT_TRUE(Messages().empty());

  harness->Sim().SetFaults(sim::Faults{.silent = true});
  EXPECT_FALSE(session->editor.RestoreOrReboot(harness->Line()));
  EXPECT_THAT(Messages(), ElementsAre("ERROR: Could not restore this device to factory default."));
}

TEST_F(ConfigAgainstSimulator, ASleepyModuleIsWokenBeforeEachReadButNotBeforeSave) {
  sim::Options options;
  options.nodeType = 4;
  ASSERT_NO_FATAL_FAILURE(Start(options));
  ASSERT_TRUE(harness->Link().sleepy);
  Select("Node name");
  EXPECT_EQ(session->editor.SaveParameter(harness->Line(), {std::nullopt, "", "N2"}),
            SaveResult::kSaved);
  // The read back of the node name follows the save at once: no wake-up either.
  EXPECT_THAT(Lines(),
              ElementsAre("\n", "AT+NODENAME\r\n", "AT+NODENAME=N2\r\n", "AT+NODENAME\r\n"));
}

TEST_F(ConfigAgainstSimulator, ARemoteDeviceIsReadAndWrittenThroughItsEuiAddress) {
  sim::Options options;
  sim::RemoteNode remote;
  remote.euiAddress = kRemoteAddress;
  remote.nodeName = "Far";
  remote.definitionsFile = folder.Write("remote.zmcon.sim", kDefinitions);
  options.remotes.push_back(remote);
  ASSERT_NO_FATAL_FAILURE(Start(options));
  harness->Conn().SetRemoteMode(true);
  session->state.remoteEuiAddress = kRemoteAddress;

  const SelectionResult r = Select("Node name");
  EXPECT_EQ(r.valueText, "Far");
  EXPECT_EQ(session->editor.SaveParameter(harness->Line(), {std::nullopt, "", "Near"}),
            SaveResult::kSaved);
  EXPECT_TRUE(session->editor.RestoreOrReboot(harness->Line()));
  EXPECT_THAT(Lines(), ElementsAre(std::string("AT+RC=") + kRemoteAddress + ",AT+NODENAME\r\n",
                                   std::string("AT+RC=") + kRemoteAddress + ",AT+NODENAME=Near\r\n",
                                   std::string("AT+RC=") + kRemoteAddress + ",ATZ\r\n"));
  EXPECT_TRUE(Messages().empty());
}

TEST_F(ConfigAgainstSimulator, ClearingTheSelectionLeavesNothingOfTheFormerParameterOnShow) {
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_TRUE(Select("Power").saveEnabled);
  harness->Sim().ClearLog();

  const SelectionResult cleared = session->editor.ClearSelection();
  EXPECT_TRUE(Lines().empty()) << "nothing is read";
  EXPECT_TRUE(cleared.refresh);
  EXPECT_FALSE(cleared.saveEnabled);
  EXPECT_FALSE(cleared.choiceBoxEnabled);
  EXPECT_FALSE(cleared.valueEditEnabled);
  EXPECT_FALSE(cleared.choiceItemsKept);
  EXPECT_TRUE(cleared.choiceItems.empty());
  EXPECT_EQ(cleared.choiceSelection, std::nullopt);
  EXPECT_EQ(cleared.caption, "");
  EXPECT_EQ(cleared.description, "");

  // A group keeps the choice box as it is: now the emptied one, not the former items.
  const SelectionResult group = Select("Radio");
  EXPECT_TRUE(group.choiceItemsKept);
  EXPECT_TRUE(group.choiceItems.empty());

  ASSERT_TRUE(Select("Node name").saveEnabled);
  session->editor.ClearSelection();
  EXPECT_EQ(session->state.rangeLabel, "");
  EXPECT_EQ(session->state.rangeText, "");
}

TEST_F(ConfigAgainstSimulator, AValueWithALineEndIsRefusedBeforeAnythingIsSent) {
  ASSERT_NO_FATAL_FAILURE(Start());
  Select("Node name");
  harness->Sim().ClearLog();
  // Sent as it stands, this would write the name and then reset the module.
  for (const char* value : {"AB\r\nAT&F", "AB\nAT&F", "AB\r", "A\tB"}) {
    EXPECT_EQ(session->editor.SaveParameter(harness->Line(), {std::nullopt, "", value}),
              SaveResult::kUnsafeValue);
  }
  EXPECT_THAT(Messages(), ::testing::Each(std::string(ParameterEditor::kControlByteMessage)));
  EXPECT_EQ(Messages().size(), 4u);
  EXPECT_TRUE(Lines().empty());
  EXPECT_EQ(harness->Sim().Register("AT+NODENAME"), "Zendra1");
}

TEST_F(ConfigAgainstSimulator, AnEntryCutBeforeItsCommandIsNeverSentAsAnEmptyLine) {
  ASSERT_NO_FATAL_FAILURE(Start());
  folder.Write("cut.zmcon",
               "[Node/Node name]String;Help: <Name.>;\r\n Command = AT+NODENAME;\r\n"
               "[Node/Cut]String;Help: <The file ends before the command.>;");
  session->loader.LoadParameterFile(LoadMode::kLoad, "cut.zmcon");
  ASSERT_EQ(session->definitions.parameterCount, 2);
  harness->Sim().ClearLog();
  harness->Op().Clear();

  const SelectionResult r = Select("Cut");
  EXPECT_FALSE(r.reply.has_value());
  EXPECT_FALSE(r.saveEnabled);
  EXPECT_FALSE(r.valueEditEnabled);
  EXPECT_EQ(session->editor.SaveValue(harness->Line(), 1, "x"), SaveResult::kNotSaveable);
  EXPECT_THAT(Messages(),
              ElementsAre(ParameterEditor::kNoCommandMessage, ParameterEditor::kNoCommandMessage));
  EXPECT_TRUE(Lines().empty());
}

}  // namespace
}  // namespace zendra
