// zendra-cli installed as a package lays it out: the program in PREFIX/bin, its
// definition files in PREFIX/share/zendra-manager/definitions. The real program is
// copied into such a tree and run from there.

#include <gmock/gmock.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "CliProcess.h"
#include "support/ScopedEnvironment.h"
#include "support/TempFolder.h"
#include "support/http/LoopbackUpdateServer.h"

namespace zendra::test {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

// A parameter no built-in register set and no sample file has: only a module and a
// loader that read the installed folder know it. Its factory value is the range's
// minimum.
constexpr const char* kShippedEntry =
    "\r\n[Installed/Shipped marker]10;Range = 3;Max = 9;\r\n"
    " Help: <Only in the installed definition folder.>;\r\n"
    " Command = AT+SHIPPED;\r\n";

class InstalledTree {
 public:
  InstalledTree() {
    fs::create_directories(Bin());
    fs::create_directories(Shipped());
    fs::copy_file(Program("zendra-cli"), Bin() + "zendra-cli");
    fs::permissions(Bin() + "zendra-cli", fs::perms::owner_all);
    // The sample file of the simulated module's default firmware, with one more entry.
    std::ofstream(Shipped() + "MA11_v1.10.0.zmcon", std::ios::binary)
        << ReadFile(Program("MA11_v1.10.0.zmcon")) << kShippedEntry;
  }

  std::string Bin() const { return prefix_.Path() + "bin/"; }
  std::string Shipped() const { return prefix_.Path() + "share/zendra-manager/definitions/"; }
  std::string UserFolder() const { return prefix_.Path() + "data/zendra-manager/definitions/"; }

  Result Cli(std::vector<std::string> args) const {
    // At the protocol's own time: a loaded machine does not make a late answer a
    // silent module. A run takes about a second.
    args.insert(args.begin(), Bin() + "zendra-cli");
    return RunProgram(args);
  }

 private:
  TempFolder prefix_;
  // The user's data folder of this test, not the one of whoever runs it.
  ScopedEnvironment data_{"XDG_DATA_HOME", prefix_.Path() + "data"};
};

std::vector<std::string> Files(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(InstalledLayout, TheLoaderAndTheSimulatedModuleReadTheInstalledDefinitionFolder) {
  InstalledTree tree;
  auto r = tree.Cli({"--no", "--simulate", "get", "Shipped marker"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "3\n");

  r = tree.Cli({"--no", "--simulate", "params"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("Shipped marker"));
  EXPECT_THAT(r.err, Not(HasSubstr("Could not recognize the firmware version")));
}

TEST(InstalledLayout, DownloadsGoToTheUsersFolderAndTheInstalledOnesStayAsShipped) {
  InstalledTree tree;
  LoopbackUpdateServer server;
  server.Serve("Configs", "VEXA\r\nMA11_v1.12.0.zmcon\r\n");
  server.Serve("MA11_v1.12.0.zmcon",
               "[Node/Downloaded name]String;Range = 1;Max = 16;\r\n"
               " Help: <Came from the server.>;\r\n"
               " Command = AT+NODENAME;\r\n");

  auto r = tree.Cli({"--update-server", server.BaseUrl(), "download-definitions"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, tree.UserFolder() + "MA11_v1.12.0.zmcon\n");

  // A module whose file came with no package: the update question's download lands
  // in the user's folder too, and the loader reads it from there.
  fs::remove(tree.UserFolder() + "MA11_v1.12.0.zmcon");
  r = tree.Cli(
      {"--yes", "--update-server", server.BaseUrl(), "--simulate=--version v1.12.0", "params"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.err, HasSubstr("Could not recognize the firmware version"));
  EXPECT_THAT(r.out, HasSubstr("Downloaded name"));
  EXPECT_TRUE(fs::exists(tree.UserFolder() + "MA11_v1.12.0.zmcon"));

  EXPECT_EQ(Files(tree.Shipped()), std::vector<std::string>{"MA11_v1.10.0.zmcon"});
  EXPECT_EQ(Files(tree.Bin()), std::vector<std::string>{"zendra-cli"});
}

}  // namespace
}  // namespace zendra::test
