// zendra-cli's remote update and clone as a script runs them: the real program
// with its in-process simulated network, checking what it prints and its exit
// status.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <nlohmann/json.hpp>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/TempFolder.h"

extern char** environ;

namespace zendra::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs zendra-cli (next to this test program) to its end, stdout and stderr
// collected through files.
CliRun Cli(const std::vector<std::string>& args) {
  TempFolder folder;
  const std::string outPath = folder.Path() + "out", errPath = folder.Path() + "err";
  const std::string program =
      std::filesystem::read_symlink("/proc/self/exe").parent_path() / "zendra-cli";
  std::vector<std::string> all{program, "--time-scale", "0.1"};
  all.insert(all.end(), args.begin(), args.end());
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  CliRun run;
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  std::ifstream out(outPath), err(errPath);
  run.out.assign(std::istreambuf_iterator<char>(out), {});
  run.err.assign(std::istreambuf_iterator<char>(err), {});
  return run;
}

const std::string kA = "000D6F0000000B01";
const std::string kB = "000D6F0000000B02";
const std::string kC = "000D6F0000000B03";

// The simulated module with three remote MA11 nodes at v1.9.5, and `more` options.
std::string Network(const std::string& more = {}) {
  return "--simulate=--time-scale 0.1 --relay-block-ms 5 --clone-ms 3000 --remote " + kA +
         ",MA11,v1.9.5 --remote " + kB + ",MA11,v1.9.5 --remote " + kC + ",MA11,v1.9.5 " + more;
}

std::string WriteImage(const TempFolder& folder, const std::string& model = "MA11") {
  const std::string path = folder.Path() + model + "_v1.11.0.ebl";
  std::string bytes = "EBL" + std::string(1, '\0') + model + std::string(1, '\0') +
                      "VERSION=v1.11.0" + std::string(1, '\0');
  for (int i = 0; i < 1200; ++i) bytes.push_back(static_cast<char>(i * 5 + 1));
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

TEST(RemoteCommandLine, UpdateOfTwoRemotesReadsTheirNewVersionsBack) {
  TempFolder folder;
  const auto image = WriteImage(folder);
  const CliRun r = Cli({"--baud", "115200", "--json", Network(), "update", image, "--remote", kA,
                     "--remote", kC});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto devices = nlohmann::json::parse(r.out);
  ASSERT_EQ(devices.size(), 2u);
  EXPECT_EQ(devices[0]["address"], kA);
  EXPECT_EQ(devices[1]["address"], kC);
  for (const auto& d : devices) {
    EXPECT_EQ(d["outcome"], "completed");
    EXPECT_EQ(d["firmwareVersion"], "v1.11.0");
  }
  // Each device's steps on stderr, named; one after the other in the order given.
  const auto first = r.err.find(kA + ": Preparing for firmware update...");
  const auto second = r.err.find(kC + ": Preparing for firmware update...");
  EXPECT_NE(first, std::string::npos);
  EXPECT_LT(first, second);
  EXPECT_THAT(r.err, HasSubstr(kA + ": Remote firmware update is completed successfully. Please wait."));
  EXPECT_THAT(r.err, HasSubstr(kC + ": All remote firmware updates are completed successfully."));
  EXPECT_THAT(r.err, Not(HasSubstr(kB)));
}

TEST(RemoteCommandLine, CloneCopiesTheLocalFirmwareToTheRemote) {
  const CliRun r = Cli({"--baud", "115200", "--json", Network(), "clone", "--remote", kB});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto devices = nlohmann::json::parse(r.out);
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0]["outcome"], "completed");
  EXPECT_EQ(devices[0]["firmwareVersion"], "v1.10.0");  // the local module's
  EXPECT_THAT(r.err, HasSubstr(kB + ": The remote firmware update is completed successfully."));
}

