#include <gtest/gtest.h>

#include <string>

#include "firmware/CrcTable.h"
#include "ScriptedBootloader.h"

namespace zendra::test {
namespace {

TEST(CrcTableTest, CheckValueOfTheDigitsOneToNineIs0x31C3) {
  CrcTable table;
  table.Fill();
  const std::string digits = "123456789";
  EXPECT_EQ(table.Compute({reinterpret_cast<const std::uint8_t*>(digits.data()), digits.size()}),
            0x31C3);
}

TEST(CrcTableTest, EveryEntryIsTheBitwiseCrcOfItsIndexShiftedIntoTheHighByte) {
  CrcTable table;
  table.Fill();
  EXPECT_EQ(table[0], 0x0000);
  EXPECT_EQ(table[1], 0x1021);
  EXPECT_EQ(table[255], 0x1EF0);
  for (unsigned i = 0; i < 256; ++i) {
    const std::uint8_t byte = static_cast<std::uint8_t>(i);
    // A one-byte message's CRC from 0 is exactly table[byte].
    EXPECT_EQ(table[i], BitwiseCrc(&byte, 1)) << i;
  }
}

TEST(CrcTableTest, TableCrcOfAPaddedBlockMatchesTheBitwiseCrc) {
  CrcTable table;
  table.Fill();
  std::uint8_t block[128];
  for (int i = 0; i < 128; ++i) block[i] = i < 5 ? static_cast<std::uint8_t>(0xF0 + i) : 0x26;
  EXPECT_EQ(table.Compute(block), BitwiseCrc(block, sizeof block));
}

TEST(CrcTableTest, UnfilledTableSaysSo) {
  CrcTable table;
  EXPECT_FALSE(table.Filled());
  table.Fill();
  EXPECT_TRUE(table.Filled());
}

}  // namespace
}  // namespace zendra::test
