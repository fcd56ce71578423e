#include "firmware/PlainTextScan.h"

namespace zendra {

bool PlainTextScan::Feed(std::string_view piece) {
  if (binary_) return false;
  for (const char c : piece) {
    const auto byte = static_cast<unsigned char>(c);
    ++bytes_;
    if (pending_ > 0) {
      if (byte < low_ || byte > high_) {
        binary_ = true;
        return false;
      }
      --pending_;
      low_ = 0x80;
      high_ = 0xBF;
      continue;
    }
    if ((byte >= 0x20 && byte <= 0x7E) || byte == '\t' || byte == '\n' || byte == '\r') continue;
    // The leading byte of a UTF-8 character says how many continuation bytes follow.
    if (byte >= 0xC2 && byte <= 0xDF) {
      pending_ = 1;
    } else if (byte >= 0xE0 && byte <= 0xEF) {
      pending_ = 2;
      if (byte == 0xE0) low_ = 0xA0;   // no overlong form
      if (byte == 0xED) high_ = 0x9F;  // no surrogate
    } else if (byte >= 0xF0 && byte <= 0xF4) {
      pending_ = 3;
      if (byte == 0xF0) low_ = 0x90;   // no overlong form
      if (byte == 0xF4) high_ = 0x8F;  // nothing above U+10FFFF
    } else {
      binary_ = true;
      return false;
    }
  }
  return true;
}

bool PlainTextScan::IsPlainText(std::string_view bytes) {
  PlainTextScan scan;
  scan.Feed(bytes);
  return scan.AllText();
}

}  // namespace zendra
