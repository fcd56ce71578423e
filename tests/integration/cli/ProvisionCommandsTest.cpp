// zendra-cli provision and records as a production line runs them: against a
// zendra-modsim process serving several modules, what they print, their exit
// status, the records they leave, and the bad inputs that send nothing at all.

#include <gmock/gmock.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <thread>

#include "CliProcess.h"
#include "support/FirmwareImageFile.h"
#include "support/TempFolder.h"
#include "support/TestDefinitions.h"

namespace zendra::test {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class ProvisionCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    simDefinitions = folder.Write("module.zmcon.sim", kTestDefinitions);
    folder.Write("MA11_v1.10.0.zmcon", kTestDefinitions);
    folder.Write("MA11_v1.11.0.zmcon", kTestDefinitions);
    config = folder.Write("line.zgb",
                          "[Firmware]\r\nVersion=MA11_v1.11.0.zmcon\r\nNum_of_saves=1\r\n"
                          "[0]\r\nName=Radio/Channel\r\nCommand=AT+CHANNEL=21\r\n");
    database = folder.Path() + "records.db";
  }
  std::vector<std::string> SimOptions(std::vector<std::string> more = {}) {
    std::vector<std::string> options{"--baud", "auto", "--definitions", simDefinitions};
    options.insert(options.end(), more.begin(), more.end());
    return options;
  }
  // zendra-cli at a tenth of the protocol's time, the line at the bootloader's rate.
  Result Provision(std::vector<std::string> args) {
    std::vector<std::string> all{Program("zendra-cli"), "--time-scale", "0.1", "--baud", "115200"};
    for (auto& a : args) all.push_back(a);
    return RunProgram(all);
  }
  std::vector<std::string> Inputs() {
    return {"--image",       image.Path(),  "--config", config,
            "--definitions", folder.Path(), "--record", database};
  }

  TempFolder folder;
  FirmwareImageFile image{"MA11", "v1.11.0", 3000};
  std::string simDefinitions, config, database;
};

TEST_F(ProvisionCommand, ProvisionsEveryPortAndRecordsListsWhatItDid) {
  ModuleProcess modules(SimOptions(), 2);
  std::vector<std::string> args{"--json",           "provision", "--port",
                                modules.Ports()[0], "--port",    modules.Ports()[1]};
  for (const auto& a : Inputs()) args.push_back(a);
  const Result r = Provision(args);
  EXPECT_EQ(r.status, 0) << r.err;
  const auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 2u) << r.out;
  std::set<std::string> euis;
  for (const auto& line : lines) {
    const auto o = nlohmann::json::parse(line);
    EXPECT_EQ(o["outcome"], "passed") << line;
    EXPECT_EQ(o["product"], "MA11");
    EXPECT_EQ(o["firmwareBefore"], "v1.10.0");
    EXPECT_EQ(o["firmwareAfter"], "v1.11.0");
    EXPECT_TRUE(o["failedStep"].is_null());
    EXPECT_GT(o["seconds"].get<double>(), 0.0);
    euis.insert(o["euiAddress"]);
  }
  EXPECT_EQ(euis, (std::set<std::string>{"000D6F0000A1B2C3", "000D6F0000A1B2C4"}))
      << "each module of --count has its own address";
  EXPECT_THAT(r.err, HasSubstr("2 modules: 2 passed, 0 did not"));

  const Result csv = RunProgram({Program("zendra-cli"), "records", "--record", database, "--csv"});
  EXPECT_EQ(csv.status, 0) << csv.err;
  const auto rows = Lines(csv.out);
  ASSERT_EQ(rows.size(), 3u) << csv.out;
  EXPECT_THAT(rows[0], StartsWith("id,time,station,port,product,euiAddress,"));
  EXPECT_THAT(rows[1], HasSubstr(",MA11,"));
  EXPECT_THAT(rows[1], HasSubstr(",v1.10.0,v1.11.0,"));
  EXPECT_THAT(rows[1], HasSubstr(",passed,"));

  const Result one = RunProgram(
      {Program("zendra-cli"), "records", "--record", database, "--eui", "000d6f0000a1b2c4"});
  EXPECT_EQ(one.status, 0) << one.err;
  ASSERT_EQ(Lines(one.out).size(), 1u) << one.out;
  EXPECT_THAT(one.out, HasSubstr("000D6F0000A1B2C4  MA11  v1.10.0 -> v1.11.0"));
  const Result none =
      RunProgram({Program("zendra-cli"), "records", "--record", database, "--since", "2099-01-01"});
  EXPECT_EQ(none.status, 0);
  EXPECT_THAT(none.out, IsEmpty());
  const Result badSince =
      RunProgram({Program("zendra-cli"), "records", "--record", database, "--since", "yesterday"});
  EXPECT_EQ(badSince.status, 2);
}

