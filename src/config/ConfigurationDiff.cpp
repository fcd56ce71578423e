#include "config/ConfigurationDiff.h"

#include <algorithm>
#include <map>

#include "config/ChoiceList.h"

namespace zendra {

namespace {

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string UpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = Upper(c);
  return out;
}

// The record's read command as its set command begins: cut before its CR.
std::string_view ReadCommand(const ParameterRecord& record) {
  const std::string_view command = FieldText(record.command);
  return command.substr(0, command.find('\r'));
}

// Whether `command` sets `read`: it begins with `read` (its name compared without
// regard to case), followed by "=".
bool Sets(std::string_view command, std::string_view read) {
  if (read.empty() || command.size() <= read.size() || command[read.size()] != '=') return false;
  for (std::size_t i = 0; i < read.size(); ++i)
    if (Upper(command[i]) != Upper(read[i])) return false;
  return true;
}

std::string RecordPath(const ParameterRecord& record) {
  return std::string(FieldText(record.group)) + "/" + std::string(FieldText(record.name));
}

// The choice `value` selects, as the page's choice box would select it.
std::optional<std::string> ChoiceFor(const ParameterRecord& record, const std::string& value) {
  if (record.comboList[0] == '\0') return std::nullopt;
  const std::vector<std::string> choices = ChoiceList::Choices(FieldText(record.comboList));
  const bool hasValueList = record.valueList[0] != '\0';
  const std::vector<std::string> entries =
      hasValueList ? ChoiceList::ValueEntries(FieldText(record.valueList), choices.size())
                   : std::vector<std::string>();
  const std::optional<int> index =
      ChoiceList::SelectedIndex(entries, hasValueList, value, choices.size());
  if (!index) return std::nullopt;
  return choices[static_cast<std::size_t>(*index)];
}

// A text from the file shown on one line.
std::string OneLine(std::string text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  return text;
}

std::string WithChoice(const std::optional<std::string>& choice, const std::string& value) {
  return choice ? *choice + " (" + value + ")" : value;
}

}  // namespace

std::string ConfigurationDiff::Entry::DeviceText() const {
  switch (kind) {
    case Kind::kNotRead:
      return "(not read)";
    case Kind::kNotInDefinitions:
      return "(not in the definition file)";
    case Kind::kNotSendable:
      return "(never sent: invalid command)";
    default:
      return WithChoice(deviceChoice, deviceValue.value_or(""));
  }
}

std::string ConfigurationDiff::Entry::FileText() const {
  if (record < 0) return OneLine(command);
  return WithChoice(fileChoice, fileValue);
}

int ConfigurationDiff::MatchRecord(const std::string& command, const std::string& name,
                                   const ParameterDefinitions& definitions) {
  int best = -1;
  bool bestNamed = false;
  std::size_t bestLength = 0;
  for (int i = 0; i < definitions.parameterCount; ++i) {
    const ParameterRecord& record = definitions.Record(i);
    const std::string_view read = ReadCommand(record);
    if (!Sets(command, read)) continue;
    const bool named = RecordPath(record) == name;
    // The named record first, then the longest command; of equals the first.
    if (best < 0 || (named && !bestNamed) || (named == bestNamed && read.size() > bestLength)) {
      best = i;
      bestNamed = named;
      bestLength = read.size();
    }
  }
  return best;
}

std::vector<int> ConfigurationDiff::RecordsToRead(const ImportPlan& plan,
                                                  const ParameterDefinitions& definitions) {
  // One record per read command: two records of one command read the same value.
  std::map<std::string, int> byCommand;
  for (const ImportPlan::Entry& entry : plan.entries) {
    if (!entry.sendable) continue;
    const int record = MatchRecord(entry.command, entry.name, definitions);
    if (record < 0) continue;
    const std::string key = UpperAscii(ReadCommand(definitions.Record(record)));
    auto [it, added] = byCommand.emplace(key, record);
    if (!added) it->second = std::min(it->second, record);
  }
  std::vector<int> records;
  for (const auto& [key, record] : byCommand) records.push_back(record);
  std::sort(records.begin(), records.end());
  return records;
}

