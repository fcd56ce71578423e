#pragma once
// The ":"-separated lists of a choice parameter: the choices shown to the operator
// ("Combo_list") and the device values that belong to them ("Value_list").
//
// The editor reads the two lists in two different ways, and both are kept:
// - on selection the value list is cut into exactly as many entries as there are
//   choices (missing entries empty, surplus pieces left joined in the last entry),
//   and the device's reply is looked up among those entries;
// - on saving, choice i is written as the i-th piece of the value list, or as its
//   last piece when the list is shorter.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zendra {

class ChoiceList {
 public:
  // At most this many choices, each at most kMaxTextLength characters; a
  // definition entry beyond that is not loaded (docs/config-limits.md).
  static constexpr std::size_t kMaxChoices = 20;
  static constexpr std::size_t kMaxTextLength = 63;

  // Every piece between the ":" separators, in order: (number of ":") + 1 pieces
  // (an empty list gives one empty piece).
  static std::vector<std::string> Split(std::string_view list);

  // The choices of a combo list, at most kMaxChoices of at most kMaxTextLength
  // characters (longer lists never get into the table; this bound only keeps the
  // editor from trusting that).
  static std::vector<std::string> Choices(std::string_view comboList);

  // The value list cut into exactly n entries for the reply look-up: entry k < n-1
  // is the piece before the k-th separator (empty when there is none), entry n-1 is
  // all the text after the last separator used.
  static std::vector<std::string> ValueEntries(std::string_view valueList, std::size_t n);

  // The index the choice box selects for a device reply: with a value list the last
  // entry equal to the reply, else 0; without one the reply read as a decimal
  // integer (leading blanks and a sign allowed, 0 when no digits). nullopt when
  // that number is not a valid index (the box then shows no selection).
  static std::optional<int> SelectedIndex(const std::vector<std::string>& valueEntries,
                                          bool hasValueList, std::string_view reply,
                                          std::size_t choiceCount);

  // The reply as the standard text-to-integer conversion reads it, saturated
  // instead of overflowing.
  static long long ReadInteger(std::string_view text);

  // The value Save writes for choice i: the i-th piece of the value list (its last
  // piece when it has fewer), or i in decimal without a value list.
  static std::string SaveValue(std::string_view valueList, int choiceIndex);

  // Whether a list keeps within kMaxChoices pieces of kMaxTextLength characters.
  static bool WithinLimits(std::string_view list);
};

}  // namespace zendra