TEST_F(ProvisionCommand, BadInputIsRefusedWithStatusTwoAndNothingReachesAnyModule) {
  const std::string log = folder.Path() + "sent.log";
  ModuleProcess module(SimOptions({"--log", log}));
  const std::string port = module.Port();
  const auto refused = [&](std::vector<std::string> args, const std::string& message) {
    const Result r = Provision(args);
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_THAT(r.err, HasSubstr(message));
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  };
  auto with = [&](std::vector<std::string> args) {
    for (const auto& a : Inputs()) args.push_back(a);
    return args;
  };
  refused(with({"provision", "--port", port, "--port", port}), "is given twice");
  refused(with({"provision", "--port", port, "--port", folder.Path() + "ttyUSB9"}),
          "no such port: " + folder.Path() + "ttyUSB9");
  const FirmwareImageFile nextImage("MA11", "v1.12.0", 3000);
  const std::string other = nextImage.Path();
  refused({"provision", "--port", port, "--image", other, "--config", config, "--record", database},
          "is for MA11_v1.11.0.zmcon, but the image makes the modules MA11_v1.12.0.zmcon");
  refused({"provision", "--port", port, "--image", folder.Write("notes.ebl", "no firmware"),
           "--record", database},
          "carries none of the known model codes");
  const FirmwareImageFile notes("MA11", "v1.11.0", 2000, FirmwareImageFile::Form::kText);
  refused({"provision", "--port", port, "--image", notes.Path(), "--record", database},
          "ERROR: The file is text, not a firmware image.");
  refused(
      {"provision", "--port", port, "--image", image.Path(), "--record", "/proc/zendra-records.db"},
      "the records database /proc/zendra-records.db");
  refused({"provision", "--port", port, "--set", "Radio/Channel", "--record", database},
          "--set wants NAME=VALUE");
  const Result slow = RunProgram({Program("zendra-cli"), "--baud", "9600", "provision", "--port",
                                  port, "--image", image.Path(), "--record", database});
  EXPECT_EQ(slow.status, 2);
  EXPECT_THAT(slow.err, HasSubstr("an update needs the line at 115200 baud"));
  refused({"provision", "--record", database}, "no port given");
  refused({"provision", "--all-ports", "--port", port, "--record", database},
          "--all-ports finds the ports itself");
  refused(
      {"--trace", folder.Path() + "line.trace", "provision", "--port", port, "--record", database},
      "--trace follows the line of one port");
  EXPECT_THAT(ReadFile(log), IsEmpty()) << "not one byte reached the module";

  // With --yes the file of another version is taken.
  const Result yes = Provision({"--yes", "provision", "--port", port, "--image", other, "--config",
                                config, "--definitions", folder.Path(), "--record", database});
  EXPECT_EQ(yes.status, 0) << yes.err;
}

TEST_F(ProvisionCommand, AModuleOfAnotherModelIsSkippedAndTheRunDoesNotPass) {
  ModuleProcess module(SimOptions({"--product", "MB11", "--version", "v3.0"}));
  auto args = std::vector<std::string>{"--json", "provision", "--port", module.Port()};
  for (const auto& a : Inputs()) args.push_back(a);
  const Result r = Provision(args);
  EXPECT_EQ(r.status, 1) << r.err;
  const auto o = nlohmann::json::parse(r.out);
  EXPECT_EQ(o["outcome"], "skipped");
  EXPECT_EQ(o["failedStep"], "update");
  EXPECT_EQ(o["message"], "The image is built for MA11; the module is MB11. Not flashed.");
  EXPECT_EQ(o["firmwareAfter"], "v3.0");
}

// zendra-cli running in the background, its output in files.
class Background {
 public:
  explicit Background(const std::vector<std::string>& args) {
    out_ = folder_.Path() + "out";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, (folder_.Path() + "err").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Background() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  std::string Out() const { return ReadFile(out_); }
  std::string Err() const { return ReadFile(folder_.Path() + "err"); }
  // Waits until standard output holds `text`.
  bool WaitForOutput(const std::string& text, std::chrono::seconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (Out().find(text) == std::string::npos) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
  }
  // Sends `signal` and waits for the end; the exit status.
  int Stop(int signal) {
    kill(pid_, signal);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

 private:
  TempFolder folder_;
  std::string out_;
  pid_t pid_ = -1;
};

TEST_F(ProvisionCommand, WatchProvisionsEachModuleAsItIsPluggedInUntilCtrlC) {
  ModuleProcess modules(SimOptions(), 2);
  const std::string hub1 = folder.Path() + "hub1", hub2 = folder.Path() + "hub2";
  std::vector<std::string> args{Program("zendra-cli"),
                                "--time-scale",
                                "0.1",
                                "--baud",
                                "115200",
                                "provision",
                                "--watch",
                                "--port",
                                hub1,
                                "--port",
                                hub2};
  for (const auto& a : Inputs()) args.push_back(a);
  Background watch(args);
  std::filesystem::create_symlink(modules.Ports()[0], hub1);
  // Polling for output is the test's own waiting: the program under test runs
  // in another process and tells only through its output.
  ASSERT_TRUE(watch.WaitForOutput("done \u2014 unplug", std::chrono::seconds(60))) << watch.Err();
  std::filesystem::create_symlink(modules.Ports()[1], hub2);
  ASSERT_TRUE(watch.WaitForOutput("000D6F0000A1B2C4  done \u2014 unplug", std::chrono::seconds(60)))
      << watch.Out() << watch.Err();
  std::filesystem::remove(hub1);
  ASSERT_TRUE(watch.WaitForOutput(hub1 + "  unplugged", std::chrono::seconds(30))) << watch.Out();
  EXPECT_EQ(watch.Stop(SIGINT), 0) << watch.Err();
  EXPECT_THAT(watch.Err(), HasSubstr("2 modules: 2 passed, 0 did not"));
  const Result csv = RunProgram({Program("zendra-cli"), "records", "--record", database, "--csv"});
  EXPECT_EQ(Lines(csv.out).size(), 3u) << csv.out;
}

}  // namespace
}  // namespace zendra::test
