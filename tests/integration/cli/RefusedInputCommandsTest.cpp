// zendra-cli given what must never reach the module - a remote address that would
// break the command line, a text file as a firmware image - and an image that the
// module's bootloader refuses once it has come: the real program against a
// zendra-modsim process whose log shows what it received.

#include <gmock/gmock.h>
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "CliProcess.h"
#include "support/FirmwareImageFile.h"
#include "support/TempFolder.h"

namespace zendra::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

constexpr const char* kUnsafeAddress =
    "ERROR: Invalid remote address: it holds a comma or a control character (such as a line "
    "end), which would break the command line.";
constexpr const char* kEmptyAddress = "ERROR: Invalid remote address";
constexpr const char* kTextImage = "ERROR: The file is text, not a firmware image.";
const std::string kRemote = "5A3C770000000002";

bool AnyHolds(const std::vector<std::string>& lines, const std::string& text) {
  for (const auto& line : lines)
    if (line.find(text) != std::string::npos) return true;
  return false;
}

TEST(RefusedInput, RemoteAddressesThatWouldBreakTheCommandLineAreRefusedAndNothingIsSent) {
  TempFolder folder;
  const FirmwareImageFile image("MA11", "v1.11.0", 1500);
  const std::string log = folder.Path() + "module.log";
  ModuleProcess module({"--baud", "auto", "--log", log, "--remote", kRemote + ",MA11,v1.9.5"});
  ASSERT_FALSE(module.Port().empty());
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  const std::vector<Case> cases = {
      {{"update", image.Path(), "--remote", kRemote + ",AT+NODENAME=x"}, kUnsafeAddress},
      {{"update", image.Path(), "--remote", kRemote, "--remote", ""}, kEmptyAddress},
      {{"clone", "--remote", "1A2B,ATZ"}, kUnsafeAddress},
      {{"clone", "--remote", ""}, kEmptyAddress},
      {{"at", "AT+NODENAME", "--remote", "1A2B,ATZ"}, kUnsafeAddress},
      {{"at", "AT+VERSION", "--remote", ""}, kEmptyAddress},
      {{"at", "AT+VERSION", "--remote", kRemote + "\r\nATZ"}, kUnsafeAddress},
      {{"info", "--remote", kRemote + ",ATZ"}, kUnsafeAddress},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"--baud", "115200"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Result r = Cli(module, args);
    EXPECT_EQ(r.status, 2) << c.args[0] << " " << c.args.back() << "\n" << r.err;
    EXPECT_THAT(r.err, HasSubstr(c.message)) << c.args.back();
    EXPECT_EQ(r.out, "");
  }
  // Not a byte reached the module: every refusal came before the port was opened.
  EXPECT_THAT(ModuleLogLines(log), ::testing::IsEmpty());

  // The same address without its second command goes out as one line.
  const Result r = Cli(module, {"--baud", "115200", "at", "AT+NODENAME", "--remote", kRemote});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Remote\n");
  EXPECT_TRUE(AnyHolds(ModuleLogLines(log), "AT+RC=" + kRemote + ",AT+NODENAME\r\n"));
}

TEST(RefusedInput, ATextFileThatNamesTheModelIsNoImageForUpdateOrReload) {
  TempFolder folder;
  const FirmwareImageFile text("MA11", "v1.11.0", 48, FirmwareImageFile::Form::kText);
  const std::string log = folder.Path() + "module.log";
  {
    ModuleProcess module({"--baud", "auto", "--log", log});
    const Result r = Cli(module, {"--baud", "115200", "update", text.Path(), "--no-progress"});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_THAT(r.err, HasSubstr(kTextImage));
    EXPECT_THAT(r.err, HasSubstr(text.Path() + " holds only text"));
    // The handshake talked to the module; nothing of the update did.
    const auto lines = ModuleLogLines(log);
    EXPECT_FALSE(lines.empty());
    EXPECT_FALSE(AnyHolds(lines, "BOOTLOAD"));
  }
  const std::string damagedLog = folder.Path() + "damaged.log";
  ModuleProcess damaged({"--damaged", "--log", damagedLog});
  const Result r = Cli(damaged, {"--yes", "reload", text.Path(), "--no-progress"});
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_THAT(r.err, HasSubstr(kTextImage));
  EXPECT_THAT(ModuleLogLines(damagedLog), ::testing::IsEmpty());
}

TEST(RefusedInput, AnImageTheBootloaderRefusesIsAFailedUpdateThatAsksForAReload) {
  // Binary, with the model code: it passes every check of the manager, and the
  // bootloader refuses it once it has come.
  const FirmwareImageFile image("MA11", "v1.11.0", 1500, FirmwareImageFile::Form::kNoEblHeader);
  ModuleProcess module({"--baud", "auto"});
  Result r = Cli(module, {"--baud", "115200", "--json", "update", image.Path(), "--no-progress"});
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(nlohmann::json::parse(r.out).value("outcome", ""), "image-refused");
  EXPECT_THAT(r.err, HasSubstr("ERROR: Failed to update firmware."));
  EXPECT_THAT(r.err, HasSubstr("needs a reload with a valid firmware image"));
  EXPECT_THAT(r.err, HasSubstr("reload IMAGE"));
  EXPECT_THAT(r.err, Not(HasSubstr("Completed successfully.")));

  // The module now sits in its bootloader without a firmware; the same image
  // does not bring it back, a good one does.
  r = Cli(module, {"--yes", "reload", image.Path(), "--no-progress"});
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_THAT(r.err, HasSubstr("ERROR: Failed to update firmware."));
  EXPECT_THAT(r.err, HasSubstr("the firmware is still damaged"));
  const FirmwareImageFile good("MA11", "v1.11.0", 1500);
  r = Cli(module, {"--yes", "reload", good.Path(), "--no-progress"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("v1.11.0"));
}

}  // namespace
}  // namespace zendra::test
