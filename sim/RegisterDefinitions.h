#pragma once
// The module's registers as a definition file (.zmcon) describes them.
//
// An entry reads "[group/name]type;" followed by optional "Combo_list = ...;" and
// "Value_list = ...;" (decimal type only, and only when the type field has no "("),
// an optional range "Range = min;Max = max;", a description "<...>;" and the command
// "Command = AT...;". A keyed value starts two characters after its "=" (the "=" and
// one blank). Text outside "[...]" entries is comment.
//
// The module only needs what decides its answers: the command, whether it can be
// written, and which values it accepts.

#include <string>
#include <string_view>
#include <vector>

namespace zendra::sim {

struct RegisterDefinition {
  enum class Kind { Unknown, Decimal, Hex, String, ReadOnly };

  std::string group;
  std::string name;
  Kind kind = Kind::Unknown;
  std::vector<std::string> choices;  // Combo_list
  std::vector<std::string> values;   // Value_list
  std::string rangeMin;              // empty: no range
  std::string rangeMax;
  std::string description;
  std::string command;  // read command without line end, e.g. "ATS02"

  bool HasRange() const { return !rangeMin.empty(); }
  // What the register holds after a factory default.
  std::string InitialValue() const;
  // Whether a write of `value` is accepted.
  bool Accepts(const std::string& value) const;
};

std::vector<RegisterDefinition> ParseDefinitions(std::string_view text);

// Reads and parses a file; false (with `error`) when it cannot be read.
bool LoadDefinitionFile(const std::string& path, std::vector<RegisterDefinition>& out,
                        std::string& error);

// The registers of a module started without a definition file.
std::string_view BuiltInDefinitions();

}  // namespace zendra::sim
