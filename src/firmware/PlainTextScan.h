#pragma once
// Whether a file is plain text, read in pieces: the check that keeps a text file
// (notes, a listing, an Intel HEX or S-record file chosen by mistake) from being
// sent as a firmware image. Firmware images are binary; every real one holds NUL
// and other control bytes.
//
// Text is: the printable characters 0x20 to 0x7E, TAB, LF and CR, and the letters
// and signs beyond ASCII written as well-formed UTF-8 (what text editors write; a
// byte order mark is such a character too). Every other byte - NUL, the other
// control bytes, DEL, a byte of 0x80 or above that is not part of a well-formed
// UTF-8 character - makes the file binary, as does a character cut off at the end.
// Nothing at all is no text either: an empty file is refused earlier, as invalid.

#include <string_view>

namespace zendra {

class PlainTextScan {
 public:
  // Takes the next piece of the file. false once a byte that is no text has been
  // seen (the rest need not be read).
  bool Feed(std::string_view piece);
  // Every byte fed was text, at least one was fed, and no character was left
  // unfinished.
  bool AllText() const { return !binary_ && bytes_ > 0 && pending_ == 0; }

  // The whole text at once.
  static bool IsPlainText(std::string_view bytes);

 private:
  bool binary_ = false;
  unsigned long long bytes_ = 0;
  // Continuation bytes still due for the UTF-8 character under way, and the range
  // the next one must lie in (the first continuation byte is narrower for some
  // leading bytes: no overlong forms, no surrogates, nothing above U+10FFFF).
  int pending_ = 0;
  unsigned char low_ = 0x80;
  unsigned char high_ = 0xBF;
};

}  // namespace zendra
