// The model table search and the checks before a local update.

#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>

#include "device/Connection.h"
#include "firmware/ImageCheck.h"
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
      std::filesystem::temp_directory_path() / ("fw-check-" + std::to_string(::getpid()) + ".ebl");
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

TEST_F(ImageCheckTest, LocalCheckRefusesWithTheMessageOfTheFirstFailingCheck) {
  constexpr const char* kLine = "ERROR: Please change the baudrate to 115200 and flow control to 'none'.";
  constexpr const char* kInvalid = "ERROR: The firmware file is invalid.";
  constexpr const char* kMismatch = "ERROR: The firmware file does not match with current device.";
  const struct { int baud, flow; std::string image, product; const char* message; } cases[] = {
      {115200, 10, At(3, "MA11"), "MA11", nullptr},
      {9600, 10, At(3, "MA11"), "MA11", kLine},
      {115200, 11, At(3, "MA11"), "MA11", kLine},
      {115200, 12, At(3, "MA11"), "MA11", kLine},
      {9600, 10, "", "MA11", kLine},  // the line is checked before the file
      {115200, 10, "", "MA11", kInvalid},
      {115200, 10, At(3, "MB21"), "MA11", kMismatch},
      {115200, 10, At(3, "MA11"), "ERROR", kMismatch},
      {115200, 10, At(3, "none"), "MA11", kMismatch},
      // A bare "OK" to the product query leaves an empty name: no code is no match.
      {115200, 10, At(3, "none"), "", kMismatch},
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
  EXPECT_FALSE(CheckLocalUpdate(line, "MA11", Write(At(3, "MB21")), imageModel, op_));
  EXPECT_THAT(op_.Details(), ElementsAre("The image is built for MB21; the module is MA11."));
  op_.Clear();
  EXPECT_FALSE(CheckLocalUpdate(line, "MA11", Write(At(3, "none")), imageModel, op_));
  EXPECT_THAT(op_.Details(),
              ElementsAre("The image carries none of the known model codes; the module is MA11."));
}

}  // namespace
}  // namespace zendra::test
