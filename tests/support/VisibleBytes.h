#pragma once
// Reads a traffic log's text back into the bytes it shows: printable characters
// as they stand, control bytes by their names in angle brackets (<CR>, <XON>, ...),
// anything else as <0xNN>. The names are restated here, not taken from the log's
// formatter, so that a changed name is caught. Nothing when the text is no such
// rendering (an unknown name, a stray '<' or a byte outside printable ASCII).

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace zendra::test {

inline std::optional<std::string> BytesOfVisible(std::string_view text) {
  static constexpr const char* kNames[32] = {
      "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",   "TAB", "LF",
      "VT",  "FF",  "CR",  "SO",  "SI",  "DLE", "XON", "DC2", "XOFF", "DC4", "NAK",
      "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",   "US",
  };
  std::string bytes;
  std::size_t at = 0;
  while (at < text.size()) {
    const char c = text[at];
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) return {};
    if (c != '<') {
      bytes += c;
      ++at;
      continue;
    }
    const std::size_t close = text.find('>', at);
    if (close == std::string_view::npos) return {};
    const std::string_view name = text.substr(at + 1, close - at - 1);
    at = close + 1;
    if (name == "DEL") {
      bytes += '\x7F';
      continue;
    }
    if (name.size() == 4 && name.substr(0, 2) == "0x") {
      char* end = nullptr;
      const std::string hex(name.substr(2));
      const long value = std::strtol(hex.c_str(), &end, 16);
      if (*end != '\0') return {};
      // Only what has no name and no plain form is written in hex.
      if (value != '<' && value < 0x80) return {};
      bytes += static_cast<char>(value);
      continue;
    }
    bool known = false;
    for (int i = 0; i < 32; ++i) {
      if (name == kNames[i]) {
        bytes += static_cast<char>(i);
        known = true;
        break;
      }
    }
    if (!known) return {};
  }
  return bytes;
}

}  // namespace zendra::test
