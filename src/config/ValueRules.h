#pragma once
// What a definition entry allows a value to be, checked before the value is sent:
// a module that refuses it answers only "ERROR", which says nothing of why.
//
// An entry with a range ("Range = min;Max = max;") bounds its value by the kind of
// the entry:
// - text (type 29): the range is the value's length in bytes, as the module counts
//   it ("Range = 1;Max = 16;" takes 1 to 16 characters);
// - decimal (type 10): a whole decimal number, an optional "-" before its digits,
//   between min and max;
// - hexadecimal (type 16): hexadecimal digits only (either case), whose number lies
//   between min and max read as hexadecimal. Numbers of any length are compared
//   (a 128-bit key's range is 32 digits); leading zeros do not count.
// An entry whose range ends are not numbers of its kind, or whose type is none of
// these, bounds nothing here: the module decides. Choices are checked where they are
// picked (ParameterEditor). The check never changes the value.

#include <optional>
#include <string>
#include <string_view>

#include "config/ParameterRecord.h"

namespace zendra {

class ValueRules {
 public:
  // The rule `value` breaks, said for the operator ("Node name takes 1 to 16
  // characters; the value has 17."); nothing when the entry allows it.
  static std::optional<std::string> Broken(const ParameterRecord& record, std::string_view value);
};

}  // namespace zendra
