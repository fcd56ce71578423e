// The simulated module's application firmware as the host sees it on the line.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "SimTestBench.h"

namespace zendra::test::modsim {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

Options Quick() {
  Options options;
  options.timeScale = 0.1;
  return options;
}

TEST(SimAtInterpreter, EchoesUntilAte0AndRepliesInTheModulesLayout) {
  SimTestBench bench(Quick());
  ASSERT_TRUE(bench.Ready());

  // Echo is on at start: the command comes back first, then the reply.
  EXPECT_EQ(bench.Ask("AT+PRODUCTNAME\r\n", "OK\r\n"), "AT+PRODUCTNAME\r\n\r\nMA11\r\nOK\r\n");
  EXPECT_EQ(bench.Ask("ATE0\r\n", "OK\r\n"), "ATE0\r\n\r\nOK\r\n");

  EXPECT_EQ(bench.Command("AT+LONGADDR\r\n"), "\r\n000D6F0000A1B2C3\r\nOK\r\n");
  EXPECT_EQ(bench.Command("AT+NODENAME\r\n"), "\r\nZendra1\r\nOK\r\n");
  EXPECT_EQ(bench.Command("AT+VERSION\r\n"), "\r\nv1.10.0\r\nOK\r\n");
  EXPECT_EQ(bench.Command("AT+NODETYPE\r\n"), "\r\n1\r\nOK\r\n");
  // Names in any case, and lines ended by "\n" alone.
  EXPECT_EQ(bench.Command("at+productname\n"), "\r\nMA11\r\nOK\r\n");
  EXPECT_EQ(bench.Command("ATR1\r\n"), "\r\nOK\r\n");
  EXPECT_EQ(bench.Command("AT+NOSUCH\r\n"), "\r\nERROR\r\n");
  // An empty line gets no answer: only the OK of the following command arrives.
  EXPECT_EQ(bench.Command("\r\nAT\r\n"), "\r\nOK\r\n");

  // The node name is writable, values keep their case; product and address are not.
  EXPECT_EQ(bench.Command("AT+NODENAME=Kitchen Node\r\n"), "\r\nOK\r\n");
  EXPECT_EQ(bench.Command("AT+NODENAME\r\n"), "\r\nKitchen Node\r\nOK\r\n");
  EXPECT_EQ(bench.Command("AT+PRODUCTNAME=MB11\r\n"), "\r\nERROR\r\n");
  EXPECT_EQ(bench.module->Register("at+nodename"), "Kitchen Node");

  EXPECT_EQ(bench.Ask("ATE1\r\n", "OK\r\n"), "\r\nOK\r\n");
  EXPECT_EQ(bench.Ask("AT\r\n", "OK\r\n"), "AT\r\n\r\nOK\r\n");

  EXPECT_THAT(
      bench.module->ReceivedLines(),
      ::testing::IsSupersetOf({"AT+PRODUCTNAME\r\n", "ATE0\r\n", "at+productname\n", "\r\n"}));
}

TEST(SimAtInterpreter, RestartIsDeafForAMomentAndKeepsRegistersAndEcho) {
  Options options = Quick();
  options.restartMs = 300;  // 30 ms at this scale
  SimTestBench bench(options);
  ASSERT_TRUE(bench.Ready());
  ASSERT_EQ(bench.Command("ATE0\r\n"), "ATE0\r\n\r\nOK\r\n");
  ASSERT_EQ(bench.Command("AT+CHANNEL=20\r\n"), "\r\nOK\r\n");

  // The second command arrives while the module restarts and is lost.
  EXPECT_EQ(bench.Command("ATZ\r\nAT+CHANNEL\r\n"), "\r\nOK\r\n");
  EXPECT_TRUE(Eventually([&] { return !bench.module->MissedLines().empty(); }, Ms(1000)));
  EXPECT_THAT(bench.module->MissedLines(), ElementsAre("AT+CHANNEL\r\n"));

  // Once it is back, the register is as it was and echo is still off.
  std::string reply;
  EXPECT_TRUE(Eventually(
      [&] {
        reply = bench.Command("AT+CHANNEL\r\n", Ms(200));
        return !reply.empty();
      },
      Ms(2000)));
  EXPECT_EQ(reply, "\r\n20\r\nOK\r\n");
}

class SimRegisters : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = std::filesystem::temp_directory_path() /
            ("modsim_regs_" + std::to_string(::getpid()) + ".zmcon");
    std::ofstream(path_)
        << "; test registers\n"
           "[Serial/Baud]10;Combo_list = 9600:19200:115200;Value_list = 3:4:7;About: <Speed.>;\n"
           "  Command = ATS00;\n"
           "[Serial/Flow]10;Combo_list = None:RTS/CTS:XON;Handshake: <None.>;Command = ATS01;\n"
           "[Radio/Channel]10;Range = 11;Max = 26;Channel: <11 to 26.>;Command = AT+CHANNEL;\n"
           "[Radio/PAN]16;Range = 0010;Max = 0FFF;PAN: <Hex.>;Command = ATS03;\n"
           "[Radio/Key]String(16);Range = 0;Max = FF;Key: <Hex because of the 16.>;Command = "
           "ATS04;\n"
           "[Node/Label]String;Range = 2;Max = 5;Label: <2 to 5 characters.>;Command = ATS05;\n"
           "[Node/Free]String;Range=1;Max = 3;Free: <No blank after the equals: no range.>;Command "
           "= ATS06;\n"
           "[Node/Counter]Get;Counter: <Read only.>;Command = ATS07;\n"
           "[Node/Name]String;Range = 1;Max = 8;Name: <1 to 8.>;Command = AT+NODENAME;\n"
           "[Radio/Power]10;Range = -8;Max = 8;Power: <dBm.>;Command = AT+POWER;\n"
           "[Security Settings/Key]16;Range = 00000000000000000000000000000000;\n"
           "  Max = 0FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF;Key: <128 bits.>;Command = AT+KEY;\n"
           "[Node/Type]10;Combo_list = Coordinator:Router:End device:Sleepy end device;Value_list "
           "= 1:2:3:4;\n"
           "  Type: <Takes effect after a restart.>;Command = AT+NODETYPE;\n";
  }
  void TearDown() override { std::filesystem::remove(path_); }

  std::filesystem::path path_;
};

