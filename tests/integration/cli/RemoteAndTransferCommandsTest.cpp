// zendra-cli's remote configuration (--remote on info, params, get, set, reboot)
// and its export and import, against a zendra-modsim process with a remote node.

#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>

#include "CliProcess.h"

namespace zendra::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

constexpr const char* kEui = "000D6F0000D4E5F6";
constexpr const char* kRemoteNode = "000D6F0000D4E5F6,MB11,v3.0,Far";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(RemoteCommands, InfoIdentifiesTheRemoteDeviceByTheAddressTyped) {
  ModuleProcess module({"--remote", kRemoteNode});
  auto r = Cli(module, {"--json", "info", "--remote", "000d6f0000d4e5f6"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(nlohmann::json::parse(r.out), nlohmann::json::parse(R"({
      "address": "000d6f0000d4e5f6", "productName": "MB11", "euiAddress": "000D6F0000D4E5F6",
      "firmwareVersion": "v3.0", "definitionFile": "MB11_v3.0.zmcon"})"));

  r = Cli(module, {"info", "--remote", kEui});
  EXPECT_EQ(r.out, "Product Name : MB11\nEUI address  : 000D6F0000D4E5F6\nF/W Rev.     : v3.0\n");

  r = Cli(module, {"info", "--remote", "000D6F00DEADBEEF"});
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, HasSubstr("ERROR: The remote device does not respond."));

  r = Cli(module, {"info", "--remote", ""});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "ERROR: Invalid remote address\n");
  r = Cli(module, {"info", "--remote", "000D6F0000D4E5F6,AT&F"});
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.err, HasSubstr("ERROR: Invalid remote address: it holds a comma"));
}

TEST(RemoteCommands, AFailedEuiQuerySaysTheRemoteDidNotAnswerAndFailsInfo) {
  ModuleProcess module({"--remote", kRemoteNode, "--remote-fault",
                        std::string(kEui) + ",error-command=AT+LONGADDR"});
  const auto r = Cli(module, {"--json", "info", "--remote", kEui});
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, HasSubstr("ERROR: The remote device does not respond."));
}

TEST(RemoteCommands, GetSetAndRebootGoToTheReportedAddressAndParamsLeaveSecurityOut) {
  TempFolder folder;
  const std::string log = folder.Path() + "module.log";
  ModuleProcess module({"--remote", kRemoteNode, "--log", log});
  auto r = Cli(module, {"set", "--remote", "000d6f0000d4e5f6", "Node/Node name=Near"});
  EXPECT_EQ(r.status, 0) << r.err;
  r = Cli(module, {"get", "--remote", "000d6f0000d4e5f6", "Node name"});
  EXPECT_EQ(r.out, "Near\n");
  r = Cli(module, {"get", "Node name"});
  EXPECT_EQ(r.out, "Zendra1\n") << "the local module keeps its name";
  r = Cli(module, {"reboot", "--remote", "000d6f0000d4e5f6"});
  EXPECT_EQ(r.status, 0) << r.err;
  // The log escapes line ends.
  const std::string sent = ReadFile(log);
  EXPECT_THAT(sent, HasSubstr("at+rc=000d6f0000d4e5f6,at+productname\\r\\n"));
  EXPECT_THAT(sent, HasSubstr("AT+RC=000D6F0000D4E5F6,AT+NODENAME=Near\\r\\n"));
  EXPECT_THAT(sent, HasSubstr("AT+RC=000D6F0000D4E5F6,ATZ\\r\\n"));
  EXPECT_THAT(sent, Not(HasSubstr("AT+RC=000d6f0000d4e5f6,AT+NODENAME")));

  r = Cli(module, {"--json", "params", "--remote", kEui});
  EXPECT_EQ(r.status, 0) << r.err;
  const auto params = nlohmann::json::parse(r.out);
  EXPECT_EQ(params.value("definitionFile", ""), "MB11_v3.0.zmcon");
  for (const auto& group : params["groups"])
    EXPECT_NE(group.value("group", ""), "Security Settings");
  r = Cli(module, {"--json", "params"});
  EXPECT_THAT(r.out, HasSubstr("Security Settings"));
}

