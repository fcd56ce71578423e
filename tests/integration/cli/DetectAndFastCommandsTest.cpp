// zendra-cli detect, and update/reload with --fast and their progress line, run as
// a script runs them against zendra-modsim processes.

#include <gmock/gmock.h>

#include <nlohmann/json.hpp>

#include "CliProcess.h"
#include "serial/SerialPort.h"

namespace zendra::test {
namespace {

using ::testing::HasSubstr;

std::string WriteImage(TempFolder& folder, std::size_t size = 3000) {
  const std::string header("EBL\0MA11\0VERSION=v1.11.0\0", 25);
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = i < header.size() ? header[i] : static_cast<char>((i * 7 + 3) & 0xFF);
  return folder.Write("fast.ebl", bytes);
}

Result Detect(std::vector<std::string> args) {
  args.insert(args.begin(), {Program("zendra-cli"), "--time-scale", "0.1"});
  return RunProgram(args);
}

TEST(DetectCommand, PrintsThePortRateProductAndVersionOfEachModuleFound) {
  ModuleProcess module({"--baud", "57600", "--product", "MC21X", "--version", "v1.0.0"});
  ModuleProcess held({});
  SerialPort holder;  // another program holds the second port
  ASSERT_TRUE(holder.Open(held.Port(), 9600, 0, 8, 0, 10));

  auto r = Detect({"detect", "--port", module.Port(), "--port", held.Port()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, module.Port() + "  57600  MC21X  v1.0.0\n" + held.Port() +
                       "  busy: " + held.Port() + " is in use by another program.\n");
  EXPECT_THAT(r.err, HasSubstr("2 ports tried in"));

  r = Detect({"--json", "detect", "--port", module.Port(), "--port", held.Port()});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto items = nlohmann::json::parse(r.out);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0]["port"], module.Port());
  EXPECT_EQ(items[0]["state"], "module");
  EXPECT_EQ(items[0]["baudRate"], 57600);
  EXPECT_EQ(items[0]["productName"], "MC21X");
  EXPECT_EQ(items[0]["firmwareVersion"], "v1.0.0");
  EXPECT_EQ(items[1]["state"], "busy");
}

TEST(DetectCommand, ExitsOneWhenNoModuleAnswers) {
  ModuleProcess silent({"--silent"});
  const auto r = Detect({"detect", "--port", silent.Port()});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, silent.Port() + "  no answer\n");
  EXPECT_THAT(r.err, HasSubstr("no module answered"));
}

TEST(FastFlashingCommands, UpdateAndReloadWithFastSendTheImageAndShowThePlanningLine) {
  TempFolder folder;
  const std::string image = WriteImage(folder, 20 * 1024);
  ModuleProcess module({"--baud", "auto"});
  auto r = Cli(module, {"--baud", "115200", "update", image, "--fast"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("v1.11.0"));
  // Not a terminal: a line every ten percent, the last one with everything sent.
  EXPECT_THAT(r.err, HasSubstr("100%  20,480 of 20,480 bytes \u00b7 "));
  EXPECT_THAT(r.err, HasSubstr(" left\n")) << "the time left while the image goes out";

  ModuleProcess damaged({"--damaged"});
  r = Cli(damaged, {"--yes", "reload", image, "--fast", "--no-progress"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("v1.11.0"));
  EXPECT_THAT(r.err, ::testing::Not(HasSubstr("bytes")));
}

}  // namespace
}  // namespace zendra::test
