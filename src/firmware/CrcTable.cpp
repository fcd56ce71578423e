#include "firmware/CrcTable.h"

namespace zendra {

void CrcTable::Fill() {
  for (unsigned i = 0; i < entries_.size(); ++i) {
    unsigned value = i << 8;
    for (int bit = 0; bit < 8; ++bit) {
      const bool carry = (value & 0x8000u) != 0;
      value = (value << 1) & 0xFFFFu;
      if (carry) value ^= kPolynomial;
    }
    entries_[i] = static_cast<std::uint16_t>(value);
  }
}

std::uint16_t CrcTable::Compute(std::span<const std::uint8_t> bytes) const {
  unsigned crc = 0;
  for (const std::uint8_t byte : bytes) {
    crc = entries_[((crc >> 8) ^ byte) & 0xFFu] ^ ((crc << 8) & 0xFFFFu);
  }
  return static_cast<std::uint16_t>(crc);
}

}  // namespace zendra
