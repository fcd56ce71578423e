// The reading of single-byte texts: UTF-8 kept as it is, anything else byte by byte
// as Latin-1, so that no byte is lost or replaced.

#include <gmock/gmock.h>

#include "base/SingleByteText.h"

namespace zendra {
namespace {

TEST(SingleByteText, KeepsUtf8AndReadsEveryOtherTextAsLatin1) {
  struct Case {
    std::string text, utf8;
  };
  for (const Case& c : {
           Case{"", ""}, Case{"Zendra1", "Zendra1"},
           Case{"Caf\xC3\xA9", "Caf\xC3\xA9"},                // UTF-8 é stays
           Case{"\xE2\x82\xAC 5", "\xE2\x82\xAC 5"},          // UTF-8 € stays
           Case{"Caf\xE9", "Caf\xC3\xA9"},                    // Latin-1 é
           Case{"\xFF\x80", "\xC3\xBF\xC2\x80"},              // top and bottom of the upper half
           Case{"Caf\xC3", "Caf\xC3\x83"},                    // a UTF-8 lead cut off at the end
           Case{"\xC0\xAF", "\xC3\x80\xC2\xAF"},              // an overlong form is no UTF-8
           Case{"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xC2\x80"},  // nor is a surrogate
           Case{"\xC3\xA9\xE9", "\xC3\x83\xC2\xA9\xC3\xA9"},  // one stray byte: all Latin-1
       }) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(SingleByteTextAsUtf8(c.text), c.utf8);
    // Both readings give the same characters.
    const std::u32string chars = ReadSingleByteText(c.text);
    EXPECT_EQ(DecodeUtf8(c.utf8), chars);
  }
  EXPECT_EQ(ReadSingleByteText("a\xE9"), U"a\u00E9");
  EXPECT_EQ(DecodeUtf8("a\xE9"), std::nullopt);
}

}  // namespace
}  // namespace zendra
