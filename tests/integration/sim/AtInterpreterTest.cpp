// The simulated module's application firmware as the host sees it on the line.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

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

  // Echo is on at start: the command comes back first, then the reply. The
  // command runs at its CR, so the echo of its LF follows the reply.
  EXPECT_EQ(bench.Ask("AT+PRODUCTNAME\r\n", "OK\r\n\n"),
            "AT+PRODUCTNAME\r\r\nMA11\r\n\r\nOK\r\n\n");
  // ATE0 turns the echo off at its CR: its LF is not echoed.
  EXPECT_EQ(bench.Ask("ATE0\r\n", "OK\r\n"), "ATE0\r\r\nOK\r\n");

  EXPECT_EQ(bench.Command("AT+LONGADDR\r\n"), "\r\n000D6F0000A1B2C3\r\n\r\nOK\r\n");
  EXPECT_EQ(bench.Command("AT+NODENAME\r\n"), "\r\nZendra1\r\n\r\nOK\r\n");
  EXPECT_EQ(bench.Command("AT+VERSION\r\n"), "\r\nv1.10.0\r\n\r\nOK\r\n");
  EXPECT_EQ(bench.Command("AT+NODETYPE\r\n"), "\r\n1\r\n\r\nOK\r\n");
  // Names in any case, and lines ended by "\n" alone.
  EXPECT_EQ(bench.Command("at+productname\n"), "\r\nMA11\r\n\r\nOK\r\n");
  EXPECT_EQ(bench.Command("ATR1\r\n"), "\r\nOK\r\n");
  EXPECT_EQ(bench.Command("AT+NOSUCH\r\n"), "\r\nERROR\r\n");
  // An empty line gets no answer: only the OK of the following command arrives.
  EXPECT_EQ(bench.Command("\r\nAT\r\n"), "\r\nOK\r\n");

  // The node name is writable, values keep their case; product and address are not.
  EXPECT_EQ(bench.Command("AT+NODENAME=Kitchen Node\r\n"), "\r\nOK\r\n");
  EXPECT_EQ(bench.Command("AT+NODENAME\r\n"), "\r\nKitchen Node\r\n\r\nOK\r\n");
  EXPECT_EQ(bench.Command("AT+PRODUCTNAME=MB11\r\n"), "\r\nERROR\r\n");
  EXPECT_EQ(bench.module->Register("at+nodename"), "Kitchen Node");

  // ATE1 turns the echo on at its CR: its LF is echoed after the reply.
  EXPECT_EQ(bench.Ask("ATE1\r\n", "OK\r\n\n"), "\r\nOK\r\n\n");
  EXPECT_EQ(bench.Ask("AT\r\n", "OK\r\n\n"), "AT\r\r\nOK\r\n\n");

  EXPECT_THAT(
      bench.module->ReceivedLines(),
      ::testing::IsSupersetOf({"AT+PRODUCTNAME\r\n", "ATE0\r\n", "at+productname\n", "\r\n"}));
}

TEST(SimAtInterpreter, RestartIsDeafForAMomentKeepsRegistersAndComesBackWithEchoOn) {
  Options options = Quick();
  options.restartMs = 300;  // 30 ms at this scale
  SimTestBench bench(options);
  ASSERT_TRUE(bench.Ready());
  ASSERT_EQ(bench.Command("ATE0\r\n"), "ATE0\r\r\nOK\r\n");
  ASSERT_EQ(bench.Command("AT+CHANNEL=20\r\n"), "\r\nOK\r\n");

  // The second command arrives while the module restarts and is lost; the LF of
  // the ATZ line, which ran at its CR, belongs to that line.
  EXPECT_EQ(bench.Command("ATZ\r\nAT+CHANNEL\r\n"), "\r\nOK\r\n");
  EXPECT_TRUE(Eventually([&] { return !bench.module->MissedLines().empty(); }, Ms(1000)));
  EXPECT_THAT(bench.module->MissedLines(), ElementsAre("AT+CHANNEL\r\n"));
  EXPECT_THAT(bench.module->ReceivedLines(), ::testing::Contains("ATZ\r\n"));

  // Once it is back (a line that straddles the end of the restart fails), the
  // register is as it was and the echo is on, as after power-up.
  EXPECT_TRUE(Eventually(
      [&] { return bench.Ask("AT\r\n", "OK\r\n\n", Ms(200)) == "AT\r\r\nOK\r\n\n"; }, Ms(2000)));
  EXPECT_EQ(bench.Ask("AT+CHANNEL\r\n", "OK\r\n\n"), "AT+CHANNEL\r\r\n20\r\n\r\nOK\r\n\n");
}

