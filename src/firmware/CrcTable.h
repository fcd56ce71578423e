#pragma once
// The CRC-16 of the bootloader's blocks (CRC-16/XMODEM: polynomial 0x1021, initial
// value 0, no reflection, no final XOR) computed with a 256-entry table.
//
// The modules' bootloader (MenuBootloader) holds one table, filled when it is
// made; the transfers only read it. A table that was never filled is all zero and
// gives CRC 0 for every block, which the bootloader refuses: Fill must not be
// skipped.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace zendra {

class CrcTable {
 public:
  static constexpr std::uint16_t kPolynomial = 0x1021;

  // Entry i: i shifted left by 8, then eight times shifted left by one bit with
  // 0x1021 XORed in whenever a 1 bit leaves the 16-bit word.
  void Fill();
  bool Filled() const { return entries_[1] != 0; }

  // crc = table[(crc >> 8) ^ byte] ^ ((crc << 8) & 0xFFFF), from 0, over all bytes.
  std::uint16_t Compute(std::span<const std::uint8_t> bytes) const;

  std::uint16_t operator[](std::size_t i) const { return entries_[i]; }

 private:
  std::array<std::uint16_t, 256> entries_{};
};

}  // namespace zendra
