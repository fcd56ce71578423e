#include "config/ValueRules.h"

#include <charconv>

namespace zendra {

namespace {

bool IsDecimalDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) {
  return IsDecimalDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// A whole number of either radix as a sign and its digits without leading zeros
// (upper case), so that two of them compare by length and then by text.
struct BigNumber {
  bool negative = false;
  std::string digits;  // "0" for zero
};

std::optional<BigNumber> ReadNumber(std::string_view text, bool hex) {
  BigNumber number;
  if (!hex && !text.empty() && text.front() == '-') {
    number.negative = true;
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  for (char c : text)
    if (hex ? !IsHexDigit(c) : !IsDecimalDigit(c)) return std::nullopt;
  const std::size_t first = text.find_first_not_of('0');
  std::string digits(first == std::string_view::npos ? std::string_view("0") : text.substr(first));
  for (char& c : digits)
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
  number.digits = std::move(digits);
  if (number.digits == "0") number.negative = false;
  return number;
}

// -1, 0, 1 as a is less than, equal to or greater than b.
int Compare(const BigNumber& a, const BigNumber& b) {
  if (a.negative != b.negative) return a.negative ? -1 : 1;
  int magnitude = 0;
  if (a.digits.size() != b.digits.size())
    magnitude = a.digits.size() < b.digits.size() ? -1 : 1;
  else if (a.digits != b.digits)
    magnitude = a.digits < b.digits ? -1 : 1;
  return a.negative ? -magnitude : magnitude;
}

std::optional<std::size_t> ReadLength(std::string_view text) {
  std::size_t length = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), length);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return length;
}

}  // namespace

std::optional<std::string> ValueRules::Broken(const ParameterRecord& record,
                                              std::string_view value) {
  const std::string_view minText = FieldText(record.rangeMin);
  const std::string_view maxText = FieldText(record.rangeMax);
  if (minText.empty()) return std::nullopt;
  const std::string name(FieldText(record.name));
  const std::string range = std::string(minText) + " to " + std::string(maxText);

  if (record.type == ParameterRecord::kTypeString) {
    const auto least = ReadLength(minText);
    const auto most = ReadLength(maxText);
    if (!least || !most) return std::nullopt;
    if (value.size() >= *least && value.size() <= *most) return std::nullopt;
    return name + " takes " + range + " characters; the value has " + std::to_string(value.size()) +
           ".";
  }

  const bool hex = record.type == ParameterRecord::kTypeHex;
  if (!hex && record.type != ParameterRecord::kTypeDecimal) return std::nullopt;
  const auto least = ReadNumber(minText, hex);
  const auto most = ReadNumber(maxText, hex);
  if (!least || !most) return std::nullopt;
  const char* kind = hex ? "a hexadecimal number" : "a whole decimal number";
  const auto number = ReadNumber(value, hex);
  if (!number) {
    const std::string shown =
        value.empty() ? "the value is empty" : "'" + std::string(value) + "' is not";
    return name + " takes " + kind + " from " + range + "; " + shown + ".";
  }
  if (Compare(*number, *least) >= 0 && Compare(*number, *most) <= 0) return std::nullopt;
  return name + " takes " + kind + " from " + range + "; " + std::string(value) +
         " is out of that range.";
}

}  // namespace zendra
