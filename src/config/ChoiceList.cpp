#include "config/ChoiceList.h"

#include <climits>

namespace zendra {

std::vector<std::string> ChoiceList::Split(std::string_view list) {
  std::vector<std::string> pieces;
  std::size_t from = 0;
  for (;;) {
    const std::size_t colon = list.find(':', from);
    if (colon == std::string_view::npos) break;
    pieces.emplace_back(list.substr(from, colon - from));
    from = colon + 1;
  }
  pieces.emplace_back(list.substr(from));
  return pieces;
}

std::vector<std::string> ChoiceList::Choices(std::string_view comboList) {
  std::vector<std::string> choices = Split(comboList);
  if (choices.size() > kMaxChoices) choices.resize(kMaxChoices);
  for (auto& c : choices)
    if (c.size() > kMaxTextLength) c.resize(kMaxTextLength);
  return choices;
}

std::vector<std::string> ChoiceList::ValueEntries(std::string_view valueList, std::size_t n) {
  std::vector<std::string> entries;
  if (n == 0) return entries;
  std::size_t from = 0;
  for (std::size_t k = 0; k + 1 < n; ++k) {
    const std::size_t colon = valueList.find(':', from);
    if (colon == std::string_view::npos) {
      // No piece for this entry: it stays empty, and the separators that are left
      // still belong to the last entry.
      entries.emplace_back();
      continue;
    }
    entries.emplace_back(valueList.substr(from, colon - from));
    from = colon + 1;
  }
  entries.emplace_back(valueList.substr(from));
  return entries;
}

long long ChoiceList::ReadInteger(std::string_view text) {
  std::size_t i = 0;
  auto blank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  while (i < text.size() && blank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const int digit = text[i] - '0';
    if (value > (LLONG_MAX - digit) / 10) return negative ? LLONG_MIN : LLONG_MAX;
    value = value * 10 + digit;
  }
  return negative ? -value : value;
}

std::optional<int> ChoiceList::SelectedIndex(const std::vector<std::string>& valueEntries,
                                             bool hasValueList, std::string_view reply,
                                             std::size_t choiceCount) {
  if (hasValueList) {
    int index = 0;
    for (std::size_t k = 0; k < valueEntries.size() && k < choiceCount; ++k)
      if (valueEntries[k] == reply) index = static_cast<int>(k);
    return index;
  }
  const long long k = ReadInteger(reply);
  if (k < 0 || static_cast<unsigned long long>(k) >= choiceCount) return std::nullopt;
  return static_cast<int>(k);
}

std::string ChoiceList::SaveValue(std::string_view valueList, int choiceIndex) {
  if (valueList.empty()) return std::to_string(choiceIndex);
  const std::vector<std::string> pieces = Split(valueList);
  if (choiceIndex < 0) return pieces.front();
  const auto i = static_cast<std::size_t>(choiceIndex);
  return i < pieces.size() ? pieces[i] : pieces.back();
}

bool ChoiceList::WithinLimits(std::string_view list) {
  std::size_t pieces = 1;
  std::size_t length = 0;
  for (char c : list) {
    if (c == ':') {
      if (++pieces > kMaxChoices) return false;
      length = 0;
    } else if (++length > kMaxTextLength) {
      return false;
    }
  }
  return true;
}

}  // namespace zendra
