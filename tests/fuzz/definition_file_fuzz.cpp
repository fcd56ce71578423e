// libFuzzer target: definition files are outside input (the program folder, the
// update server). Parses arbitrary bytes as a definition file, builds the tree
// rows, and runs every record through what selection and Save derive from it (the
// value check of its range included), in
// both local and remote mode. Checks that no field lost its NUL and no capacity
// was exceeded; ASan and UBSan catch every read or write past a table.
//
//   cmake --preset fuzz && cmake --build build-fuzz --target definition_file_fuzz
//   ./build-fuzz/bin/definition_file_fuzz -max_total_time=60

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "config/ChoiceList.h"
#include "config/DefinitionFileSearch.h"
#include "config/ParameterDefinitions.h"
#include "config/ParameterEditor.h"
#include "config/ValueRules.h"

namespace {

using namespace zendra;

template <std::size_t N>
void CheckTerminated(const char (&field)[N]) {
  if (std::memchr(field, '\0', N) == nullptr) __builtin_trap();
}

void CheckRecords(const ParameterDefinitions& defs) {
  if (defs.parameterCount < 0 || defs.parameterCount > ParameterDefinitions::kMaxRecords)
    __builtin_trap();
  for (int i = 0; i < defs.parameterCount; ++i) {
    const ParameterRecord& r = defs.Record(i);
    CheckTerminated(r.group);
    CheckTerminated(r.name);
    CheckTerminated(r.comboList);
    CheckTerminated(r.valueList);
    CheckTerminated(r.rangeMin);
    CheckTerminated(r.rangeMax);
    CheckTerminated(r.description);
    CheckTerminated(r.command);
    const std::string_view command = FieldText(r.command);
    if (command.size() < 2 || command.substr(command.size() - 2) != "\r\n") __builtin_trap();

    // What a selection and a Save make of the record.
    const auto choices = ChoiceList::Choices(FieldText(r.comboList));
    if (choices.size() > ChoiceList::kMaxChoices) __builtin_trap();
    const auto entries = ChoiceList::ValueEntries(FieldText(r.valueList), choices.size());
    if (entries.size() != choices.size()) __builtin_trap();
    const auto index = ChoiceList::SelectedIndex(entries, r.valueList[0] != '\0',
                                                 FieldText(r.rangeMin), choices.size());
    if (index && (*index < 0 || static_cast<std::size_t>(*index) >= choices.size()))
      __builtin_trap();
    std::vector<int> data(choices.size());
    for (std::size_t k = 0; k < data.size(); ++k) data[k] = static_cast<int>(k);
    ParameterEditor::FillChoiceBox(choices, data, static_cast<int>(choices.size()),
                                   index.value_or(-1));
    ChoiceList::SaveValue(FieldText(r.valueList), index.value_or(0));
    ParameterEditor::SetCommand(std::string(command), FieldText(r.rangeMax).data());

    // The check before a Save reads the range ends as numbers or lengths of any size;
    // an end checked against its own entry is never "not a number" when it was read.
    for (std::string_view value : {FieldText(r.rangeMin), FieldText(r.rangeMax),
                                   FieldText(r.description).substr(0, 80), FieldText(r.name)}) {
      if (const auto rule = ValueRules::Broken(r, value); rule && rule->empty()) __builtin_trap();
    }
  }
}

void CheckTree(const ParameterDefinitions& defs) {
  const auto rows = defs.TreeRows();
  if (rows.size() > static_cast<std::size_t>(ParameterNameTable::kRows)) __builtin_trap();
  for (const auto& row : rows)
    if (row.names.size() > static_cast<std::size_t>(ParameterNameTable::kParametersPerRow))
      __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The table is 3 MB: one for the whole run, as the page has one for its life.
  static ParameterDefinitions defs;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (bool remote : {false, true}) {
    defs.ParseDefinitionText(bytes, remote);
    defs.BuildNameTable();
    CheckRecords(defs);
    CheckTree(defs);
  }
  // The same bytes as a file name for the fallback search.
  const std::string_view name = bytes.substr(0, 255);
  DefinitionFileSearch::VersionScore(name);
  DefinitionFileSearch::Choose({std::string(name)}, name.substr(0, name.size() / 2));
  return 0;
}