TEST(RemoteCommandLine, AFailingDeviceAmongThreeIsReportedAndTheOthersAreUpdated) {
  TempFolder folder;
  const auto image = WriteImage(folder);
  const CliRun r = Cli({"--baud", "115200", Network("--remote-fault " + kB + ",bootload-error"),
                     "update", image, "--remote", kA, "--remote", kB, "--remote", kC});
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(r.out, kA + "  completed  v1.11.0\n" + kB + "  not-started  v1.9.5\n" + kC +
                       "  completed  v1.11.0\n");
  EXPECT_THAT(r.err, HasSubstr("ERROR: The remote device does not respond."));
  // The closing names the failed device; no "completed successfully" for the run.
  EXPECT_THAT(r.err, HasSubstr(kC + ": Remote firmware update failed for 1 of 3 devices."));
  EXPECT_THAT(r.err, HasSubstr("ERROR: Remote firmware update failed for 1 of 3 devices:"));
  EXPECT_THAT(r.err, HasSubstr(kB + " (Remote): the remote device did not respond."));
  EXPECT_THAT(r.err, Not(HasSubstr("All remote firmware updates are completed successfully.")));
}

TEST(RemoteCommandLine, AfterAFailedRelayTheVersionIsTheRemotesNotTheRelaysError) {
  // The relay refuses every block: the upload is cancelled and the relay's abort
  // text crosses the radio (the module's usual hop, not the quick one of the other
  // tests) while the program moves on to read the versions.
  TempFolder folder;
  const auto image = WriteImage(folder);
  const std::string network = "--simulate=--time-scale 0.1 --relay-block-ms 40 --remote " + kA +
                              ",MA11,v1.9.5 --remote " + kC + ",MA11,v1.9.5 --remote-fault " + kA +
                              ",refuse-every-block";
  // The failing device comes last: the versions are read right after it.
  const CliRun r =
      Cli({"--baud", "115200", "--json", network, "update", image, "--remote", kC, "--remote", kA});
  EXPECT_EQ(r.status, 1) << r.err;
  const auto devices = nlohmann::json::parse(r.out);
  ASSERT_EQ(devices.size(), 2u);
  EXPECT_EQ(devices[0]["outcome"], "completed");
  EXPECT_EQ(devices[0]["firmwareVersion"], "v1.11.0");
  EXPECT_EQ(devices[1]["outcome"], "transmit-error");
  EXPECT_EQ(devices[1]["firmwareVersion"], "v1.9.5") << r.err;  // kept its firmware
}

TEST(RemoteCommandLine, AFailedCloneSaysWhyInItsJsonAndExitsWithOne) {
  const CliRun r = Cli({"--baud", "115200", "--json",
                        Network("--remote-fault " + kB + ",clone-error"), "clone", "--remote", kA,
                        "--remote", kB});
  EXPECT_EQ(r.status, 1) << r.err;
  const auto devices = nlohmann::json::parse(r.out);
  ASSERT_EQ(devices.size(), 2u);
  EXPECT_EQ(devices[0]["outcome"], "completed");
  EXPECT_FALSE(devices[0].contains("reason"));
  EXPECT_EQ(devices[1]["address"], kB);
  EXPECT_EQ(devices[1]["nodeName"], "Remote");
  EXPECT_EQ(devices[1]["outcome"], "clone-error");
  EXPECT_EQ(devices[1]["reason"], "the local module reported an error while cloning");
  EXPECT_THAT(r.err, HasSubstr(kB + ": Remote firmware update failed for 1 of 2 devices."));
  EXPECT_THAT(r.err, Not(HasSubstr("All firmware updates are completed successfully.")));
}

TEST(RemoteCommandLine, RefusedChecksExitWithTwoAndSendNothing) {
  TempFolder folder;
  const auto image = WriteImage(folder);
  const auto other = WriteImage(folder, "MB11");
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"--baud", "9600", Network("--baud auto"), "update", image, "--remote", kA},
       "ERROR: Please change the baudrate to 115200."},
      {{"--baud", "115200", Network(), "update", other, "--remote", kA, "--remote", kB},
       "ERROR: The firmware file is incorrect for the remote device(" + kA + ")."},
      {{"--baud", "115200", Network(), "clone", "--remote", kA + "\r\nATZ"},
       "ERROR: Invalid remote address: it holds a comma or a control character"},
  };
  for (const Case& c : cases) {
    const CliRun r = Cli(c.args);
    EXPECT_EQ(r.status, 2) << c.message << "\n" << r.err;
    EXPECT_THAT(r.err, HasSubstr(c.message));
    EXPECT_THAT(r.err, Not(HasSubstr("Preparing")));
    EXPECT_EQ(r.out, "");
  }
}

}  // namespace
}  // namespace zendra::test