TEST_F(SimRegisters, WritesAreCheckedAgainstTheDefinitionFile) {
  Options options = Quick();
  options.definitionsFile = path_.string();
  options.registerValues = {{"AT+CHANNEL", "15"}};
  SimTestBench bench(options);
  ASSERT_TRUE(bench.Ready()) << bench.module->LastError();
  ASSERT_EQ(bench.Command("ATE0\r\n"), "ATE0\r\n\r\nOK\r\n");

  // Factory values: first value-list entry, choice 0, range minimum (or the
  // override), "0" for a plain number, the node's own name.
  EXPECT_EQ(bench.Command("ATS00\r\n"), "\r\n3\r\nOK\r\n");
  EXPECT_EQ(bench.Command("ATS01\r\n"), "\r\n0\r\nOK\r\n");
  EXPECT_EQ(bench.Command("AT+CHANNEL\r\n"), "\r\n15\r\nOK\r\n");
  EXPECT_EQ(bench.Command("ATS03\r\n"), "\r\n0010\r\nOK\r\n");
  EXPECT_EQ(bench.Command("ATS07\r\n"), "\r\n0\r\nOK\r\n");
  EXPECT_EQ(bench.Command("AT+NODENAME\r\n"), "\r\nZendra1\r\nOK\r\n");

  struct Case {
    const char* line;
    bool accepted;
  };
  // clang-format off
  const Case cases[] = {
      {"ATS00=7", true}, {"ATS00=5", false}, {"ATS01=2", true}, {"ATS01=3", false}, {"ATS01=x", false},
      {"AT+CHANNEL=26", true}, {"AT+CHANNEL=27", false}, {"AT+CHANNEL=10", false},
      {"AT+CHANNEL=1a", false}, {"AT+POWER=-8", true}, {"AT+POWER=-9", false}, {"AT+POWER=+3", false},
      {"AT+POWER=", false}, {"ATS03=0fff", true}, {"ATS03=1000", false}, {"ATS03=000F", false},
      {"AT+KEY=00FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF", true}, {"AT+KEY=0x1", false},
      {"AT+KEY=FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF", false}, {"ATS04=FF", true}, {"ATS04=100", false},
      {"ATS05=ab", true}, {"ATS05=abcde", true}, {"ATS05=a", false}, {"ATS05=abcdef", false},
      {"ATS06=anything long", true}, {"ATS07=5", false}, {"AT+NODETYPE=5", false},
      {"AT+NODENAME=Attic", true}, {"AT+NODENAME=", false}, {"AT+NODENAME=NineChars", false},
      {"AT+VERSION=9.9", false}, {"at+channel=11", true},
  };
  // clang-format on

  for (const auto& c : cases) {
    EXPECT_EQ(bench.Command(std::string(c.line) + "\r\n"),
              c.accepted ? "\r\nOK\r\n" : "\r\nERROR\r\n")
        << c.line;
  }
  EXPECT_EQ(bench.Command("AT+CHANNEL\r\n"), "\r\n11\r\nOK\r\n");
  EXPECT_EQ(bench.Command("ATS05\r\n"), "\r\nabcde\r\nOK\r\n");
  EXPECT_EQ(bench.module->Register("ATS00"), "7");

  // A value set from outside is served as it stands.
  bench.module->SetRegister("ATS07", "42");
  EXPECT_EQ(bench.Command("ATS07\r\n"), "\r\n42\r\nOK\r\n");

  // Factory default: every register back, the version untouched.
  EXPECT_EQ(bench.Command("AT&f\r\n"), "\r\nOK\r\n");
  EXPECT_EQ(bench.module->Register("ATS00"), "3");
  EXPECT_EQ(bench.module->Register("AT+CHANNEL"), "15");
  EXPECT_EQ(bench.module->Register("ATS05"), "2");
  EXPECT_EQ(bench.module->Register("ATS07"), "0");
  EXPECT_EQ(bench.module->Register("AT+NODENAME"), "Zendra1");
  EXPECT_EQ(bench.module->Register("AT+NODETYPE"), "1");
  EXPECT_EQ(bench.module->Register("AT+KEY"), "00000000000000000000000000000000");
  EXPECT_EQ(bench.module->Version(), "v1.10.0");
  // Echo survives the factory default.
  EXPECT_EQ(bench.Command("ATS00\r\n"), "\r\n3\r\nOK\r\n");

  // The file makes the node type writable; it takes effect at the next start,
  // here as a sleepy end device.
  EXPECT_EQ(bench.Command("AT+NODETYPE=4\r\n"), "\r\nOK\r\n");
  EXPECT_EQ(bench.Command("ATZ\r\n"), "\r\nOK\r\n");
  EXPECT_TRUE(Eventually([&] { return bench.module->Asleep(); }, Ms(2000)));
}