ConfigurationDiff ConfigurationDiff::Compare(const ImportPlan& plan,
                                             const ParameterDefinitions& definitions,
                                             const std::vector<ParameterReading>& readings) {
  // What the device holds for each read command as the import goes along: the
  // value read, then the value of each entry that sets it.
  std::map<std::string, std::optional<std::string>> held;
  for (const ParameterReading& reading : readings) {
    const ParameterRecord* record = definitions.Find(reading.index);
    if (!record) continue;
    std::optional<std::string> value;
    if (reading.status == ParameterReading::Status::kRead) value = reading.value;
    held.emplace(UpperAscii(ReadCommand(*record)), std::move(value));
  }

  ConfigurationDiff diff;
  diff.entries.reserve(plan.entries.size());
  for (std::size_t i = 0; i < plan.entries.size(); ++i) {
    const ImportPlan::Entry& source = plan.entries[i];
    Entry entry;
    entry.section = static_cast<int>(i);
    entry.name = source.name;
    entry.command = source.command;
    const std::size_t slash = source.name.find('/');
    entry.group = OneLine(source.name.substr(0, slash));
    entry.parameter =
        slash == std::string::npos ? std::string() : OneLine(source.name.substr(slash + 1));
    if (!source.sendable) {
      entry.kind = Entry::Kind::kNotSendable;
      diff.entries.push_back(std::move(entry));
      continue;
    }
    entry.record = MatchRecord(source.command, source.name, definitions);
    if (entry.record < 0) {
      entry.kind = Entry::Kind::kNotInDefinitions;
      diff.entries.push_back(std::move(entry));
      continue;
    }
    const ParameterRecord& record = definitions.Record(entry.record);
    entry.group = OneLine(std::string(FieldText(record.group)));
    entry.parameter = OneLine(std::string(FieldText(record.name)));
    const std::string_view read = ReadCommand(record);
    entry.fileValue = source.command.substr(read.size() + 1);
    entry.fileChoice = ChoiceFor(record, entry.fileValue);

    auto it = held.find(UpperAscii(read));
    if (it == held.end() || !it->second) {
      entry.kind = Entry::Kind::kNotRead;
    } else {
      entry.deviceValue = *it->second;
      entry.deviceChoice = ChoiceFor(record, *entry.deviceValue);
      entry.kind =
          *entry.deviceValue == entry.fileValue ? Entry::Kind::kUnchanged : Entry::Kind::kChanged;
    }
    // From here on the device holds the file's value (the import goes on after a
    // refused command too, and logs it).
    if (it != held.end()) it->second = entry.fileValue;
    diff.entries.push_back(std::move(entry));
  }
  return diff;
}

ConfigurationDiff ConfigurationDiff::CompareWithDevice(ConfigurationTransfer& transfer,
                                                       LineLease& line, const ImportPlan& plan,
                                                       TransferProgress* progress) {
  const ParameterDefinitions& definitions = transfer.Definitions();
  const ReadAllResult read =
      transfer.ReadAllParameters(line, RecordsToRead(plan, definitions), progress);
  if (read.stopped) {
    ConfigurationDiff diff;
    diff.stopped = true;
    return diff;
  }
  return Compare(plan, definitions, read.readings);
}

int ConfigurationDiff::Count(Entry::Kind kind) const {
  return static_cast<int>(std::count_if(entries.begin(), entries.end(),
                                        [kind](const Entry& e) { return e.kind == kind; }));
}

int ConfigurationDiff::Differences() const {
  return static_cast<int>(entries.size()) - Count(Entry::Kind::kUnchanged);
}

std::vector<bool> ConfigurationDiff::SendMask() const {
  std::vector<bool> mask;
  mask.reserve(entries.size());
  for (const Entry& entry : entries) mask.push_back(entry.kind != Entry::Kind::kUnchanged);
  return mask;
}

}  // namespace zendra
