// zendra-cli's params --filter, dump, diff and import --only-changed against a
// zendra-modsim process that serves the sample definition file MA11_v1.10.0 (19
// parameters, 14 of them writable) and logs every line it receives.

#include <gmock/gmock.h>

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "CliProcess.h"
#include "support/TempFolder.h"

namespace zendra::test {
namespace {

using ::testing::ContainsRegex;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

// The lines the module received, from its log.
std::vector<std::string> Received(const std::string& log) { return ModuleLogLines(log); }

// The lines received since `from`, and of those the ones that set a value.
std::vector<std::string> Since(const std::string& log, std::size_t from) {
  const std::vector<std::string> all = Received(log);
  return {all.begin() + static_cast<std::ptrdiff_t>(std::min(from, all.size())), all.end()};
}
std::vector<std::string> Writes(const std::vector<std::string>& lines) {
  std::vector<std::string> writes;
  for (const auto& line : lines)
    if (line.find('=') != std::string::npos) writes.push_back(line);
  return writes;
}

std::vector<std::string> GroupNames(const nlohmann::json& params) {
  std::vector<std::string> names;
  for (const auto& group : params["groups"]) {
    std::string line = group["group"];
    for (const auto& p : group["parameters"]) line += "|" + p["name"].get<std::string>();
    names.push_back(line);
  }
  return names;
}

TEST(ParamsFilter, ListsOnlyTheParametersThatHoldTheTextWithTheirGroups) {
  ModuleProcess module({});
  auto r = Cli(module, {"--json", "params", "--filter", "KEY"});
  EXPECT_EQ(r.status, 0) << r.err;
  auto out = nlohmann::json::parse(r.out);
  EXPECT_EQ(out.value("filter", ""), "KEY");
  // Two names hold it, and two descriptions ("the network key").
  EXPECT_THAT(GroupNames(out),
              ElementsAre("Security Settings|Encryption|Network key|Link key|Key update"));

  // A group's name brings all of it; a description brings one parameter elsewhere.
  r = Cli(module, {"--json", "params", "--filter", "serial"});
  EXPECT_THAT(GroupNames(nlohmann::json::parse(r.out)),
              ElementsAre("Serial|Baud rate|Flow control|Escape guard time"));
  r = Cli(module, {"--json", "params", "--filter", "millivolts"});
  EXPECT_THAT(GroupNames(nlohmann::json::parse(r.out)), ElementsAre("Power|Supply voltage"));

  r = Cli(module, {"params", "--filter", "baud"});
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.out, ContainsRegex("^Serial\n  Baud rate +10 +AT\\+BAUD  1200:2400:"));
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2);

  r = Cli(module, {"--json", "params", "--filter", "no such words"});
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(nlohmann::json::parse(r.out)["groups"], IsEmpty());

  // Without a filter: the whole tree, as before.
  r = Cli(module, {"--json", "params"});
  out = nlohmann::json::parse(r.out);
  EXPECT_FALSE(out.contains("filter"));
  EXPECT_EQ(out["groups"].size(), 5u);
}

TEST(Dump, ReadsEveryParameterIntoATableAndWritesNothing) {
  TempFolder folder;
  const std::string log = folder.Path() + "module.log";
  ModuleProcess module({"--set", "AT+CHANNEL=15", "--set", "AT+BAUD=7", "--log", log});
  auto r = Cli(module, {"--json", "dump"});
  EXPECT_EQ(r.status, 0) << r.err;
  const auto out = nlohmann::json::parse(r.out);
  EXPECT_EQ(out.value("definitionFile", ""), "MA11_v1.10.0.zmcon");
  EXPECT_EQ(out.value("read", 0), 19);
  EXPECT_EQ(out.value("failed", -1), 0);
  ASSERT_EQ(out["parameters"].size(), 19u);
  std::map<std::string, nlohmann::json> byName;
  for (const auto& p : out["parameters"]) byName[p["parameter"]] = p;
  EXPECT_EQ(byName["Network/Channel"]["value"], "15");
  EXPECT_EQ(byName["Network/Channel"]["command"], "AT+CHANNEL");
  EXPECT_EQ(byName["Serial/Baud rate"]["value"], "7");
  EXPECT_EQ(byName["Serial/Baud rate"]["choice"], "115200");
  EXPECT_EQ(byName["Node/Firmware version"]["value"], "v1.10.0");
  EXPECT_EQ(byName["Node/Firmware version"]["readOnly"], true);
  EXPECT_EQ(out["parameters"][0]["parameter"], "Node/Node name") << "in the file's order";
  // Every one asked for, read-only ones included; nothing set.
  const std::vector<std::string> lines = Received(log);
  for (const char* read : {"AT+CHANNEL\r\n", "AT+VOLTAGE\r\n", "AT+KEYUPDATE\r\n"})
    EXPECT_EQ(std::count(lines.begin(), lines.end(), read), 1) << read;
  EXPECT_THAT(Writes(lines), IsEmpty());

  r = Cli(module, {"dump"});
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.out, ContainsRegex("\nSerial/Baud rate +115200 \\(7\\)\n"));
  EXPECT_THAT(r.out, ContainsRegex("\nNetwork/Channel +15\n"));
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 19);
}

TEST(Dump, AParameterTheModuleRefusesIsListedAsNotReadAndFailsTheCommand) {
  ModuleProcess module({"--error-command", "AT+CHANNEL"});
  auto r = Cli(module, {"dump"});
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.out, ContainsRegex("\nNetwork/Channel +\\(not read\\)\n"));
  EXPECT_THAT(r.out, ContainsRegex("\nNetwork/Max hops +1\n")) << "the others are read";
  r = Cli(module, {"--json", "dump"});
  const auto out = nlohmann::json::parse(r.out);
  EXPECT_EQ(out.value("failed", 0), 1);
  EXPECT_EQ(out["parameters"][5]["status"], "failed");
  EXPECT_TRUE(out["parameters"][5]["value"].is_null());
}