TEST(TransferCommands, ExportListsTheFailedParametersAndPrintsTheLogsPath) {
  TempFolder folder;
  ModuleProcess module({"--error-command", "AT+CHANNEL"});
  const std::string file = folder.Path() + "local.zgb";
  auto r = Cli(module, {"export", file});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Exported 13 of 14 parameters to " + file +
                       "\nfailed: Network/Channel\nError log: " + folder.Path() +
                       "ExportErrorLog.TXT\n");
  EXPECT_EQ(ReadFile(folder.Path() + "ExportErrorLog.TXT"),
            "###Export save error###\r\nNetwork/Channel\r\n");

  r = Cli(module, {"--json", "export", folder.Path() + "no such folder/x.zgb"});
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.err, HasSubstr("ERROR: Could not write the configuration file " + folder.Path() +
                               "no such folder/x.zgb."));
}

TEST(TransferCommands, ExportReplacesAnExistingFileOnlyWhenToldToAndRefusesBeforeAnyRead) {
  TempFolder folder;
  const std::string log = folder.Path() + "module.log";
  ModuleProcess module({"--log", log});
  const std::string file = folder.Write("site1.zgb", "[Firmware]\r\nVersion=kept\r\n");

  auto r = Cli(module, {"export", file});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "zendra-cli: " + file +
                       " already exists; give --yes (or --force) to replace it. Nothing was read "
                       "from the module.\n");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(ReadFile(file), "[Firmware]\r\nVersion=kept\r\n");
  EXPECT_THAT(ReadFile(log), Not(HasSubstr("AT+NODENAME"))) << "nothing read";

  // A FILE that cannot be written at all is said before anything is read, too.
  const std::string folderNamed = folder.Path() + "taken.zgb";
  std::filesystem::create_directory(folderNamed);
  r = Cli(module, {"--yes", "export", folderNamed});
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.err, HasSubstr("ERROR: Could not write the configuration file " + folderNamed));
  EXPECT_THAT(ReadFile(log), Not(HasSubstr("AT+NODENAME")));

  for (const std::vector<std::string>& args : {std::vector<std::string>{"export", "--force", file},
                                               {"export", "--yes", file},
                                               {"--yes", "export", file}}) {
    std::filesystem::resize_file(file, 0);
    r = Cli(module, args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(ReadFile(file), HasSubstr("Num_of_saves=14\r\n")) << args[1];
  }
}

TEST(TransferCommands, ImportAsksAboutAnotherVersionAndListsWhatTheRemoteRefused) {
  TempFolder folder;
  ModuleProcess module(
      {"--remote", kRemoteNode, "--remote-fault", std::string(kEui) + ",error-command=AT+MAXHOPS"});
  const std::string file = folder.Path() + "local.zgb";
  ASSERT_EQ(Cli(module, {"--json", "export", file}).status, 0);
  ASSERT_THAT(ReadFile(file), HasSubstr("Command=AT+MAXHOPS="));

  // The file is MA11's; the remote device is MB11.
  auto r = Cli(module, {"--no", "import", "--remote", kEui, file});
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, HasSubstr("The configuration file does not match with the current firmware "
                               "version. Would you like to continue? [no]"));
  EXPECT_EQ(r.out, "");

  r = Cli(module, {"--yes", "--json", "import", "--remote", kEui, file});
  EXPECT_EQ(r.status, 1);
  const auto out = nlohmann::json::parse(r.out);
  EXPECT_EQ(out.value("sections", 0), 14);
  EXPECT_EQ(out.value("sent", 0), 13);
  EXPECT_EQ(out["failed"],
            nlohmann::json::parse(R"([{"name": "Network/Max hops", "command": "AT+MAXHOPS=1"}])"));
  EXPECT_EQ(out.value("errorLog", ""), folder.Path() + "ImportErrorLog.TXT");
  EXPECT_EQ(ReadFile(folder.Path() + "ImportErrorLog.TXT"),
            "Network/Max hops\r\nAT+MAXHOPS=1\r\n\r\n");

  // The local module takes all of it, without a question.
  r = Cli(module, {"import", file});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Sent 14 of 14 commands from " + file + "\n");
  EXPECT_EQ(r.err, "");

  r = Cli(module, {"import", folder.Path() + "missing.zgb"});
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.err, HasSubstr("ERROR: The configuration file is invalid."));
}

}  // namespace
}  // namespace zendra::test
