// zendra-cli as a script runs it: the real program against a zendra-modsim
// process, checking what it prints and its exit status.

#include <gmock/gmock.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "CliProcess.h"
#include "serial/SerialPort.h"
#include "support/TempFolder.h"

namespace zendra::test {
namespace {

using ::testing::HasSubstr;

// An image for the simulated module's model that carries the next version.
std::string WriteImage(const TempFolder& folder) {
  const std::string path = folder.Path() + "MA11_v1.11.0.ebl";
  std::string bytes("EBL\0MA11\0VERSION=v1.11.0\0", 25);
  for (int i = 0; i < 1500; ++i) bytes.push_back(static_cast<char>(i * 7));
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

TEST(CommandLine, AtPrintsTheReplyLineAndExitsWithTheModulesVerdict) {
  ModuleProcess module({});
  ASSERT_FALSE(module.Port().empty());
  auto r = Cli(module, {"at", "AT+VERSION"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "v1.10.0\n");  // the module's echo is not part of the reply

  r = Cli(module, {"at", "AT+NOSUCHTHING"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "ERROR\n");

  r = RunProgram({Program("zendra-cli"), "--port", "/dev/zendra-no-such-port", "at", "AT"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;

  r = RunProgram({Program("zendra-cli"), "--port", module.Port(), "--baud", "9601", "at", "AT"});
  EXPECT_EQ(r.status, 2);
}

TEST(CommandLine, InfoIdentifiesTheModuleAsJson) {
  ModuleProcess module({"--product", "MB11", "--version", "v3.0", "--node-type", "4"});
  const auto r = Cli(module, {"--json", "info"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << "one line";
  EXPECT_EQ(nlohmann::json::parse(r.out), nlohmann::json::parse(R"({
      "productName": "MB11", "euiAddress": "000D6F0000A1B2C3", "nodeName": "Zendra1",
      "firmwareVersion": "v3.0", "nodeType": "4", "sleepy": true})"));
}

TEST(CommandLine, SetWritesAParameterThatGetReadsBack) {
  ModuleProcess module({});
  auto r = Cli(module, {"set", "Node/Node name=Bench7"});
  EXPECT_EQ(r.status, 0) << r.err;
  r = Cli(module, {"get", "Node name"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Bench7\n");
  r = Cli(module, {"set", "No such parameter=1"});
  EXPECT_EQ(r.status, 2);
}

TEST(CommandLine, UpdateSendsTheImageAndExitsZeroOnceTheModuleRunsIt) {
  TempFolder folder;
  const std::string image = WriteImage(folder);
  ModuleProcess module({"--baud", "auto"});  // answers at whatever rate the line runs
  auto r = Cli(module, {"--baud", "9600", "update", image, "--no-progress"});
  EXPECT_EQ(r.status, 2) << "the line must run at 115200";
  EXPECT_THAT(r.err, HasSubstr("ERROR: Please change the baudrate to 115200 and flow control to 'none'."));

  r = Cli(module, {"--baud", "115200", "update", image, "--no-progress"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("v1.11.0"));
  r = Cli(module, {"--baud", "115200", "--json", "info"});
  EXPECT_EQ(nlohmann::json::parse(r.out).value("firmwareVersion", ""), "v1.11.0");
}

TEST(CommandLine, ReloadBringsADamagedModuleBackAndConnects) {
  TempFolder folder;
  const std::string image = WriteImage(folder);
  ModuleProcess module({"--damaged"});
  auto r = Cli(module, {"--no", "reload", image, "--no-progress"});
  EXPECT_EQ(r.status, 1) << "declined";
  r = Cli(module, {"--yes", "reload", image, "--no-progress"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("v1.11.0"));
}

TEST(CommandLine, RefusesWhatWouldHarmTheModuleAndSaysWhatToDoInstead) {
  // A value with a line end would write the name and then reset the module.
  ModuleProcess module({});
  auto r = Cli(module, {"set", "Node/Node name=AB\r\nAT&F"});
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.err, HasSubstr("control character"));
  r = Cli(module, {"at", "AT+NODENAME=X\r\nAT&F"});
  EXPECT_EQ(r.status, 2);
  r = Cli(module, {"get", "Node name"});
  EXPECT_EQ(r.out, "Zendra1\n") << "nothing was written";

  // A damaged module: no question that only a reload command could act on.
  ModuleProcess damaged({"--damaged"});
  r = Cli(damaged, {"--yes", "info"});
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, HasSubstr("reload IMAGE"));
  EXPECT_THAT(r.err, ::testing::Not(HasSubstr("Do you want to reload?")));

  // An update broken off mid-transfer may leave the module in its bootloader.
  TempFolder folder;
  ModuleProcess breaking({"--baud", "auto", "--silent-after-block", "2"});
  r = Cli(breaking, {"--baud", "115200", "update", WriteImage(folder), "--no-progress"});
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, HasSubstr("reload " + folder.Path()));
}

TEST(CommandLine, ExplainsAPortInUseAndADefinitionFileWithoutParameters) {
  ModuleProcess module({});
  {
    SerialPort holder;  // another program on the same port
    ASSERT_TRUE(holder.Open(module.Port(), 9600, 0, 8, 0, 10));
    const auto r = Cli(module, {"at", "AT"});
    EXPECT_EQ(r.status, 2);
    EXPECT_THAT(r.err, HasSubstr(module.Port() + " is in use by another program."));
  }

  TempFolder folder;
  folder.Write("MA11_v1.10.0.zmcon", "; a header and nothing else [Node/");
  auto r = Cli(module, {"params", "--definitions", folder.Path()});
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, HasSubstr("the definition file " + folder.Path() + "MA11_v1.10.0.zmcon holds none"));

  // The question's caption is not said twice.
  TempFolder empty;
  r = Cli(module, {"--no", "params", "--definitions", empty.Path()});
  EXPECT_THAT(r.err, HasSubstr("WARNING: Could not recognize the firmware version."));
  EXPECT_THAT(r.err, ::testing::Not(HasSubstr("WARNING: WARNING:")));
}

TEST(CommandLine, ScanPrintsARowPerDeviceOrAJsonArray) {
  ModuleProcess module({"--odd-names", "--scan-markers"});
  auto r = Cli(module, {"scan"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 5) << r.out;
  EXPECT_THAT(r.out, HasSubstr("000D6F00000A0003"));
  EXPECT_THAT(r.out, HasSubstr("Shelf|A|2\n"));

  r = Cli(module, {"--json", "scan"});
  EXPECT_EQ(r.status, 0) << r.err;
  const auto rows = nlohmann::json::parse(r.out);
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[2], nlohmann::json::parse(R"({"index": 2, "type": "FFD",
      "address": "000D6F00000A0003", "version": "v3.0", "model": "MB11",
      "name": "BOOKSHELF"})"));
  std::vector<std::string> names;
  for (const auto& row : rows) names.push_back(row.at("name"));
  EXPECT_THAT(names, ::testing::ElementsAre("Kitchen node", "Shelf|A|2", "BOOKSHELF",
                                            "ERROR lab", "OK lab"));
}

TEST(CommandLine, ScanKeepsTheBytesOfANameThatIsNotUtf8) {
  // One name in the Windows tool's code page (é is 0xE9), one in UTF-8.
  ModuleProcess module({"--remote", "000D6F00000B0001,MA11,v1.10.0,Caf\xE9 Nord", "--remote",
                        "000D6F00000B0002,MA11,v1.10.0,Caf\xC3\xA9 Sud"});
  auto r = Cli(module, {"--json", "scan"});
  EXPECT_EQ(r.status, 0) << r.err;
  const auto rows = nlohmann::json::parse(r.out);
  ASSERT_EQ(rows.size(), 2u) << r.out;
  EXPECT_EQ(rows[0].at("name"), "Caf\u00e9 Nord");
  EXPECT_EQ(rows[1].at("name"), "Caf\u00e9 Sud");
  EXPECT_THAT(r.out, ::testing::Not(HasSubstr("\xEF\xBF\xBD")));  // no U+FFFD

  // The plain rows hand the bytes on as the module sent them.
  r = Cli(module, {"scan"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("Caf\xE9 Nord\n"));
  EXPECT_THAT(r.out, HasSubstr("Caf\xC3\xA9 Sud\n"));
}

TEST(CommandLine, ScanExitsOneWithTheScanMessageWhenItFailsAndZeroForAnEmptyNetwork) {
  ModuleProcess failing({"--network", "2", "--scan-error"});
  auto r = Cli(failing, {"scan"});
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, HasSubstr("ERROR: Could not scan the remote device."));
  EXPECT_EQ(r.out, "");

  ModuleProcess empty({});
  r = Cli(empty, {"scan"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");
  r = Cli(empty, {"--json", "scan"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "[]\n");
}

}  // namespace
}  // namespace zendra::test
