// The model table search, the text check and the checks before a local update.

#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>

#include "base/FileAccess.h"
#include "device/Connection.h"
#include "firmware/ImageCheck.h"
#include "firmware/PlainTextScan.h"
#include "support/FakeOperator.h"

namespace zendra::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class ImageCheckTest : public ::testing::Test {
 protected:
  void TearDown() override { std::filesystem::remove(path_); }
  std::string Write(const std::string& bytes) {
    std::ofstream(path_, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path_;
  }
  const std::string path_ =
      (std::filesystem::temp_directory_path() / ("fw-check-" + std::to_string(ProcessNumber()) + ".ebl"))
          .string();
  FakeOperator op_;
};

// `at` bytes of filler, the text, then more filler.
std::string At(std::size_t at, const std::string& text, char filler = 'x') {
  return std::string(at, filler) + text + std::string(400, filler);
}

TEST_F(ImageCheckTest, ModelCodeIsFoundInTableOrderWithinTheFirst255Bytes) {
  const struct { std::string bytes; const char* model; } cases[] = {
      {At(10, "MA21 then MA11"), "MA11"},  // table order, not file order
      {At(0, "MC21X"), "MC21X"},
      {At(251, "MB11"), "MB11"},           // ends at byte 255
      {At(252, "MB11"), ""},               // ends at byte 256
      {At(40, "MC11", '\0'), "MC11"},      // NUL bytes searched as spaces
      {At(4, std::string("MA\0" "11", 5)), ""},
      {At(4, "ma11"), ""},
      {"M", ""},                           // one byte: readable, no code
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FindImageModel(Write(c.bytes)), std::optional<std::string>(c.model)) << c.bytes.substr(0, 20);
  }
  // An empty or missing image is not readable and leaves the examined model alone.
  std::string imageModel = "MB21";
  EXPECT_FALSE(ReadImageModel(Write(""), imageModel));
  EXPECT_FALSE(ReadImageModel("/nonexistent/image.ebl", imageModel));
  EXPECT_EQ(imageModel, "MB21");
}

// An image as a binary file: the filler is no text.
std::string Binary(std::size_t at, const std::string& text) { return At(at, text, '\xFF'); }

TEST_F(ImageCheckTest, LocalCheckRefusesWithTheMessageOfTheFirstFailingCheck) {
  constexpr const char* kLine = "ERROR: Please change the baudrate to 115200 and flow control to 'none'.";
  constexpr const char* kInvalid = "ERROR: The firmware file is invalid.";
  constexpr const char* kMismatch = "ERROR: The firmware file does not match with current device.";
  constexpr const char* kText = "ERROR: The file is text, not a firmware image.";
  const struct { int baud, flow; std::string image, product; const char* message; } cases[] = {
      {115200, 10, Binary(3, "MA11"), "MA11", nullptr},
      {9600, 10, Binary(3, "MA11"), "MA11", kLine},
      {115200, 11, Binary(3, "MA11"), "MA11", kLine},
      {115200, 12, Binary(3, "MA11"), "MA11", kLine},
      {9600, 10, "", "MA11", kLine},  // the line is checked before the file
      {115200, 10, "", "MA11", kInvalid},
      {115200, 10, Binary(3, "MB21"), "MA11", kMismatch},
      {115200, 10, Binary(3, "MA11"), "ERROR", kMismatch},
      {115200, 10, Binary(3, "none"), "MA11", kMismatch},
      // A bare "OK" to the product query leaves an empty name: no code is no match.
      {115200, 10, Binary(3, "none"), "", kMismatch},
      // Text that mentions the module's model is no image; text that the model
      // check refuses keeps the model check's message.
      {115200, 10, At(3, "MA11"), "MA11", kText},
      {115200, 10, "MA11 release notes\r\n\tsee the manual\r\n", "MA11", kText},
      {115200, 10, At(3, "MB21"), "MA11", kMismatch},
      {115200, 10, At(3, "none"), "MA11", kMismatch},
      {9600, 10, At(3, "MA11"), "MA11", kLine},
  };
  for (const auto& c : cases) {
    op_.Clear();
    LineSettings line;
    line.baudRate = c.baud;
    line.flowControl = c.flow;
    std::string imageModel;
    EXPECT_EQ(CheckLocalUpdate(line, c.product, Write(c.image), imageModel, op_),
              c.message == nullptr);
    if (c.message) EXPECT_THAT(op_.Messages(), ElementsAre(c.message));
    else EXPECT_THAT(op_.Messages(), IsEmpty());
  }
  // A mismatch says what the image was built for and what the module is.
  op_.Clear();
  LineSettings line;
  line.baudRate = 115200;
  std::string imageModel;
  EXPECT_FALSE(CheckLocalUpdate(line, "MA11", Write(Binary(3, "MB21")), imageModel, op_));
  EXPECT_THAT(op_.Details(), ElementsAre("The image is built for MB21; the module is MA11."));
  op_.Clear();
  EXPECT_FALSE(CheckLocalUpdate(line, "MA11", Write(Binary(3, "none")), imageModel, op_));
  EXPECT_THAT(op_.Details(),
              ElementsAre("The image carries none of the known model codes; the module is MA11."));
  // A text file's message names the file.
  op_.Clear();
  EXPECT_FALSE(CheckLocalUpdate(line, "MA11", Write(At(3, "MA11")), imageModel, op_));
  EXPECT_THAT(op_.Details(), ElementsAre(path_ + " holds only text (letters, digits, punctuation, "
                                                 "spaces, line ends); a firmware image (.ebl) is a "
                                                 "binary file."));
}