TEST(SimAtInterpreter, MissingDefinitionFileFailsTheStart) {
  Options options;
  options.definitionsFile = "/nonexistent/modsim.zmcon";
  ModuleSimulator module(options);
  EXPECT_FALSE(module.Start());
  EXPECT_THAT(module.LastError(), HasSubstr("/nonexistent/modsim.zmcon"));
}

TEST(SimAtInterpreter, RemoteNodesAnswerThroughRcAfterTheRadioDelay) {
  Options options;
  options.radioDelayMs = 150;
  RemoteNode far;
  far.euiAddress = "000D6F00000B0B0B";
  far.productName = "MC21X";
  far.version = "v3.0.1";
  far.nodeName = "Barn";
  far.registerValues = {{"AT+CHANNEL", "12"}};
  options.remotes.push_back(far);
  SimTestBench bench(options);
  ASSERT_TRUE(bench.Ready());
  ASSERT_EQ(bench.Command("ATE0\r\n"), "ATE0\r\n\r\nOK\r\n");

  auto sent = std::chrono::steady_clock::now();
  EXPECT_EQ(bench.Command("AT+RC=000D6F00000B0B0B,AT+PRODUCTNAME\r\n"), "\r\nMC21X\r\nOK\r\n");
  EXPECT_GE(std::chrono::steady_clock::now() - sent, Ms(150));

  // The address in any case, the manager's lower-case form of the command.
  EXPECT_EQ(bench.Command("at+rc=000d6f00000b0b0b,at+version\r\n"), "\r\nv3.0.1\r\nOK\r\n");
  EXPECT_EQ(bench.Command("AT+RC=000D6F00000B0B0B,AT+CHANNEL\r\n"), "\r\n12\r\nOK\r\n");
  EXPECT_EQ(bench.Command("AT+RC=000D6F00000B0B0B,AT+CHANNEL=30\r\n"), "\r\nERROR\r\n");
  EXPECT_EQ(bench.Command("AT+RC=000D6F00000B0B0B,AT+CHANNEL=25\r\n"), "\r\nOK\r\n");
  EXPECT_EQ(bench.module->RemoteRegister("000D6F00000B0B0B", "AT+CHANNEL"), "25");
  EXPECT_EQ(bench.module->Register("AT+CHANNEL"), "11") << "the local module's register is its own";
  EXPECT_EQ(bench.Command("AT+RC=000D6F00000B0B0B,ATZ\r\n"), "\r\nOK\r\n");

  sent = std::chrono::steady_clock::now();
  EXPECT_EQ(bench.Command("AT+RC=000D6F00000C0C0C,AT+PRODUCTNAME\r\n"), "\r\nERROR\r\n");
  EXPECT_GE(std::chrono::steady_clock::now() - sent, Ms(150));
  EXPECT_EQ(bench.Command("AT+RC=000D6F00000B0B0B,AT+BOOTLOAD\r\n"), "\r\nERROR\r\n");
  EXPECT_FALSE(bench.module->InBootloader());
}

