#include "config/ParameterEditor.h"

#include <cstdint>

#include "config/ChoiceList.h"
#include "config/ValueRules.h"

namespace zendra {

ParameterEditor::ParameterEditor(Connection& connection, const ParameterDefinitions& definitions,
                                 ConfigPageState& state)
    : connection_(connection), definitions_(definitions), state_(state) {}

std::string ParameterEditor::SetCommand(const std::string& command, const std::string& value) {
  // The read command is the prefix of the write command: AT+NODENAME reads,
  // AT+NODENAME=N1 writes.
  std::string line = command.substr(0, command.find('\r'));
  line += '=';
  line += value;
  line += "\r\n";
  return line;
}

bool ParameterEditor::HasNoCommand(const ParameterRecord& record) {
  const std::string_view command = FieldText(record.command);
  return command.substr(0, command.find_first_of("\r\n")).empty();
}

ChoiceBoxItems ParameterEditor::FillChoiceBox(const std::vector<std::string>& texts,
                                              const std::vector<int>& data, int count,
                                              int selectedData) {
  ChoiceBoxItems box;
  std::size_t n = static_cast<std::uint16_t>(count);
  if (n > texts.size()) n = texts.size();
  if (n > data.size()) n = data.size();
  for (std::size_t k = 0; k < n; ++k) {
    box.texts.push_back(texts[k]);
    box.data.push_back(data[k]);
    if (data[k] == selectedData) box.selection = static_cast<int>(k);
  }
  return box;
}

void ParameterEditor::Begin(SelectionResult& out) {
  // Every selection starts with Save and both value controls disabled and the value
  // edit empty; the matched record enables what fits it.
  out.saveEnabled = false;
  out.valueEditEnabled = false;
  out.choiceBoxEnabled = false;
  out.valueText.clear();
  out.choiceItemsKept = true;
  out.reply.reset();
}

void ParameterEditor::Finish(SelectionResult& out) {
  out.caption = state_.caption;
  out.description = state_.description;
  out.rangeLabel = state_.rangeLabel;
  out.rangeText = state_.rangeText;
  out.currentIndex = state_.currentIndex;
  out.choiceItems = choiceBox_.texts;
  out.choiceData = choiceBox_.data;
  out.choiceSelection = choiceBox_.selection;
}

std::string ParameterEditor::Read(LineLease& line, const ParameterRecord& record) {
  AtLink& link = line.Link();
  // The wake-up depends on the local module alone: it carries remote reads too.
  link.WakeUpIfSleepy();
  const std::string command(FieldText(record.command));
  if (connection_.RemoteMode())
    return link.QueryRemoteAtCommand(command, kRemoteSeconds, state_.remoteEuiAddress);
  return link.QueryAtCommand(command, kLocalReadSeconds);
}

bool ParameterEditor::ShowRecord(LineLease& line, const ParameterRecord& record,
                                 SelectionResult& out) {
  if (record.type != ParameterRecord::kTypeGet) {
    // Nothing to read from a closed port. A read-only parameter goes on to its read,
    // which then gives the empty text, shown like any reply.
    if (!connection_.IsOpen()) return false;
    out.saveEnabled = true;
  }

  if (record.rangeMin[0] != '\0') {
    state_.rangeLabel = kRangeLabel;
    state_.rangeText =
        std::string(FieldText(record.rangeMin)) + " ~ " + std::string(FieldText(record.rangeMax));
  } else {
    state_.rangeLabel.clear();
    state_.rangeText.clear();
  }

  if (HasNoCommand(record)) {
    // An empty line would reach the module and its silence would be blamed on
    // the connection: say what is wrong instead, and offer nothing to save.
    out.saveEnabled = false;
    if (connection_.IsOpen()) connection_.Op().ShowMessage(kNoCommandMessage);
    return true;
  }

  Operator& op = connection_.Op();
  // Whether the module refused the read or said nothing: the same message, but
  // not the same thing to check.
  const auto failedRead = [&] {
    const bool remote = connection_.RemoteMode();
    std::string device = remote ? RemoteDeviceText(state_.remoteEuiAddress, state_.remoteNodeName)
                                : std::string("the module");
    device[0] = 'T';
    const std::string detail =
        line.Link().LastRefused()
            ? device + " answered ERROR: it did not take the command " +
                  std::string(FieldText(record.command)
                                  .substr(0, FieldText(record.command).find_first_of("\r\n"))) +
                  "."
            : device + " did not answer within " +
                  std::to_string(remote ? kRemoteSeconds : kLocalReadSeconds) + " s.";
    op.ShowDetailedMessage(kNoResponseMessage, detail);
  };
  if (record.comboList[0] != '\0') {
    out.choiceBoxEnabled = true;
    const std::vector<std::string> choices = ChoiceList::Choices(FieldText(record.comboList));
    const std::size_t n = choices.size();
    const bool hasValueList = record.valueList[0] != '\0';
    const std::vector<std::string> entries =
        hasValueList ? ChoiceList::ValueEntries(FieldText(record.valueList), n)
                     : std::vector<std::string>();
    std::vector<int> data(n);
    for (std::size_t k = 0; k < n; ++k) data[k] = static_cast<int>(k);

    const std::string reply = Read(line, record);
    out.reply = reply;
    if (reply == "ERROR") {
      // The box keeps its former items.
      out.saveEnabled = false;
      out.choiceBoxEnabled = false;
      failedRead();
      return true;
    }
    const std::optional<int> index = ChoiceList::SelectedIndex(entries, hasValueList, reply, n);
    choiceBox_ = FillChoiceBox(choices, data, static_cast<int>(n), index.value_or(-1));
    out.choiceItemsKept = false;
    return true;
  }

  out.valueEditEnabled = true;
  choiceBox_ = {};
  out.choiceItemsKept = false;
  const std::string reply = Read(line, record);
  out.reply = reply;
  if (reply == "ERROR") {
    out.saveEnabled = false;
    out.valueEditEnabled = false;
    failedRead();
    return true;
  }
  out.valueText = reply;
  return true;
}

SelectionResult ParameterEditor::SelectParameter(LineLease& line, const std::string& text) {
  SelectionResult out;
  Begin(out);
  for (int i = 0; i < definitions_.parameterCount; ++i) {
    const ParameterRecord& record = definitions_.Record(i);
    // A parameter named like its group is taken for the group.
    if (text == FieldText(record.group)) {
      state_.caption = text;
      state_.description.clear();
      state_.currentIndex = i;
      continue;
    }
    if (text == FieldText(record.name)) {
      state_.currentIndex = i;
      state_.caption = text;
      state_.description = std::string(FieldText(record.description));
      if (!ShowRecord(line, record, out)) {
        out.refresh = false;
        break;
      }
    }
  }
  Finish(out);
  return out;
}

SelectionResult ParameterEditor::SelectRecord(LineLease& line, int index) {
  SelectionResult out;
  Begin(out);
  if (const ParameterRecord* record = definitions_.Find(index)) {
    state_.currentIndex = index;
    state_.caption = std::string(FieldText(record->name));
    state_.description = std::string(FieldText(record->description));
    out.refresh = ShowRecord(line, *record, out);
  }
  Finish(out);
  return out;
}

SelectionResult ParameterEditor::ClearSelection() {
  SelectionResult out;
  Begin(out);
  // The texts describe a parameter that is no longer in the tree; Save stays off
  // until the next selection, so the former record is not written by mistake.
  state_.caption.clear();
  state_.description.clear();
  state_.rangeLabel.clear();
  state_.rangeText.clear();
  choiceBox_ = {};
  out.choiceItemsKept = false;
  Finish(out);
  return out;
}

SaveResult ParameterEditor::SaveParameter(LineLease& line, const SaveInput& input) {
  lastSaveSummary_.clear();
  nodeNameReadAgain_ = false;
  const ParameterRecord* record = definitions_.Find(state_.currentIndex);
  if (!record || record->type == ParameterRecord::kTypeGet) return SaveResult::kNotSaveable;
  if (record->comboList[0] == '\0') return SaveValue(line, state_.currentIndex, input.editText);

  const std::vector<std::string> choices = ChoiceList::Choices(FieldText(record->comboList));
  std::string text;
  if (input.choiceSelection && *input.choiceSelection >= 0 &&
      static_cast<std::size_t>(*input.choiceSelection) < choices.size()) {
    text = choices[static_cast<std::size_t>(*input.choiceSelection)];
  } else {
    // No item selected: the operator typed into the box. Only a text that is one of
    // the choices is written; anything else would silently write the first choice.
    text = input.choiceText;
  }
  int index = -1;
  for (std::size_t k = 0; k < choices.size(); ++k) {
    if (choices[k] == text) {
      index = static_cast<int>(k);
      break;
    }
  }
  if (index < 0) {
    connection_.Op().ShowMessage(kNotAChoiceMessage);
    return SaveResult::kNotAChoice;
  }
  return SaveValue(line, state_.currentIndex,
                   ChoiceList::SaveValue(FieldText(record->valueList), index));
}

SaveResult ParameterEditor::SaveValue(LineLease& line, int index, const std::string& value) {
  lastSaveSummary_.clear();
  nodeNameReadAgain_ = false;
  const ParameterRecord* record = definitions_.Find(index);
  if (!record || record->type == ParameterRecord::kTypeGet) return SaveResult::kNotSaveable;
  if (HasNoCommand(*record)) {
    connection_.Op().ShowMessage(kNoCommandMessage);
    return SaveResult::kNotSaveable;
  }
  if (AtLink::HoldsControlByte(value)) {
    connection_.Op().ShowMessage(kControlByteMessage);
    return SaveResult::kUnsafeValue;
  }
  if (const auto rule = ValueRules::Broken(*record, value)) {
    connection_.Op().ShowDetailedMessage(kBrokenRuleMessage, *rule);
    return SaveResult::kBrokenRule;
  }
  const std::string command = SetCommand(std::string(FieldText(record->command)), value);
  const std::string shownCommand = command.substr(0, command.find('\r'));
  AtLink& link = line.Link();
  const bool remote = connection_.RemoteMode();
  // No wake-up before saving: the selection's read has just woken the module.
  const bool ok = remote
                      ? link.SendRemoteAtCommand(command, kRemoteSeconds, state_.remoteEuiAddress)
                      : link.SendAtCommand(command, kLocalSaveSeconds);
  const std::string device = remote
                                 ? RemoteDeviceText(state_.remoteEuiAddress, state_.remoteNodeName)
                                 : std::string("the local module");
  if (!ok) {
    const std::string detail =
        link.LastRefused()
            ? "The module refused " + shownCommand + ": " + device + " answered ERROR."
            : "No answer from " + device + " to " + shownCommand + " within " +
                  std::to_string(remote ? kRemoteSeconds : kLocalSaveSeconds) + " s.";
    connection_.Op().ShowDetailedMessage(kSaveFailedMessage, detail);
    return SaveResult::kRefused;
  }
  lastSaveSummary_ =
      "Saved " + std::string(FieldText(record->name)) + " = " + value + " on " + device + ".";
  // The node name is part of the device information the window shows: read it
  // back, so that it shows what the module now holds.
  std::string readCommand = shownCommand.substr(0, shownCommand.find('='));
  for (char& c : readCommand)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  if (!remote && readCommand == "AT+NODENAME") {
    const std::string name = link.QueryAtCommand("AT+NODENAME\r\n", kLocalReadSeconds);
    if (name != "ERROR") {
      DeviceInfo info = connection_.Device();
      info.nodeName = name;
      connection_.SetDevice(info);
      nodeNameReadAgain_ = true;
      lastSaveSummary_ += " The module's node name reads " + name + ".";
    }
  }
  return SaveResult::kSaved;
}

bool ParameterEditor::RestoreOrReboot(LineLease& line) {
  AtLink& link = line.Link();
  if (connection_.RemoteMode()) {
    if (link.SendRemoteAtCommand("ATZ\r\n", kRemoteSeconds, state_.remoteEuiAddress)) return true;
    connection_.Op().ShowMessage(kRestartFailedMessage);
    return false;
  }
  link.WakeUpIfSleepy();
  if (link.SendAtCommand("AT&f\r\n", kFactoryDefaultSeconds)) return true;
  connection_.Op().ShowMessage(kRestoreFailedMessage);
  return false;
}

}  // namespace zendra
