#include "config/ParameterAssignment.h"

#include <vector>

#include "config/ChoiceList.h"

namespace zendra {

std::string ParameterPath(const ParameterRecord& r) { return std::string(r.group) + "/" + r.name; }

ParameterLookup FindParameter(const ParameterDefinitions& defs, const std::string& name) {
  std::vector<int> matches;
  const std::size_t slash = name.find('/');
  if (slash != std::string::npos) {
    const std::string group = name.substr(0, slash), parameter = name.substr(slash + 1);
    for (int i = 0; i < defs.parameterCount; ++i)
      if (group == defs.Record(i).group && parameter == defs.Record(i).name) matches.push_back(i);
  }
  if (matches.empty()) {
    for (int i = 0; i < defs.parameterCount; ++i)
      if (name == defs.Record(i).name) matches.push_back(i);
  }
  ParameterLookup lookup;
  if (matches.empty()) {
    lookup.error = "unknown parameter: " + name;
    return lookup;
  }
  for (int i : matches) {
    if (ParameterPath(defs.Record(i)) != ParameterPath(defs.Record(matches.front()))) {
      std::string all;
      for (int j : matches) all += (all.empty() ? "" : ", ") + ParameterPath(defs.Record(j));
      lookup.error = "ambiguous parameter " + name + ": name it as one of " + all;
      return lookup;
    }
  }
  lookup.record = matches.back();
  return lookup;
}

Assignment ResolveAssignment(const ParameterDefinitions& defs, const std::string& name,
                             const std::string& value) {
  Assignment result;
  const ParameterLookup lookup = FindParameter(defs, name);
  if (lookup.record < 0) {
    result.error = lookup.error;
    return result;
  }
  const ParameterRecord& r = defs.Record(lookup.record);
  if (r.type == ParameterRecord::kTypeGet) {
    result.error = ParameterPath(r) + " is read-only";
    return result;
  }
  result.value = value;
  if (r.comboList[0] != '\0') {
    const std::vector<std::string> choices = ChoiceList::Choices(r.comboList);
    std::optional<std::string> resolved;
    for (std::size_t i = 0; i < choices.size() && !resolved; ++i)
      if (choices[i] == value) resolved = ChoiceList::SaveValue(r.valueList, static_cast<int>(i));
    for (std::size_t i = 0; i < choices.size() && !resolved; ++i)
      if (ChoiceList::SaveValue(r.valueList, static_cast<int>(i)) == value) resolved = value;
    if (!resolved) {
      std::string list;
      for (std::size_t i = 0; i < choices.size(); ++i)
        list += (i ? ", " : "") + choices[i] + " (" +
                ChoiceList::SaveValue(r.valueList, static_cast<int>(i)) + ")";
      result.error = "\"" + value + "\" is not a choice of " + ParameterPath(r) + ": " + list;
      return result;
    }
    result.value = *resolved;
  }
  result.record = lookup.record;
  return result;
}

std::optional<std::pair<std::string, std::string>> SplitAssignment(const std::string& text) {
  const std::size_t eq = text.find('=');
  if (eq == std::string::npos || eq == 0) return std::nullopt;
  return std::make_pair(text.substr(0, eq), text.substr(eq + 1));
}

}  // namespace zendra
