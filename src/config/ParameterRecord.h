#pragma once
// One configuration parameter as a definition file describes it.
//
// The text fields are fixed single-byte arrays, NUL-terminated, so each holds one
// character less than its width. The widths are part of what a definition file
// may contain (docs/config-limits.md says what happens to a longer text); keeping
// them fixed means a record is a plain value that is zero-filled at every load.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace zendra {

struct ParameterRecord {
  static constexpr std::size_t kGroupWidth = 32;
  static constexpr std::size_t kNameWidth = 128;
  static constexpr std::size_t kListWidth = 256;
  static constexpr std::size_t kRangeWidth = 64;
  static constexpr std::size_t kDescriptionWidth = 2048;
  static constexpr std::size_t kCommandWidth = 128;

  // Type codes and what they mean to the editor.
  static constexpr std::int32_t kTypeUnknown = 0;   // edited as free text, Save allowed
  static constexpr std::int32_t kTypeDecimal = 10;  // the only type with choices
  static constexpr std::int32_t kTypeHex = 16;
  static constexpr std::int32_t kTypeString = 29;
  static constexpr std::int32_t kTypeGet = 39;  // read-only: shown, never saved

  char group[kGroupWidth];
  char name[kNameWidth];
  std::int32_t type;
  char comboList[kListWidth];  // choices shown to the operator, ":"-separated
  char valueList[kListWidth];  // device values of the choices, ":"-separated
  char rangeMin[kRangeWidth];  // empty: no range
  char rangeMax[kRangeWidth];
  char description[kDescriptionWidth];
  char command[kCommandWidth];  // the read command, stored with "\r\n" appended
};

// Copies `text` into a fixed field, cut to width - 1 characters, NUL-terminated.
// Returns false when the text had to be cut.
template <std::size_t N>
bool CopyField(char (&field)[N], std::string_view text) {
  const std::size_t n = text.size() < N ? text.size() : N - 1;
  // An empty view may carry no storage at all; memcpy must not see its null pointer.
  if (n > 0) std::memcpy(field, text.data(), n);
  field[n] = '\0';
  return n == text.size();
}

// The text of a field up to its NUL (never past the array).
template <std::size_t N>
std::string_view FieldText(const char (&field)[N]) {
  const void* nul = std::memchr(field, '\0', N);
  return std::string_view(field, nul ? static_cast<const char*>(nul) - field : N);
}

}  // namespace zendra
