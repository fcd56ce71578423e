#pragma once
// The host's XMODEM-CRC sender as these tests script it, written from the wire
// format (restated here on purpose rather than taken from the module's code):
// SOH, block number, its complement, 128 payload bytes padded with '&', CRC-16/
// XMODEM high and low.

#include <cstdint>
#include <string>

namespace zendra::test::modsim {

constexpr char kSoh = 0x01, kEtx = 0x03, kEot = 0x04, kAck = 0x06, kNak = 0x15, kCan = 0x18;

inline std::uint16_t Crc(const std::string& data) {
  std::uint16_t crc = 0;
  for (char ch : data) {
    crc ^= static_cast<std::uint16_t>(static_cast<unsigned char>(ch) << 8);
    for (int i = 0; i < 8; ++i)
      crc = (crc & 0x8000) ? ((crc << 1) ^ 0x1021) & 0xFFFF : (crc << 1) & 0xFFFF;
  }
  return crc;
}

// Block `ordinal` of `image`, padded with '&'.
inline std::string Block(int ordinal, const std::string& image) {
  std::string payload = image.substr(static_cast<std::size_t>(ordinal - 1) * 128, 128);
  payload.resize(128, '&');
  auto number = static_cast<char>(ordinal & 0xFF);
  std::uint16_t crc = Crc(payload);
  return std::string{kSoh, number, static_cast<char>(~number)} + payload +
         std::string{static_cast<char>(crc >> 8), static_cast<char>(crc & 0xFF)};
}

// An image as the bootloader keeps it: the ebl header record ("EBL" and NUL) first.
inline std::string EblImage(const std::string& body) { return std::string("EBL\0", 4) + body; }

// The image as the receiver keeps it: whole blocks, the last one padded.
inline std::string Padded(std::string image) {
  image.resize((image.size() + 127) / 128 * 128, '&');
  return image;
}

}  // namespace zendra::test::modsim