TEST(SimAtInterpreter, AnOlderFirmwareKeepsItsEchoOffOverARestart) {
  Options options = Quick();
  options.echoKeptOverRestart = true;
  SimTestBench bench(options);
  ASSERT_TRUE(bench.Ready());
  ASSERT_EQ(bench.Command("ATE0\r\n"), "ATE0\r\r\nOK\r\n");
  EXPECT_EQ(bench.Command("ATZ\r\n"), "\r\nOK\r\n");
  EXPECT_TRUE(Eventually([&] { return bench.Command("AT\r\n", Ms(200)) == "\r\nOK\r\n"; },
                         Ms(2000)));
  EXPECT_EQ(bench.Command("AT+CHANNEL\r\n"), "\r\n11\r\n\r\nOK\r\n");
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
  ASSERT_EQ(bench.Command("ATE0\r\n"), "ATE0\r\r\nOK\r\n");

  auto sent = std::chrono::steady_clock::now();
  EXPECT_EQ(bench.Command("AT+RC=000D6F00000B0B0B,AT+PRODUCTNAME\r\n"), "\r\nMC21X\r\n\r\nOK\r\n");
  EXPECT_GE(std::chrono::steady_clock::now() - sent, Ms(150));

  // The address in any case, the manager's lower-case form of the command.
  EXPECT_EQ(bench.Command("at+rc=000d6f00000b0b0b,at+version\r\n"), "\r\nv3.0.1\r\n\r\nOK\r\n");
  EXPECT_EQ(bench.Command("AT+RC=000D6F00000B0B0B,AT+CHANNEL\r\n"), "\r\n12\r\n\r\nOK\r\n");
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
  EXPECT_EQ(bench.Ask("AT+VERSION\r\n", "OK\r\n\n"), "AT+VERSION\r\r\nv1.10.0\r\n\r\nOK\r\n\n");
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
  ASSERT_EQ(bench.Command("ATE0\r\n"), "ATE0\r\r\nOK\r\n");  // awake after its start

  ASSERT_TRUE(Eventually([&] { return bench.module->Asleep(); }, Ms(2000)));
  // The first command only wakes it; the second is heard.
  EXPECT_EQ(bench.Command("AT+VERSION\r\nAT+NODETYPE\r\n"), "\r\n4\r\n\r\nOK\r\n");
  EXPECT_THAT(bench.module->MissedLines(), ElementsAre("AT+VERSION\r\n"));
  EXPECT_THAT(bench.module->ReceivedLines(), ElementsAre("ATE0\r\n", "AT+NODETYPE\r\n"));

  // The manager's wake-up: a lone line feed, then the command.
  ASSERT_TRUE(Eventually([&] { return bench.module->Asleep(); }, Ms(2000)));
  EXPECT_EQ(bench.Command("\nAT+VERSION\r\n"), "\r\nv1.10.0\r\n\r\nOK\r\n");
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
  EXPECT_EQ(bench.Ask("AT\r\n", "OK\r\n\n"), "AT\r\r\nOK\r\n\n");

  std::ifstream log(options.logFile);
  std::string first, second;
  std::getline(log, first);
  std::getline(log, second);
  EXPECT_EQ(nlohmann::json::parse(first), nlohmann::json({{"line", "ATE0\r\n"}}));
  EXPECT_EQ(nlohmann::json::parse(second), nlohmann::json({{"line", "AT\r\n"}}));
  std::filesystem::remove(options.logFile);
}

}  // namespace
}  // namespace zendra::test::modsim
