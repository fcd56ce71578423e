// Several simulated modules at once (--count N): each its own pseudo-terminal and
// EUI address, faults for one of them, and a module whose port goes away in the
// middle of an upload, as an adapter pulled from a hub.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "HostXmodem.h"
#include "SimTestBench.h"
#include "SimulatorCommandLine.h"

namespace zendra::test::modsim {
namespace {

using ::testing::ElementsAre;

std::vector<Options> Parse(const std::string& line) {
  SimulatorCommandLine options;
  CLI::App app;
  options.AddTo(app);
  app.parse(line, false);
  return options.FinishAll({});
}

TEST(SimModuleGroup, CountsTheAddressesUpAndGivesEachModuleItsOwnFaults) {
  const auto modules = Parse(
      "--count 4 --eui 000D6F00000000FE --product MB11 --log /tmp/line.log "
      "--module-fault 2,silent --module-fault 3,error-command=AT+CHANNEL "
      "--module-fault 3,vanish-after-block=12 --module-fault 4,damaged --error-command AT+X");
  ASSERT_EQ(modules.size(), 4u);
  std::vector<std::string> euis;
  for (const auto& m : modules) euis.push_back(m.euiAddress);
  EXPECT_THAT(euis, ElementsAre("000D6F00000000FE", "000D6F00000000FF", "000D6F0000000100",
                                "000D6F0000000101"));
  EXPECT_EQ(modules[3].productName, "MB11") << "the common options are everyone's";
  EXPECT_FALSE(modules[0].faults.silent);
  EXPECT_TRUE(modules[1].faults.silent);
  EXPECT_THAT(modules[2].faults.errorCommands, ElementsAre("AT+X", "AT+CHANNEL"));
  EXPECT_EQ(modules[2].faults.vanishAfterBlock, 12);
  EXPECT_TRUE(modules[3].damaged);
  EXPECT_EQ(modules[0].logFile, "/tmp/line.log.1");
  EXPECT_EQ(modules[3].logFile, "/tmp/line.log.4");

  const auto single = Parse("--eui 123 --log /tmp/one.log");
  ASSERT_EQ(single.size(), 1u);
  EXPECT_EQ(single[0].euiAddress, "123");
  EXPECT_EQ(single[0].logFile, "/tmp/one.log");

  for (const char* wrong :
       {"--count 2 --module-fault 3,silent", "--count 2 --module-fault 1,sulky",
        "--count 2 --module-fault 1,vanish-after-block=", "--count 2 --module-fault silent",
        "--count 2 --eui NOTHEX", "--count 3 --eui FFFFFFFFFFFFFFFE"})
    EXPECT_THROW(Parse(wrong), CLI::ValidationError) << wrong;
  EXPECT_THROW(Parse("--count 0"), CLI::ParseError);
}

TEST(SimModuleGroup, OffsetAddressesKeepTheirWidthAndRefuseOverflow) {
  EXPECT_EQ(OffsetEuiAddress("000d6f0000a1b2c3", 1), "000D6F0000A1B2C4");
  EXPECT_EQ(OffsetEuiAddress("0F", 1), "10");
  EXPECT_EQ(OffsetEuiAddress("FF", 1), "");
  EXPECT_EQ(OffsetEuiAddress("FFFFFFFFFFFFFFFF", 0), "FFFFFFFFFFFFFFFF");
  EXPECT_EQ(OffsetEuiAddress("FFFFFFFFFFFFFFFF", 1), "");
  EXPECT_EQ(OffsetEuiAddress("00000000000000001", 0), "") << "17 digits";
  EXPECT_EQ(OffsetEuiAddress("", 0), "");
}

TEST(SimModuleGroup, APortPulledMidUploadHangsUpAfterTheBlockItWasToldOf) {
  Options options;
  options.baudRate = 115200;
  options.timeScale = 0.05;
  options.faults.vanishAfterBlock = 3;
  SimTestBench bench(options, 115200);
  ASSERT_TRUE(bench.Ready());
  ASSERT_EQ(bench.Ask("AT+BOOTLOAD\n", "BOOTLOADER\r\n"), "AT+BOOTLOAD\n\r\nENTER BOOTLOADER\r\n");
  bench.host->Write("\n1");
  ASSERT_TRUE(bench.host->ReadUntilContains("C", Ms(2000)));
  const std::string image(10 * 128, 'p');
  for (int block = 1; block <= 2; ++block) {
    bench.host->Take();
    bench.host->Write(Block(block, image));
    ASSERT_TRUE(bench.host->ReadUntilContains(std::string(1, kAck), Ms(2000))) << block;
  }
  bench.host->Write(Block(3, image));
  EXPECT_TRUE(bench.host->WaitForHangUp(Ms(2000)));
  EXPECT_TRUE(bench.module->ReceivedImages().empty());
}

TEST(SimModuleGroup, TheProgramServesEveryModuleOnItsOwnPort) {
  const auto program =
      std::filesystem::read_symlink("/proc/self/exe").parent_path() / "zendra-modsim";
  if (!std::filesystem::exists(program)) GTEST_SKIP() << "zendra-modsim is not built";
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    execl(program.c_str(), "zendra-modsim", "--builtin-definitions", "--count", "3", "--eui",
          "000D6F0000000010", "--module-fault", "2,silent", "--baud", "38400",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  FILE* stream = fdopen(out[0], "r");
  std::vector<std::string> ports;
  char line[256];
  for (int i = 0; i < 3 && fgets(line, sizeof line, stream); ++i) {
    ports.emplace_back(line);
    ports.back().pop_back();
  }
  ASSERT_EQ(ports.size(), 3u);
  EXPECT_EQ(std::set<std::string>(ports.begin(), ports.end()).size(), 3u);
  const char* answers[] = {"000D6F0000000010", nullptr, "000D6F0000000012"};
  for (int i = 0; i < 3; ++i) {
    HostPort host(ports[static_cast<std::size_t>(i)], 38400);
    ASSERT_TRUE(host.IsOpen());
    host.Write("AT+LONGADDR\r\n");
    if (answers[i]) {
      EXPECT_TRUE(host.ReadUntilContains(std::string(answers[i]) + "\r\n\r\nOK\r\n", Ms(2000))) << i;
    } else {
      EXPECT_TRUE(host.StaysQuiet(Ms(300))) << "module 2 is silent";
    }
  }
  kill(child, SIGTERM);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  fclose(stream);
}

}  // namespace
}  // namespace zendra::test::modsim