TEST(SimAtInterpreter, DataModeIgnoresCommandsUntilTheEscape) {
  Options options = Quick();
  options.dataMode = true;
  SimTestBench bench(options);
  ASSERT_TRUE(bench.Ready());

  bench.host->Write("AT+VERSION\r\n");
  ASSERT_TRUE(bench.module->WaitForLine("AT+VERSION", Ms(1000)));
  // No echo and no answer to the line above: the escape's OK is all there is.
  EXPECT_EQ(bench.Ask("+++", "OK\r\n"), "\r\nOK\r\n");
  EXPECT_EQ(bench.Ask("AT+VERSION\r\n", "OK\r\n"), "AT+VERSION\r\n\r\nv1.10.0\r\nOK\r\n");
  // In command mode the escape is simply acknowledged.
  EXPECT_EQ(bench.Ask("+++", "OK\r\n"), "+++\r\nOK\r\n");
  EXPECT_THAT(bench.module->ReceivedLines(),
              ElementsAre("AT+VERSION\r\n", "+++", "AT+VERSION\r\n", "+++"));

  // Transparent data need not end in a line end before the escape.
  Options again = Quick();
  again.dataMode = true;
  SimTestBench second(again);
  ASSERT_TRUE(second.Ready());
  EXPECT_EQ(second.Ask("payload 17+++", "OK\r\n"), "\r\nOK\r\n");
  EXPECT_THAT(second.module->ReceivedLines(), ElementsAre("payload 17", "+++"));
}

TEST(SimAtInterpreter, SleepyEndDeviceMissesACommandThatDidNotWakeIt) {
  Options options;
  options.nodeType = 4;
  options.sleepAfterMs = 150;
  SimTestBench bench(options);
  ASSERT_TRUE(bench.Ready());
  ASSERT_EQ(bench.Command("ATE0\r\n"), "ATE0\r\n\r\nOK\r\n");  // awake after its start

  ASSERT_TRUE(Eventually([&] { return bench.module->Asleep(); }, Ms(2000)));
  // The first command only wakes it; the second is heard.
  EXPECT_EQ(bench.Command("AT+VERSION\r\nAT+NODETYPE\r\n"), "\r\n4\r\nOK\r\n");
  EXPECT_THAT(bench.module->MissedLines(), ElementsAre("AT+VERSION\r\n"));
  EXPECT_THAT(bench.module->ReceivedLines(), ElementsAre("ATE0\r\n", "AT+NODETYPE\r\n"));

  // The manager's wake-up: a lone line feed, then the command.
  ASSERT_TRUE(Eventually([&] { return bench.module->Asleep(); }, Ms(2000)));
  EXPECT_EQ(bench.Command("\nAT+VERSION\r\n"), "\r\nv1.10.0\r\nOK\r\n");
  EXPECT_THAT(bench.module->MissedLines(), ElementsAre("AT+VERSION\r\n", "\n"));
}

TEST(SimAtInterpreter, SilentModuleAnswersNothingButStillHearsTheLine) {
  Options options = Quick();
  options.faults.silent = true;
  options.logFile =
      (std::filesystem::temp_directory_path() / ("modsim_log_" + std::to_string(::getpid())))
          .string();
  std::filesystem::remove(options.logFile);
  SimTestBench bench(options);
  ASSERT_TRUE(bench.Ready());

  bench.host->Write("ATE0\r\n");
  ASSERT_TRUE(bench.module->WaitForLine("ATE0", Ms(1000)));
  bench.module->SetFaults(Faults{});
  // Neither echo nor OK came for ATE0: echo is still on, and this is all there is.
  EXPECT_EQ(bench.Ask("AT\r\n", "OK\r\n"), "AT\r\n\r\nOK\r\n");

  std::ifstream log(options.logFile);
  std::string first, second;
  std::getline(log, first);
  std::getline(log, second);
  EXPECT_EQ(first, "ATE0\\r\\n");
  EXPECT_EQ(second, "AT\\r\\n");
  std::filesystem::remove(options.logFile);
}

}  // namespace
}  // namespace zendra::test::modsim
