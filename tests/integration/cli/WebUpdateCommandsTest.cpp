// zendra-cli's web update commands as a script runs them: the real program against
// a zendra-modsim process and a real HTTP server on the loopback interface.

#include <gmock/gmock.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "CliProcess.h"
#include "support/ScopedEnvironment.h"
#include "support/TempFolder.h"
#include "support/http/LoopbackUpdateServer.h"

namespace zendra::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

Result WebCli(const LoopbackUpdateServer& server, std::vector<std::string> args) {
  args.insert(args.begin(), {Program("zendra-cli"), "--update-server", server.BaseUrl()});
  return RunProgram(args);
}

TEST(WebUpdateCommands, DownloadDefinitionsFetchesEveryListedFileIntoTheFolder) {
  LoopbackUpdateServer server;
  TempFolder folder;
  server.Serve("Configs", "VEXA\r\nMA11_v1.12.0.zmcon\r\nMB11_v3.1.zmcon\r\n");
  server.Serve("MA11_v1.12.0.zmcon", "definitions MA11");
  server.Serve("MB11_v3.1.zmcon", "definitions MB11");
  const std::string dest = folder.Path() + "defs";

  auto r = WebCli(server, {"download-definitions", "--dest", dest});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, dest + "/MA11_v1.12.0.zmcon\n" + dest + "/MB11_v3.1.zmcon\n");
  EXPECT_THAT(r.err, HasSubstr("Downloading file now.. (2/2) MB11_v3.1.zmcon"));
  EXPECT_EQ(ReadFile(dest + "/MA11_v1.12.0.zmcon"), "definitions MA11");
  EXPECT_EQ(ReadFile(dest + "/MB11_v3.1.zmcon"), "definitions MB11");

  // One file the server does not have: the others still come, and the run failed.
  LoopbackUpdateServer partial;
  partial.Serve("Configs", "VEXA\nMA11_v1.12.0.zmcon\nmissing.zmcon\n");
  partial.Serve("MA11_v1.12.0.zmcon", "definitions MA11 again");
  r = WebCli(partial, {"--json", "download-definitions", "--dest", dest});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(nlohmann::json::parse(r.out)["saved"],
            nlohmann::json::array({dest + "/MA11_v1.12.0.zmcon"}));
  EXPECT_EQ(nlohmann::json::parse(r.out)["failed"],
            nlohmann::json::array({dest + "/missing.zmcon"}));
  EXPECT_THAT(r.err, HasSubstr("404"));
}

TEST(WebUpdateCommands, AServerThatIsNoUpdateServerOrAnAddressThatIsNotUsableFails) {
  LoopbackUpdateServer server;
  server.Serve("Configs", "<html>Welcome</html>", 200, "text/html");
  TempFolder folder;
  auto r = WebCli(server, {"download-definitions", "--dest", folder.Path()});
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, HasSubstr("ERROR: Could not connect to update server."));

  r = RunProgram({Program("zendra-cli"), "--update-server", "ftp://files.example/zm",
                  "download-definitions", "--dest", folder.Path()});
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.err, HasSubstr("\"ftp://files.example/zm\" (from --update-server)"));

  {
    ScopedEnvironment environment("ZENDRA_UPDATE_SERVER", "two words");
    r = RunProgram({Program("zendra-cli"), "--port", "/dev/null", "check-firmware"});
  }
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.err,
              HasSubstr("\"two words\" (from the environment variable ZENDRA_UPDATE_SERVER)"));
}

// The local module (MA11 v1.10.0) and its network: an MA11 that is not checked
// again, an MB11 with an image on the server.
std::vector<std::string> Network() {
  return {"--remote", "000D6F0000B00001,MA11,v1.9.5", "--remote", "000D6F0000B00002,MB11,v3.0"};
}

void ServeFirmware(LoopbackUpdateServer& server) {
  server.Serve("Firmware",
               "VEXA\nMA11:v1.11.0:images/MA11_v1.11.0.ebl\nMB11:v3.1:images/MB11_v3.1.ebl\n");
  server.Serve("images/MA11_v1.11.0.ebl", "MA11 image");
  server.Serve("images/MB11_v3.1.ebl", "MB11 image");
}

