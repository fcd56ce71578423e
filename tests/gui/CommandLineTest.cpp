// zendra-manager's command line: --simulate with the simulated module's options,
// help, and the refusal of what it does not know.

#include <gmock/gmock.h>

#include <CLI/CLI.hpp>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <string>
#include <vector>

#include "ModuleSimulator.h"
#include "app/ManagerCommandLine.h"

namespace zendra::test {
namespace {

using ::testing::HasSubstr;
using Action = ManagerCommandLine::Action;

ManagerCommandLine Parse(std::vector<const char*> args) {
  args.insert(args.begin(), "zendra-manager");
  return ManagerCommandLine::Parse(static_cast<int>(args.size()), args.data());
}

TEST(ManagerCommandLine, RunsWithoutASimulatedModuleWhenNotAskedFor) {
  const auto line = Parse({});
  EXPECT_EQ(line.action, Action::kRun);
  EXPECT_FALSE(line.simulate);
}

TEST(ManagerCommandLine, TakesTheSimulatedModulesOptions) {
  auto line = Parse({"--simulate"});
  ASSERT_EQ(line.action, Action::kRun);
  EXPECT_TRUE(line.simulate);
  EXPECT_EQ(line.Simulator().ModuleOptions("/nonexistent/").baudRate, 0)
      << "auto by default: the module follows the chosen rate";

  line =
      Parse({"--simulate", "--product", "MC21X", "--version", "v1.0.0", "--node-type", "4",
             "--damaged", "--baud", "115200", "--eui", "000D6F0000000009", "--node-name", "Gate"});
  ASSERT_EQ(line.action, Action::kRun) << line.message;
  const auto options = line.Simulator().ModuleOptions("/nonexistent/");
  EXPECT_EQ(options.productName, "MC21X");
  EXPECT_EQ(options.version, "v1.0.0");
  EXPECT_EQ(options.nodeType, 4);
  EXPECT_TRUE(options.damaged);
  EXPECT_EQ(options.baudRate, 115200);
  EXPECT_EQ(options.euiAddress, "000D6F0000000009");
  EXPECT_EQ(options.nodeName, "Gate");
  EXPECT_EQ(options.definitionsFile, "");
}

TEST(ManagerCommandLine, GivesTheModuleTheDefinitionFileOfTheProgramFolder) {
  QTemporaryDir folder;
  QFile file(folder.filePath("MB11_v3.0.zmcon"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();
  const auto line = Parse({"--simulate", "--product", "MB11", "--version", "v3.0"});
  const std::string programFolder = folder.path().toStdString() + "/";
  EXPECT_EQ(line.Simulator().ModuleOptions(programFolder).definitionsFile,
            programFolder + "MB11_v3.0.zmcon");
}

TEST(ManagerCommandLine, RefusesWhatItDoesNotKnowWithTheUsage) {
  const struct {
    std::vector<const char*> args;
    const char* complaint;
  } cases[] = {
      {{"--frobnicate"}, "--frobnicate"},
      {{"--product", "MB11"}, "--product needs --simulate"},
      {{"--simulate", "--baud", "9601"}, "9601"},
      {{"--simulate", "--node-type", "x"}, "--node-type"},
      // The documentation's pictures are zendra-screenshots' (its own options).
      {{"--simulate", "--screenshot", "window.png"}, "--screenshot"},
  };
  for (const auto& c : cases) {
    const auto line = Parse(c.args);
    EXPECT_EQ(line.action, Action::kError) << c.complaint;
    EXPECT_THAT(line.message, HasSubstr(c.complaint));
    EXPECT_THAT(line.message, HasSubstr("Usage: zendra-manager"));
  }
  // The window works with one module.
  const auto many = Parse({"--simulate", "--count", "2"});
  EXPECT_EQ(many.action, Action::kError);
  EXPECT_THAT(many.message, HasSubstr("--count is for zendra-modsim and zendra-cli"));
  EXPECT_EQ(Parse({"--simulate", "--count", "1"}).action, Action::kRun);
  const auto help = Parse({"--help"});
  EXPECT_EQ(help.action, Action::kHelp);
  EXPECT_THAT(help.message, HasSubstr("--simulate"));
  EXPECT_THAT(help.message, HasSubstr("--node-name"));
  EXPECT_THAT(help.message, ::testing::Not(HasSubstr("--screenshot")));
}

// Another program on the window reads the same line with options of its own, and
// names itself in its messages.
TEST(ManagerCommandLine, TakesAnotherProgramsOwnOptionsAndNamesThatProgram) {
  std::string picture;
  const auto options = [&picture](CLI::App& app) {
    app.add_option("--screenshot", picture)->required();
  };
  std::vector<const char*> args{"zendra-screenshots", "--simulate", "--screenshot", "w.png"};
  auto line = ManagerCommandLine::Parse(static_cast<int>(args.size()), args.data(),
                                        "zendra-screenshots", options);
  EXPECT_EQ(line.action, Action::kRun);
  EXPECT_TRUE(line.simulate);
  EXPECT_EQ(picture, "w.png");

  args = {"zendra-screenshots", "--product", "MB11", "--screenshot", "w.png"};
  line = ManagerCommandLine::Parse(static_cast<int>(args.size()), args.data(), "zendra-screenshots",
                                   options);
  EXPECT_EQ(line.action, Action::kError);
  EXPECT_THAT(line.message, HasSubstr("zendra-screenshots: --product needs --simulate"));
  EXPECT_THAT(line.message, HasSubstr("Usage: zendra-screenshots"));

  args = {"zendra-screenshots", "--simulate"};
  line = ManagerCommandLine::Parse(static_cast<int>(args.size()), args.data(), "zendra-screenshots",
                                   options);
  EXPECT_EQ(line.action, Action::kError);
  EXPECT_THAT(line.message, HasSubstr("--screenshot is required"));
}

}  // namespace
}  // namespace zendra::test

namespace zendra::test {
namespace {

TEST(ManagerCommandLine, TakesAnUpdateServerAndRefusesOneThatIsNotUsableByName) {
  EXPECT_EQ(Parse({}).updateServer, std::nullopt);
  auto line = Parse({"--update-server", "updates.example.com:8080"});
  ASSERT_EQ(line.action, Action::kRun) << line.message;
  EXPECT_EQ(line.updateServer, "updates.example.com:8080");
  // An empty value forgets the remembered server.
  line = Parse({"--update-server", ""});
  ASSERT_EQ(line.action, Action::kRun) << line.message;
  EXPECT_EQ(line.updateServer, "");

  line = Parse({"--update-server", "ftp://files.example/zm"});
  EXPECT_EQ(line.action, Action::kError);
  EXPECT_THAT(line.message, HasSubstr("\"ftp://files.example/zm\" (from --update-server)"));
}

}  // namespace
}  // namespace zendra::test
