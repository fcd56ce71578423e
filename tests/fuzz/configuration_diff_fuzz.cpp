// libFuzzer target: a configuration file (.zgb) compared with a device, and the
// tree's filter, both over a definition file from the input. The operator picks the
// configuration file and the definition file and types the filter, and the module's
// replies are the device's values, so all four are arbitrary. Checks what must hold
// whatever they say:
// - only records of the table are read, each read command once, in table order;
// - every section gets one entry, in order; an entry tied to a record has a command
//   that is that record's read command, "=", then the file value (the comparison
//   never invents a value); unsendable commands are never tied to a record;
// - an entry is unchanged only when the value the device holds equals the file's,
//   and what only-changed sends is exactly the entries that are not unchanged;
// - the filter shows every row for an empty text, never a name of a hidden row, and
//   a row's record is a record of that row's group and name.
//
//   cmake --preset fuzz && cmake --build build-fuzz --target configuration_diff_fuzz
//   ./build-fuzz/bin/configuration_diff_fuzz -max_total_time=60 CORPUS

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "config/ConfigurationDiff.h"
#include "config/ParameterFilter.h"
#include "config/ProfileFile.h"

namespace {

using namespace zendra;

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

std::string ReadCommand(const ParameterRecord& record) {
  const std::string command(FieldText(record.command));
  return command.substr(0, command.find('\r'));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  ParameterDefinitions definitions;
  definitions.ParseDefinitionText(input.ConsumeRandomLengthString(8192), input.ConsumeBool());
  definitions.BuildNameTable();
  const std::string filterText = input.ConsumeRandomLengthString(64);
  const bool deviceAnswers = input.ConsumeBool();
  const std::string replies = input.ConsumeRandomLengthString(2048);
  const ProfileFile file(input.ConsumeBytesAsString(input.remaining_bytes()));
  const ImportPlan plan = ConfigurationTransfer::ReadImportFile(file);

  // The device: each read record answers a piece of the replies, or fails.
  const std::vector<int> records = ConfigurationDiff::RecordsToRead(plan, definitions);
  std::vector<ParameterReading> readings;
  std::set<std::string> commands;
  std::size_t at = 0;
  for (std::size_t k = 0; k < records.size(); ++k) {
    Check(records[k] >= 0 && records[k] < definitions.parameterCount);
    if (k > 0) Check(records[k] > records[k - 1]);
    std::string key = ReadCommand(definitions.Record(records[k]));
    for (char& c : key) c = Upper(c);
    Check(commands.insert(key).second);
    ParameterReading reading;
    reading.index = records[k];
    reading.command = ReadCommand(definitions.Record(records[k]));
    const std::size_t end = replies.find('|', at);
    reading.value = replies.substr(at, end == std::string::npos ? std::string::npos : end - at);
    at = end == std::string::npos ? replies.size() : end + 1;
    reading.status = deviceAnswers || (k % 2 == 0) ? ParameterReading::Status::kRead
                                                   : ParameterReading::Status::kFailed;
    readings.push_back(reading);
  }

  const ConfigurationDiff diff = ConfigurationDiff::Compare(plan, definitions, readings);
  Check(diff.entries.size() == plan.entries.size());
  const std::vector<bool> mask = diff.SendMask();
  Check(mask.size() == diff.entries.size());
  for (std::size_t i = 0; i < diff.entries.size(); ++i) {
    const ConfigurationDiff::Entry& e = diff.entries[i];
    Check(e.section == static_cast<int>(i));
    Check(e.command == plan.entries[i].command);
    Check(mask[i] == (e.kind != ConfigurationDiff::Entry::Kind::kUnchanged));
    if (!plan.entries[i].sendable) {
      Check(e.kind == ConfigurationDiff::Entry::Kind::kNotSendable && e.record < 0);
      continue;
    }
    if (e.record < 0) {
      Check(e.kind == ConfigurationDiff::Entry::Kind::kNotInDefinitions);
      continue;
    }
    Check(e.record < definitions.parameterCount);
    const std::string read = ReadCommand(definitions.Record(e.record));
    Check(!read.empty() && e.command.size() > read.size() && e.command[read.size()] == '=');
    Check(e.command.substr(read.size() + 1) == e.fileValue);
    if (e.kind == ConfigurationDiff::Entry::Kind::kUnchanged)
      Check(e.deviceValue && *e.deviceValue == e.fileValue);
    if (e.kind == ConfigurationDiff::Entry::Kind::kChanged)
      Check(e.deviceValue && *e.deviceValue != e.fileValue);
    (void)e.DeviceText();
    (void)e.FileText();
  }

  const ParameterFilter filter(filterText);
  const auto rows = filter.Apply(definitions);
  Check(rows.size() == definitions.TreeRows().size());
  for (const auto& row : rows) {
    Check(row.records.size() == row.names.size() && row.namesShown.size() == row.names.size());
    if (filter.Empty()) Check(row.shown);
    for (std::size_t k = 0; k < row.names.size(); ++k) {
      if (row.namesShown[k]) Check(row.shown);
      if (row.records[k] < 0) continue;
      const ParameterRecord& r = definitions.Record(row.records[k]);
      Check(FieldText(r.group) == row.group && FieldText(r.name) == row.names[k]);
    }
  }
  return 0;
}
