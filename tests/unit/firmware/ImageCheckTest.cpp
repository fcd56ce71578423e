// The model table search and the checks before a local update.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/Connection.h"
#include "firmware/ImageCheck.h"
#include "support/FakeOperator.h"

namespace zendra::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class ImageFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("fw-check-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Write(const std::string& bytes) {
    const auto path = dir_ / "image.ebl";
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path.string();
  }
  std::filesystem::path dir_;
};

// `at` bytes of filler, then the text, then more filler.
std::string Image(std::size_t at, const std::string& text, char filler = 'x') {
  std::string bytes(at, filler);
  bytes += text;
  bytes += std::string(400, filler);
  return bytes;
}

struct ModelCase {
  const char* what;
  std::string bytes;
  const char* model;
};

class ModelSearchTest : public ImageFiles, public ::testing::WithParamInterface<ModelCase> {};

TEST_P(ModelSearchTest, FindsTheModelCodeTheImageWasBuiltFor) {
  const auto& c = GetParam();
  const auto found = FindImageModel(Write(c.bytes));
  ASSERT_TRUE(found.has_value()) << c.what;
  EXPECT_EQ(*found, c.model) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Images, ModelSearchTest,
    ::testing::Values(
        ModelCase{"table order beats file order", Image(10, "MA21 then MA11"), "MA11"},
        ModelCase{"last model in the table", Image(0, "MC21X"), "MC21X"},
        ModelCase{"code ending at byte 255", Image(251, "MB11"), "MB11"},
        ModelCase{"code ending at byte 256", Image(252, "MB11"), ""},
        ModelCase{"behind NUL bytes", Image(40, "MC11", '\0'), "MC11"},
        ModelCase{"NUL inside the code", Image(4, std::string("MA\0" "11", 5)), ""},
        ModelCase{"lower case", Image(4, "ma11"), ""},
        ModelCase{"a single byte", std::string("M"), ""},
        ModelCase{"code split by the 255th byte", Image(253, "MA21"), ""}));

TEST_F(ImageFiles, EmptyOrMissingImageIsNotReadableAndLeavesTheModelAlone) {
  FakeOperator op;
  Connection c(op);
  c.imageModel = "MB21";
  EXPECT_FALSE(ReadImageModel(Write(""), c));
  EXPECT_FALSE(ReadImageModel((dir_ / "missing.ebl").string(), c));
  EXPECT_EQ(c.imageModel, "MB21");
  EXPECT_TRUE(ReadImageModel(Write(Image(0, "nothing")), c));
  EXPECT_EQ(c.imageModel, "");
}

struct LocalCheckCase {
  const char* what;
  int baudRate;
  int flowControl;
  std::string image;  // empty: an empty file
  std::string productName;
  const char* message;  // nullptr: the check passes
};

class LocalCheckTest : public ImageFiles, public ::testing::WithParamInterface<LocalCheckCase> {};

TEST_P(LocalCheckTest, RefusesWithTheMessageOfTheFirstFailingCheck) {
  const auto& c = GetParam();
  FakeOperator op;
  Connection connection(op);
  connection.settings.baudRate = c.baudRate;
  connection.settings.flowControl = c.flowControl;
  connection.productName = c.productName;
  const bool passed = CheckLocalUpdate(connection, Write(c.image));
  if (c.message == nullptr) {
    EXPECT_TRUE(passed) << c.what;
    EXPECT_THAT(op.Messages(), IsEmpty()) << c.what;
  } else {
    EXPECT_FALSE(passed) << c.what;
    EXPECT_THAT(op.Messages(), ElementsAre(c.message)) << c.what;
  }
}

constexpr const char* kLine = "ERROR: Please change the baudrate to 115200 and flow control to 'none'.";
constexpr const char* kInvalid = "ERROR: The firmware file is invalid.";
constexpr const char* kMismatch = "ERROR: The firmware file does not match with current device.";

INSTANTIATE_TEST_SUITE_P(
    Checks, LocalCheckTest,
    ::testing::Values(
        LocalCheckCase{"matching image", 115200, 10, Image(3, "MA11"), "MA11", nullptr},
        LocalCheckCase{"9600 baud", 9600, 10, Image(3, "MA11"), "MA11", kLine},
        LocalCheckCase{"XON/XOFF", 115200, 11, Image(3, "MA11"), "MA11", kLine},
        LocalCheckCase{"RTS/CTS", 115200, 12, Image(3, "MA11"), "MA11", kLine},
        LocalCheckCase{"line checked before the file", 9600, 10, "", "MA11", kLine},
        LocalCheckCase{"empty file", 115200, 10, "", "MA11", kInvalid},
        LocalCheckCase{"other model", 115200, 10, Image(3, "MB21"), "MA11", kMismatch},
        LocalCheckCase{"product did not answer", 115200, 10, Image(3, "MA11"), "ERROR", kMismatch},
        LocalCheckCase{"no code in the image", 115200, 10, Image(3, "none"), "MA11", kMismatch},
        // A bare "OK" to the product query gives an empty name; an image without a
        // code must not pass as its match.
        LocalCheckCase{"no code and an empty product", 115200, 10, Image(3, "none"), "", kMismatch}));

}  // namespace
}  // namespace zendra::test