TEST(Diff, ShowsWhatAnImportOfTheFileWouldChangeAndWritesNothing) {
  TempFolder folder;
  const std::string log = folder.Path() + "module.log";
  ModuleProcess module({"--log", log});
  const std::string file = folder.Path() + "site.zgb";
  ASSERT_EQ(Cli(module, {"export", file}).status, 0);

  auto r = Cli(module, {"diff", file});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "The device already holds every value of " + file + "\n");

  ASSERT_EQ(Cli(module, {"set", "Network/Channel=20"}).status, 0);
  ASSERT_EQ(Cli(module, {"set", "Serial/Baud rate=115200"}).status, 0);
  std::size_t mark = Received(log).size();
  r = Cli(module, {"diff", file});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "Network/Channel: 20 -> 11\n"
            "Serial/Baud rate: 115200 (7) -> 1200 (0)\n"
            "2 of 14 values differ from the device\n");
  EXPECT_EQ(r.err, "");
  EXPECT_THAT(Writes(Since(log, mark)), IsEmpty());
  EXPECT_THAT(Since(log, mark), testing::Contains("AT+CHANNEL\r\n"));

  mark = Received(log).size();
  r = Cli(module, {"--json", "diff", file});
  const auto out = nlohmann::json::parse(r.out);
  EXPECT_EQ(out.value("differences", 0), 2);
  EXPECT_EQ(out.value("unchanged", 0), 12);
  EXPECT_EQ(out.value("versionMatches", false), true);
  std::vector<std::string> changed;
  for (const auto& e : out["entries"])
    if (e["status"] == "changed")
      changed.push_back(e["parameter"].get<std::string>() + " " +
                        e["deviceValue"].get<std::string>() + " " +
                        e["fileValue"].get<std::string>());
  EXPECT_THAT(changed, ElementsAre("Network/Channel 20 11", "Serial/Baud rate 7 0"));
  EXPECT_EQ(out["entries"][5]["deviceChoice"], "115200");
  EXPECT_THAT(Writes(Since(log, mark)), IsEmpty());
}

TEST(Diff, ANoteForAnotherVersionNoQuestionAndAnInvalidFileSendsNothingAtAll) {
  TempFolder folder;
  const std::string log = folder.Path() + "module.log";
  ModuleProcess module({"--log", log});
  const std::string older = folder.Path() + "older.zgb";
  std::ofstream(older, std::ios::binary)
      << "[Firmware]\r\nVersion=MA11_v1.9.5.zmcon\r\nNum_of_saves=2\r\n"
         "[0]\r\nName=Network/Channel\r\nCommand=AT+CHANNEL=12\r\n\r\n"
         "[1]\r\nName=Radio/Boost\r\nCommand=AT+BOOST=1\r\n\r\n";
  auto r = Cli(module, {"diff", older});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "Network/Channel: 11 -> 12\n"
            "Radio/Boost: (not in the definition file) -> AT+BOOST=1\n"
            "2 of 2 values differ from the device\n");
  EXPECT_THAT(r.err, HasSubstr("was exported for MA11_v1.9.5.zmcon, the device's definition file "
                               "is MA11_v1.10.0.zmcon"));
  EXPECT_THAT(r.err, Not(HasSubstr("Would you like to continue?")));
  // A command no parameter describes is not turned into a query.
  EXPECT_THAT(Received(log), Not(testing::Contains("AT+BOOST\r\n")));

  const std::size_t mark = Received(log).size();
  std::ofstream(folder.Path() + "notes.zgb") << "just some text\n";
  r = Cli(module, {"diff", folder.Path() + "notes.zgb"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "ERROR: The configuration file is invalid.\n");
  EXPECT_THAT(Since(log, mark), IsEmpty()) << "not even the handshake";
}

TEST(ImportOnlyChanged, SendsOnlyTheCommandsWhoseValueDiffersFromTheModules) {
  TempFolder folder;
  const std::string log = folder.Path() + "module.log";
  ModuleProcess module({"--log", log});
  const std::string file = folder.Path() + "site.zgb";
  ASSERT_EQ(Cli(module, {"export", file}).status, 0);
  ASSERT_EQ(Cli(module, {"set", "Network/Channel=20"}).status, 0);
  ASSERT_EQ(Cli(module, {"set", "Node/Node name=Moved"}).status, 0);

  std::size_t mark = Received(log).size();
  auto r = Cli(module, {"import", "--only-changed", file});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Sent 2 of 14 commands from " + file + "\n12 unchanged, not sent\n");
  EXPECT_THAT(Writes(Since(log, mark)),
              ElementsAre("AT+NODENAME=Zendra1\r\n", "AT+CHANNEL=11\r\n"));

  mark = Received(log).size();
  r = Cli(module, {"--json", "import", "--only-changed", file});
  EXPECT_EQ(r.status, 0) << r.err;
  const auto out = nlohmann::json::parse(r.out);
  EXPECT_EQ(out.value("sent", -1), 0);
  EXPECT_EQ(out.value("unchanged", -1), 14);
  EXPECT_THAT(Writes(Since(log, mark)), IsEmpty());

  // Without the option every command goes, as always.
  mark = Received(log).size();
  r = Cli(module, {"import", file});
  EXPECT_EQ(r.out, "Sent 14 of 14 commands from " + file + "\n");
  EXPECT_EQ(Writes(Since(log, mark)).size(), 14u);
}

}  // namespace
}  // namespace zendra::test
