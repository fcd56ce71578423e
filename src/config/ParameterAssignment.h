#pragma once
// A parameter of the definition table as an operator names it, and the device
// value a typed value stands for: `zendra-cli get` and `set`, and the production
// line's --set NAME=VALUE, take parameters and values the same way.
//
// A name is "Group/Name" or the parameter's name alone; one parameter of one group
// (a group that appears twice may list it twice) is one parameter, the last record
// of it counting, as the tree's selection does. A choice parameter takes the text
// of a choice or the device value of one; the value sent is the device value.

#include <optional>
#include <string>
#include <utility>

#include "config/ParameterDefinitions.h"

namespace zendra {

// "Group/Name" of a record.
std::string ParameterPath(const ParameterRecord& record);

struct ParameterLookup {
  int record = -1;    // the record; -1 when there is none (see `error`)
  std::string error;  // "unknown parameter: X", "ambiguous parameter X: name it as one of ..."
};
ParameterLookup FindParameter(const ParameterDefinitions& definitions, const std::string& name);

struct Assignment {
  int record = -1;    // the parameter to write; -1 when the assignment is refused
  std::string value;  // the device value to write
  std::string error;  // why it was refused (the value or parameter named)
};
// NAME and VALUE as the operator typed them: the parameter, which must be
// writable, and the device value. Nothing is sent.
Assignment ResolveAssignment(const ParameterDefinitions& definitions, const std::string& name,
                             const std::string& value);

// "NAME=VALUE" split at its first "="; nullopt when there is none or NAME is empty.
std::optional<std::pair<std::string, std::string>> SplitAssignment(const std::string& text);

}  // namespace zendra
