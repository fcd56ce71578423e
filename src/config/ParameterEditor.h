#pragma once
// What selecting, saving and the factory-default / reboot button do on the
// Configuration page, without the page: the logic returns what the controls must
// show, and the window applies it.
//
// Selecting a tree item walks every record of the table in order and does not stop
// at a match: a name that occurs in two groups is read twice, once per record, and
// the page ends on the later record. Every value is read fresh from the device;
// nothing is cached. A choice parameter (a "Combo_list") shows its value in the
// choice box, every other one as text in the value edit, exactly as the device
// gave it.
//
// The core keeps the page's choice box items as it last told the page to fill
// them, so a result always carries the whole box even when a failed read keeps
// the former items.

#include <optional>
#include <string>
#include <vector>

#include "config/ConfigPageState.h"
#include "config/ParameterDefinitions.h"
#include "device/Connection.h"

namespace zendra {

// Everything the page's controls show after a selection.
struct SelectionResult {
  // The bound texts (the value box caption, the description, the range label and
  // the range text). The window shows them only when `refresh` is true.
  std::string caption;
  std::string description;
  std::string rangeLabel;
  std::string rangeText;
  // false when the handler ended early because the port is closed: the bound
  // controls then keep what they showed (the fields have changed all the same).
  bool refresh = true;
  int currentIndex = 0;

  // The value edit.
  std::string valueText;
  bool valueEditEnabled = false;

  // The choice box. When choiceItemsKept is true the selection neither filled
  // nor emptied the box, which keeps its items and its selection; the fields below
  // then repeat what it holds.
  bool choiceItemsKept = true;
  std::vector<std::string> choiceItems;
  std::vector<int> choiceData;         // item data of each item
  std::optional<int> choiceSelection;  // the selected item's index; nullopt: none
  bool choiceBoxEnabled = false;

  bool saveEnabled = false;  // the Save button

  // The device's reply to the last read of this selection (nullopt: nothing read).
  std::optional<std::string> reply;
};

// What the window's choice box holds after FillChoiceBox.
struct ChoiceBoxItems {
  std::vector<std::string> texts;
  std::vector<int> data;
  std::optional<int> selection;  // index of the selected item
};

// What the page hands to Save: the choice box's selected item (nullopt when none
// is selected, e.g. after the operator typed into it) and text, and the value
// edit's text.
struct SaveInput {
  std::optional<int> choiceSelection;
  std::string choiceText;
  std::string editText;
};

enum class SaveResult {
  kSaved,        // the device answered "OK"
  kRefused,      // "ERROR" or no answer: the message has been shown
  kNotAChoice,   // typed text that is no choice: nothing sent, the message shown
  kNotSaveable,  // no parameter selected, a read-only one, or one without a command: nothing sent
  kUnsafeValue,  // the value holds a control byte: nothing sent, the message shown
  kBrokenRule,   // the value breaks its entry's range or length (ValueRules): nothing sent
};

class ParameterEditor {
 public:
  static constexpr const char* kNoResponseMessage =
      "ERROR: The device does not respond. \r\nPlease make sure that the device is conncted "
      "correctly and turned on.";
  static constexpr const char* kSaveFailedMessage =
      "ERROR: Could not save the configuration paramater.";
  static constexpr const char* kRestoreFailedMessage =
      "ERROR: Could not restore this device to factory default.";
  static constexpr const char* kRestartFailedMessage = "ERROR: Could not restart the device.";
  // Typed text in the choice box that is none of the choices is not saved.
  static constexpr const char* kNotAChoiceMessage = "ERROR: The value is not one of the choices.";
  // A value with a line end or another control byte would end the command line
  // early and send the rest as a command of its own.
  static constexpr const char* kControlByteMessage =
      "ERROR: The value holds a control character (such as a line end) and was not sent.";
  // An entry of the definition file that was cut before its command.
  static constexpr const char* kNoCommandMessage =
      "ERROR: The parameter has no command in its definition file.";
  // A value its definition entry does not allow; the rule it broke is the detail.
  static constexpr const char* kBrokenRuleMessage =
      "ERROR: The value is not allowed for this parameter and was not sent.";
  static constexpr const char* kRangeLabel = "Range: ";

  // Time-outs in whole seconds.
  static constexpr int kLocalReadSeconds = 1;
  static constexpr int kRemoteSeconds = 15;
  static constexpr int kLocalSaveSeconds = 2;
  static constexpr int kFactoryDefaultSeconds = 3;

  ParameterEditor(Connection& connection, const ParameterDefinitions& definitions,
                  ConfigPageState& state);

  // The tree selection changed to an item with this text. The reads go over
  // `line` (the lease of the page's task).
  SelectionResult SelectParameter(LineLease& line, const std::string& text);
  // As a selection that matches exactly one record (the command line's "Group/Name").
  SelectionResult SelectRecord(LineLease& line, int index);
  // The tree was emptied (a close, a switch of device, a new load): nothing is
  // selected any more, so nothing of the former selection stays on show. The value
  // controls and Save are disabled, the edit and the choice box emptied, and the
  // caption, description and range texts cleared; no query is sent.
  SelectionResult ClearSelection();

  // The Save button, for the record of the last selection.
  SaveResult SaveParameter(LineLease& line, const SaveInput& input);
  // Writes `value` to the parameter of record `index` with its set command. A value
  // its entry does not allow (ValueRules) is not sent: kBrokenRuleMessage with the
  // rule. A refusal or silence of the module is kSaveFailedMessage with what
  // happened (the module answered ERROR, or nothing within the time-out).
  SaveResult SaveValue(LineLease& line, int index, const std::string& value);

  // What the last SaveParameter or SaveValue wrote, for the page's status line
  // ("Saved Node name = N1 on the local module."); empty when nothing was saved.
  // Saving the local module's node name reads it back into the connection's device
  // information (nodeNameReadAgain), so the window's texts show what the module now
  // holds.
  const std::string& LastSaveSummary() const { return lastSaveSummary_; }
  bool NodeNameReadAgain() const { return nodeNameReadAgain_; }

  // The "Restore to Factory Default" / "Reboot" button: factory default of the local
  // device, or restart of the remote one.
  bool RestoreOrReboot(LineLease& line);

  // The set command: the read command cut before its first CR, "=", the value, CR LF.
  static std::string SetCommand(const std::string& command, const std::string& value);
  // Whether the record's command (without its line end) is empty: an entry cut
  // before its command field.
  static bool HasNoCommand(const ParameterRecord& record);
  // The choice box after FillChoiceBox with the first `count` (as an unsigned 16-bit
  // number) of the texts and data: the item whose data equals `selectedData` is
  // selected. Never reads past either list.
  static ChoiceBoxItems FillChoiceBox(const std::vector<std::string>& texts,
                                      const std::vector<int>& data, int count, int selectedData);

 private:
  void Begin(SelectionResult& out);
  // Steps 4 to 6 for one matched record; false when the handler ends early.
  bool ShowRecord(LineLease& line, const ParameterRecord& record, SelectionResult& out);
  std::string Read(LineLease& line, const ParameterRecord& record);
  void Finish(SelectionResult& out);

  Connection& connection_;
  const ParameterDefinitions& definitions_;
  ConfigPageState& state_;
  // The page's choice box as last filled.
  ChoiceBoxItems choiceBox_;
  std::string lastSaveSummary_;
  bool nodeNameReadAgain_ = false;
};

}  // namespace zendra