TEST(PlainText, PrintableAsciiTabsLineEndsAndWellFormedUtf8AreText) {
  const struct { std::string bytes; bool text; } cases[] = {
      {"MA11 v1.11.0\r\n\tnotes ~!{}", true},
      {":10010000214601360121470136007EFE09D2190140\r\n", true},  // Intel HEX
      {"Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xF0\x9F\x98\x80", true},  // 2, 3, 4 bytes
      {"\xEF\xBB\xBFMA11", true},                                           // a byte order mark
      {"", false},                     // nothing is no text
      {std::string("MA11\0", 5), false},  // NUL
      {"MA11\x1A", false},             // other control bytes
      {"MA11\x0C", false},
      {"MA11\x7F", false},             // DEL
      {"caf\xE9", false},              // Latin-1, not UTF-8
      {"\xC3", false},                 // a character cut off at the end
      {"\xC3(", false},                // a leading byte without its continuation
      {"\xA9", false},                 // a continuation byte alone
      {"\xC0\xAF", false},             // overlong forms
      {"\xE0\x80\xAF", false},
      {"\xF0\x80\x80\xAF", false},
      {"\xED\xA0\x80", false},         // a surrogate
      {"\xF4\x90\x80\x80", false},     // above U+10FFFF
      {"\xF5\x80\x80\x80", false},
      {"\xFF\xFE", false},
  };
  for (const auto& c : cases) EXPECT_EQ(PlainTextScan::IsPlainText(c.bytes), c.text) << c.bytes;

  // In pieces, a character may be split between two of them.
  PlainTextScan scan;
  EXPECT_TRUE(scan.Feed("Gr\xC3"));
  EXPECT_FALSE(scan.AllText());
  EXPECT_TRUE(scan.Feed("\xBC\xE2\x82"));
  EXPECT_TRUE(scan.Feed("\xAC"));
  EXPECT_TRUE(scan.AllText());
  EXPECT_FALSE(scan.Feed(std::string(1, '\0')));
  EXPECT_FALSE(scan.Feed("more text"));
  EXPECT_FALSE(scan.AllText());
}

TEST_F(ImageCheckTest, AFileIsTextOnlyWhenEveryByteOfItIs) {
  // Longer than one piece of the read: a character across the boundary, and the
  // byte that makes a file binary at its very end.
  std::string text(64 * 1024 - 1, 'a');
  text += "\xC3\xA9 and the rest\r\n";
  EXPECT_TRUE(IsTextFile(Write(text)));
  EXPECT_FALSE(IsTextFile(Write(text + std::string(1, '\0'))));
  EXPECT_FALSE(IsTextFile(Write(Binary(3, "MA11"))));
  EXPECT_FALSE(IsTextFile(Write("")));
  EXPECT_FALSE(IsTextFile("/nonexistent/image.ebl"));

  EXPECT_TRUE(CheckImageIsBinary(Write(Binary(3, "MA11")), op_));
  EXPECT_THAT(op_.Messages(), IsEmpty());
  EXPECT_FALSE(CheckImageIsBinary(Write(text), op_));
  EXPECT_THAT(op_.Messages(), ElementsAre("ERROR: The file is text, not a firmware image."));
}

}  // namespace
}  // namespace zendra::test
