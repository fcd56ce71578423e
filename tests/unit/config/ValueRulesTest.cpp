// What a definition entry's range allows a value to be before it is sent.

#include <gmock/gmock.h>

#include "config/ValueRules.h"

namespace zendra {
namespace {

ParameterRecord Entry(std::int32_t type, std::string_view min, std::string_view max,
                      std::string_view name = "P") {
  ParameterRecord record{};
  record.type = type;
  CopyField(record.name, name);
  CopyField(record.rangeMin, min);
  CopyField(record.rangeMax, max);
  return record;
}

using Rules = ValueRules;

TEST(ValueRulesTest, TextIsBoundedByItsLengthInBytesAtBothEnds) {
  const ParameterRecord name = Entry(ParameterRecord::kTypeString, "1", "16", "Node name");
  EXPECT_EQ(Rules::Broken(name, "N"), std::nullopt);
  EXPECT_EQ(Rules::Broken(name, std::string(16, 'x')), std::nullopt);
  EXPECT_EQ(Rules::Broken(name, std::string(17, 'x')),
            "Node name takes 1 to 16 characters; the value has 17.");
  EXPECT_EQ(Rules::Broken(name, ""), "Node name takes 1 to 16 characters; the value has 0.");
  // The module counts bytes: eight two-byte letters fill sixteen.
  EXPECT_EQ(Rules::Broken(name, "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"),
            std::nullopt);
  EXPECT_NE(
      Rules::Broken(name, "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9x"),
      std::nullopt);
}

TEST(ValueRulesTest, DecimalsAreWholeNumbersWithinTheRangeNegativeOnesIncluded) {
  const ParameterRecord channel = Entry(ParameterRecord::kTypeDecimal, "11", "26", "Channel");
  EXPECT_EQ(Rules::Broken(channel, "11"), std::nullopt);
  EXPECT_EQ(Rules::Broken(channel, "26"), std::nullopt);
  EXPECT_EQ(Rules::Broken(channel, "011"), std::nullopt) << "leading zeros do not count";
  EXPECT_EQ(Rules::Broken(channel, "27"),
            "Channel takes a whole decimal number from 11 to 26; 27 is out of that range.");
  EXPECT_EQ(Rules::Broken(channel, "10"),
            "Channel takes a whole decimal number from 11 to 26; 10 is out of that range.");
  EXPECT_EQ(Rules::Broken(channel, "1a"),
            "Channel takes a whole decimal number from 11 to 26; '1a' is not.");
  EXPECT_EQ(Rules::Broken(channel, ""),
            "Channel takes a whole decimal number from 11 to 26; the value is empty.");
  for (const char* odd : {"+12", " 12", "12 ", "1.5", "-", "0x0C"})
    EXPECT_NE(Rules::Broken(channel, odd), std::nullopt) << odd;

  const ParameterRecord offset = Entry(ParameterRecord::kTypeDecimal, "-8", "8");
  for (const char* inside : {"-8", "-0", "0", "8", "-1"})
    EXPECT_EQ(Rules::Broken(offset, inside), std::nullopt) << inside;
  for (const char* outside : {"-9", "9", "-10", "100000000000000000000000"})
    EXPECT_NE(Rules::Broken(offset, outside), std::nullopt) << outside;
}

TEST(ValueRulesTest, HexadecimalsOfAnyLengthCompareAsNumbersInEitherCase) {
  const ParameterRecord pan = Entry(ParameterRecord::kTypeHex, "0000", "FFFE", "PAN ID");
  EXPECT_EQ(Rules::Broken(pan, "1a2B"), std::nullopt);
  EXPECT_EQ(Rules::Broken(pan, "fffe"), std::nullopt);
  EXPECT_EQ(Rules::Broken(pan, "0"), std::nullopt) << "no width is asked for";
  EXPECT_EQ(Rules::Broken(pan, "FFFF"),
            "PAN ID takes a hexadecimal number from 0000 to FFFE; FFFF is out of that range.");
  EXPECT_EQ(Rules::Broken(pan, "0FFFE"), std::nullopt);
  EXPECT_EQ(Rules::Broken(pan, "-1"),
            "PAN ID takes a hexadecimal number from 0000 to FFFE; '-1' is not.");
  EXPECT_NE(Rules::Broken(pan, "12G4"), std::nullopt);

  const ParameterRecord key =
      Entry(ParameterRecord::kTypeHex, std::string(32, '0'), std::string(32, 'F'));
  EXPECT_EQ(Rules::Broken(key, std::string(32, 'f')), std::nullopt);
  EXPECT_NE(Rules::Broken(key, "1" + std::string(32, '0')), std::nullopt) << "129 bits";
}

TEST(ValueRulesTest, WhatTheRangeDoesNotSayIsLeftToTheModule) {
  // No range, a type without one, range ends that are no numbers of the kind.
  EXPECT_EQ(Rules::Broken(Entry(ParameterRecord::kTypeString, "", ""), std::string(300, 'x')),
            std::nullopt);
  EXPECT_EQ(Rules::Broken(Entry(ParameterRecord::kTypeUnknown, "1", "2"), "7"), std::nullopt);
  EXPECT_EQ(Rules::Broken(Entry(ParameterRecord::kTypeDecimal, "low", "high"), "7"), std::nullopt);
  EXPECT_EQ(Rules::Broken(Entry(ParameterRecord::kTypeDecimal, "1", ""), "7"), std::nullopt);
  EXPECT_EQ(Rules::Broken(Entry(ParameterRecord::kTypeString, "-1", "4"), "abc"), std::nullopt);
  EXPECT_EQ(Rules::Broken(Entry(ParameterRecord::kTypeHex, "0x00", "0xFF"), "7"), std::nullopt);
}

}  // namespace
}  // namespace zendra