TEST(WebUpdateCommands, CheckFirmwareYesSavesTheLocalModulesImageAndPrintsItsPath) {
  ModuleProcess module({});
  ASSERT_FALSE(module.Port().empty());
  LoopbackUpdateServer server;
  ServeFirmware(server);
  TempFolder folder;
  const std::string output = folder.Path() + "new.ebl";

  auto r = WebCli(server, {"--time-scale", "0.1", "--port", module.Port(), "check-firmware",
                           "--yes", "--output", output});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, output + "\n");
  EXPECT_EQ(ReadFile(output), "MA11 image");
  EXPECT_THAT(r.err, HasSubstr("PRODUCT: MA11\nCURRENT VERSION: v1.10.0\nNEW VERSION: v1.11.0"));

  // Declined (--no, or no terminal to ask on): nothing new, exit 1.
  r = WebCli(server, {"--time-scale", "0.1", "--port", module.Port(), "check-firmware", "--output",
                      folder.Path() + "declined.ebl"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_THAT(r.err, HasSubstr("ERROR: No new firmware is available."));
  EXPECT_FALSE(std::filesystem::exists(folder.Path() + "declined.ebl"));
}

TEST(WebUpdateCommands, CheckFirmwareScanChecksEveryDeviceOfTheNetworkIntoAFolder) {
  std::vector<std::string> options = Network();
  options.insert(options.end(), {"--version", "v1.11.0"});  // the local module is current
  ModuleProcess module(options);
  ASSERT_FALSE(module.Port().empty());
  LoopbackUpdateServer server;
  ServeFirmware(server);
  TempFolder folder;

  const auto r = WebCli(server, {"--time-scale", "0.1", "--port", module.Port(), "--json",
                                 "check-firmware", "--scan", "--yes", "--output", folder.Path()});
  EXPECT_EQ(r.status, 0) << r.err;
  // The MB11 remote's image under its listed name; the MA11 remote was not offered
  // the MA11 image although it runs an older version.
  EXPECT_EQ(nlohmann::json::parse(r.out)["saved"],
            nlohmann::json::array({folder.Path() + "MB11_v3.1.ebl"}));
  EXPECT_EQ(ReadFile(folder.Path() + "MB11_v3.1.ebl"), "MB11 image");
  EXPECT_THAT(r.err, Not(HasSubstr("PRODUCT: MA11")));

  // One file for a run that can save several images is refused before anything
  // is asked, whether the file exists or not.
  const std::string kept = folder.Write("one.ebl", "kept");
  for (const std::string& file : {kept, folder.Path() + "new.ebl"}) {
    const auto refused = WebCli(server, {"--time-scale", "0.1", "--port", module.Port(), "--json",
                                         "check-firmware", "--scan", "--yes", "--output", file});
    EXPECT_EQ(refused.status, 2) << file;
    EXPECT_EQ(refused.out, "") << "no result that says nothing failed";
    EXPECT_THAT(refused.err, HasSubstr("check-firmware --scan can save several images; give "
                                       "--output a folder"));
    EXPECT_THAT(refused.err, Not(HasSubstr("NOTICE")));
  }
  EXPECT_EQ(ReadFile(kept), "kept");
  EXPECT_FALSE(std::filesystem::exists(folder.Path() + "new.ebl"));

  // A scan that fails ends the command before any device is checked.
  std::vector<std::string> failing = Network();
  failing.push_back("--scan-error");
  ModuleProcess refusing(failing);
  ASSERT_FALSE(refusing.Port().empty());
  const auto failed =
      WebCli(server, {"--time-scale", "0.1", "--port", refusing.Port(), "check-firmware", "--scan",
                      "--yes", "--output", folder.Path() + "none/"});
  EXPECT_EQ(failed.status, 1);
  EXPECT_THAT(failed.err, HasSubstr("ERROR: Could not scan the remote device."));
  EXPECT_THAT(failed.err, Not(HasSubstr("NOTICE")));
  EXPECT_EQ(failed.out, "");
}

}  // namespace
}  // namespace zendra::test
