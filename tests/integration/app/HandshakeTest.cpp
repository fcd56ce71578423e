// The connect handshake against the simulated module: one test per way it can end
// and per edge case worth keeping.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <algorithm>
#include <chrono>
#include <thread>

#include "base/Clock.h"
#include "support/SimHarness.h"

namespace zendra::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* kReloadQuestion = "The local device's firmware was demaged. Do you want to reload?";

bool Has(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// A line that ends in `tail` (bytes garbled at a wrong rate may precede it).
bool HasEnding(const std::vector<std::string>& lines, const std::string& tail) {
  return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) {
    return l.size() >= tail.size() && l.compare(l.size() - tail.size(), tail.size(), tail) == 0;
  });
}

template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds timeout = 3s) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

TEST(Handshake, AModuleThatAnswersAtOnceIsIdentifiedWithoutEscapeOrProbe) {
  SimHarness h;
  ASSERT_TRUE(h.Connect(9600));
  auto& c = h.Conn();
  EXPECT_TRUE(c.IsOpen());
  EXPECT_EQ(c.Device().productName, "MA11");
  EXPECT_EQ(c.Device().euiAddress, "000D6F0000A1B2C3");
  EXPECT_EQ(c.Device().nodeName, "Zendra1");
  EXPECT_EQ(c.Device().firmwareVersion, "v1.10.0");
  EXPECT_EQ(c.DefinitionFileName(), "MA11_v1.10.0.zmcon");
  EXPECT_FALSE(c.Device().sleepy);
  EXPECT_TRUE(h.Op().Messages().empty());
  // Exactly what went over the line, in order.
  EXPECT_EQ(h.Sim().ReceivedLines(),
            (std::vector<std::string>{"\r\n", "ATE0\r\n", "ATR1\r\n", "\r\n", "ATE0\r\n",
                                      "AT+NODETYPE\r\n", "AT+PRODUCTNAME\r\n", "AT+LONGADDR\r\n",
                                      "AT+NODENAME\r\n", "AT+VERSION\r\n"}));
}

TEST(Handshake, AModuleInTransparentModeIsReachedThroughTheEscape) {
  sim::Options o;
  o.dataMode = true;
  SimHarness h(o, 0.05);
  ASSERT_TRUE(h.Connect(9600));
  const auto lines = h.Sim().ReceivedLines();
  ASSERT_TRUE(Has(lines, "+++"));
  const auto escape = std::find(lines.begin(), lines.end(), "+++");
  EXPECT_EQ(std::vector<std::string>(escape, escape + 3),
            (std::vector<std::string>{"+++", "ATE0\r\n", "ATR1\r\n"}));
  EXPECT_FALSE(Has(lines, "\x03"));  // no bootloader probe
  EXPECT_EQ(h.Conn().Device().firmwareVersion, "v1.10.0");
}

TEST(Handshake, APortThatCannotBeOpenedIsReported) {
  FakeOperator op;
  Connection c(op);
  EXPECT_FALSE(c.Connect("/dev/zendra-no-such-port", LineSettings{}));
  EXPECT_EQ(op.Messages(), std::vector<std::string>{"ERROR: Could not open serial port."});
  // The port's path and the system's reason come as the second text.
  EXPECT_EQ(op.Details(), std::vector<std::string>{"/dev/zendra-no-such-port: there is no such "
                                                   "serial port (No such file or directory)."});
  EXPECT_EQ(c.LastFailure(), Connection::Failure::kPortNotOpened);
  EXPECT_FALSE(c.IsOpen());
  EXPECT_EQ(op.WaitDepth(), 0);
}

TEST(Handshake, APortInUseOrForbiddenSaysWhatToDoAboutIt) {
  SimHarness h;
  ASSERT_TRUE(h.OpenPort(9600));  // another program holds the port
  FakeOperator op;
  Connection second(op);
  EXPECT_FALSE(second.Connect(h.Sim().PortPath(), LineSettings{}));
  EXPECT_EQ(op.Details(),
            std::vector<std::string>{h.Sim().PortPath() + " is in use by another program."});

  // A device this user may not open (root opens anything: only the unprivileged
  // run sees this).
  if (::geteuid() == 0) GTEST_SKIP() << "root may open any device";
  const std::string forbidden = std::filesystem::temp_directory_path() / "zendra-forbidden-tty";
  { std::ofstream(forbidden) << ""; }
  std::filesystem::permissions(forbidden, std::filesystem::perms::none);
  op.Clear();
  EXPECT_FALSE(second.Connect(forbidden, LineSettings{}));
  std::filesystem::remove(forbidden);
  ASSERT_EQ(op.Details().size(), 1u);
  EXPECT_THAT(op.Details()[0], ::testing::HasSubstr("permission denied"));
  EXPECT_THAT(op.Details()[0], ::testing::HasSubstr("\"dialout\" group"));
}

TEST(Handshake, AModuleThatAnswersNothingEndsDisconnected) {
  sim::Options o;
  o.faults.silent = true;
  o.baudRate = 0;
  SimHarness h(o, 0.05);
  EXPECT_FALSE(h.Connect(9600));
  EXPECT_EQ(h.Op().Messages(), std::vector<std::string>{"ERROR: The device does not respond."});
  // What to check: the rate, the power.
  ASSERT_EQ(h.Op().Details().size(), 1u);
  EXPECT_THAT(h.Op().Details()[0], ::testing::HasSubstr("baud rate"));
  EXPECT_THAT(h.Op().Details()[0], ::testing::HasSubstr("powered"));
  EXPECT_EQ(h.Conn().LastFailure(), Connection::Failure::kNoResponse);
  EXPECT_FALSE(h.Conn().IsOpen());
  EXPECT_FALSE(h.Port().IsOpen());
  // It tried the escape and then looked for the bootloader menu at 115200.
  const auto lines = h.Sim().ReceivedLines();
  EXPECT_TRUE(Has(lines, "+++"));
  EXPECT_TRUE(Has(lines, "\x03\n"));  // the application takes ETX and "\n" as one line
}

TEST(Handshake, AModuleAtAnotherRateIsNotReached) {
  SimHarness h({}, 0.05);  // the module's UART runs at 9600
  EXPECT_FALSE(h.Connect(19200));
  EXPECT_EQ(h.Op().Messages(), std::vector<std::string>{"ERROR: The device does not respond."});
  EXPECT_GT(h.Sim().GarbledBytes(), 0u);
}

TEST(Handshake, ADamagedModuleFoundAt9600IsOfferedAReloadAndNoLeavesItDisconnected) {
  sim::Options o;
  o.damaged = true;
  SimHarness h(o, 0.05);
  EXPECT_FALSE(h.Connect(9600));
  EXPECT_EQ(h.Op().Questions(), std::vector<std::string>{kReloadQuestion});
  EXPECT_TRUE(h.Op().Messages().empty());
  EXPECT_EQ(h.Conn().LastFailure(), Connection::Failure::kReloadDeclined);
  EXPECT_FALSE(h.Port().IsOpen());
  const auto lines = h.Sim().ReceivedLines();
  EXPECT_TRUE(HasEnding(lines, "\x03"));
  EXPECT_TRUE(Has(lines, "2"));
  EXPECT_TRUE(h.Sim().InBootloader());
}

TEST(Handshake, YesToTheReloadRunsTheReloadAtTheBootloaderRateThenReopens) {
  sim::Options o;
  o.damaged = true;
  SimHarness h(o, 0.05);
  h.Op().QueueAnswer(true);
  int reloads = 0;
  int rateDuringReload = 0;
  h.Conn().SetHooks({.reloadFirmware =
                         [&](LineLease& line) {
                           ++reloads;
                           rateDuringReload = line.Port().BaudRate();
                         },
                     .applyModelRule = {}});
  // The reload here changes nothing: the module stays in its bootloader at 115200
  // while the port is reopened at the operator's 9600.
  EXPECT_FALSE(h.Connect(9600));
  EXPECT_EQ(reloads, 1);
  EXPECT_EQ(rateDuringReload, 115200);
  EXPECT_EQ(h.Op().Messages(),
            std::vector<std::string>{"ERROR: The local device does not respond. Please check baud rate."});
  EXPECT_EQ(h.Conn().LastFailure(), Connection::Failure::kCheckBaudRate);
  EXPECT_FALSE(h.Port().IsOpen());
}

TEST(Handshake, AModuleWaitingInItsBootloaderWithGoodFirmwareIsConnectedAt115200) {
  sim::Options o;
  o.baudRate = 115200;
  SimHarness h(o, 0.05);
  // Leave the module in its bootloader menu.
  ASSERT_TRUE(h.OpenPort(115200));
  ASSERT_EQ(h.Link().QueryAtCommand("AT+BOOTLOAD\n", 2), "ENTER");
  h.Port().Close();
  h.Link().portOpen = false;
  ASSERT_TRUE(h.Sim().InBootloader());

  ASSERT_TRUE(h.Connect(9600));
  EXPECT_FALSE(h.Sim().InBootloader());
  EXPECT_EQ(h.Port().BaudRate(), 115200);  // the line stays at the rate that answered
  EXPECT_EQ(h.Conn().Settings().baudRate, 9600);  // while the operator's choice is unchanged
  EXPECT_EQ(h.Conn().Device().productName, "MA11");
  EXPECT_TRUE(h.Op().Questions().empty());
}

TEST(Handshake, AModuleSilentAfterTwoIsReopenedWithTheOperatorsSettingsAndConnected) {
  sim::Options o;
  o.faults.quietStart = true;  // the firmware starts without a word
  // The pauses around the second "\r\n" must outlast the module's answer to the
  // garbage it heard at the wrong rate; keep them at a fifth of real time.
  SimHarness h(o, 0.2);
  // Leave the module in its bootloader menu (it answers AT+BOOTLOAD at 9600).
  ASSERT_TRUE(h.OpenPort(9600));
  ASSERT_EQ(h.Link().QueryAtCommand("AT+BOOTLOAD\n", 2), "ENTER");
  h.Port().Close();
  h.Link().portOpen = false;

  ASSERT_TRUE(h.Connect(9600)) << testing::PrintToString(h.Op().Messages());
  EXPECT_EQ(h.Port().BaudRate(), 9600);  // reopened with the chosen settings
  EXPECT_EQ(h.Conn().Device().firmwareVersion, "v1.10.0");
  EXPECT_TRUE(h.Op().Messages().empty());
}

TEST(Handshake, AnIdentificationQueryAnsweredWithErrorLeavesErrorInItsField) {
  sim::Options o;
  o.faults.errorCommands = {"AT+NODENAME", "AT+VERSION"};
  SimHarness h(o);
  ASSERT_TRUE(h.Connect(9600));
  EXPECT_EQ(h.Conn().Device().productName, "MA11");
  EXPECT_EQ(h.Conn().Device().nodeName, "ERROR");
  EXPECT_EQ(h.Conn().Device().firmwareVersion, "ERROR");
  EXPECT_EQ(h.Conn().DefinitionFileName(), "MA11_ERROR.zmcon");
  EXPECT_TRUE(h.Op().Messages().empty());
}

TEST(Handshake, NodeTypeFourMarksASleepyEndDeviceThatIsWokenBeforeReboot) {
  sim::Options o;
  o.nodeType = 4;
  SimHarness h(o, 0.05);
  ASSERT_TRUE(h.Connect(9600));
  EXPECT_TRUE(h.Conn().Device().sleepy);
  EXPECT_EQ(h.Conn().Device().nodeType, "4");

  ASSERT_TRUE(WaitUntil([&] { return h.Sim().Asleep(); }));
  h.Sim().ClearLog();
  h.Conn().Reboot(h.Line());
  EXPECT_TRUE(h.Sim().WaitForLine("ATZ\r\n", 1s));
  EXPECT_FALSE(Has(h.Sim().MissedLines(), "ATZ\r\n"));

  // Without the wake-up the sleeping module misses the command.
  ASSERT_TRUE(WaitUntil([&] { return h.Sim().Asleep(); }));
  h.Sim().ClearLog();
  h.Link().sleepy = false;
  h.Conn().Reboot(h.Line());
  EXPECT_TRUE(Has(h.Sim().MissedLines(), "ATZ\r\n"));
}

TEST(Handshake, AnyOtherNodeTypeClearsTheSleepyMark) {
  sim::Options o;
  o.nodeType = 3;
  SimHarness h(o);
  h.Link().sleepy = true;  // left over from an earlier connection
  ASSERT_TRUE(h.Connect(9600));
  EXPECT_FALSE(h.Link().sleepy);
}

TEST(Handshake, DisconnectClearsTheDeviceInformationAndLeavesRemoteMode) {
  SimHarness h;
  ASSERT_TRUE(h.Connect(9600));
  h.Conn().SetRemoteMode(true);
  h.Conn().Disconnect();
  EXPECT_FALSE(h.Conn().IsOpen());
  EXPECT_FALSE(h.Port().IsOpen());
  EXPECT_FALSE(h.Conn().RemoteMode());
  EXPECT_EQ(h.Conn().Device().productName, "");
  EXPECT_EQ(h.Conn().Device().euiAddress, "");
  EXPECT_EQ(h.Conn().Device().nodeName, "");
  EXPECT_EQ(h.Conn().Device().firmwareVersion, "");
}

TEST(Handshake, TheModelRuleHearsWhetherTheProductIsMc21x) {
  for (const char* product : {"MC21X", "MA11"}) {
    sim::Options o;
    o.productName = product;
    SimHarness h(o);
    std::vector<bool> calls;
    h.Conn().SetHooks({.reloadFirmware = {}, .applyModelRule = [&](bool mc21x) { calls.push_back(mc21x); }});
    ASSERT_TRUE(h.Connect(9600));
    EXPECT_EQ(calls, std::vector<bool>{std::string(product) == "MC21X"}) << product;
  }
}

TEST(Handshake, ABootloaderWaitingForAnUploadIsCancelledAndTheDamagedModuleRecognised) {
  // At 115200 the handshake's own "ATR1" reaches a module in its bootloader menu,
  // whose "1" starts an upload: from then on it asks for blocks with 'C' and
  // prints nothing else.
  sim::Options o;
  o.damaged = true;
  SimHarness h(o, 0.05);
  EXPECT_FALSE(h.Connect(115200));
  EXPECT_EQ(h.Op().Questions(), std::vector<std::string>{kReloadQuestion});
  EXPECT_TRUE(h.Op().Messages().empty());
  EXPECT_EQ(h.Conn().LastFailure(), Connection::Failure::kReloadDeclined);
  EXPECT_TRUE(h.Sim().InBootloader());
}

TEST(Handshake, WithoutAReloadToOfferADamagedModuleEndsTheConnectWithoutTheQuestion) {
  sim::Options o;
  o.damaged = true;
  SimHarness h(o, 0.05);
  h.Conn().SetHooks({.offerReload = false});
  EXPECT_FALSE(h.Connect(9600));
  EXPECT_TRUE(h.Op().Questions().empty());
  EXPECT_TRUE(h.Op().Messages().empty());
  EXPECT_EQ(h.Conn().LastFailure(), Connection::Failure::kFirmwareDamaged);
  EXPECT_FALSE(h.Port().IsOpen());
}

TEST(Handshake, APortLostDuringTheHandshakeEndsItAtOnceWithTheLostPortMessage) {
  // A silent module: at real time the handshake would wait out its time-outs and
  // the bootloader probe (some ten seconds), then blame the baud rate.
  sim::Options o;
  o.faults.silent = true;
  SimHarness h(o, 1.0);
  std::thread unplug([&] {
    if (h.Sim().WaitForLine("ATR1\r\n", 10s)) h.Sim().Vanish();
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(h.Connect(9600));
  const auto took = std::chrono::steady_clock::now() - start;
  unplug.join();
  EXPECT_EQ(h.Conn().LastFailure(), Connection::Failure::kLineLost);
  EXPECT_THAT(h.Op().Messages(),
              ::testing::ElementsAre("ERROR: The serial port was lost (the device was unplugged "
                                     "or its line closed)."));
  EXPECT_LT(took, 6s);
  EXPECT_FALSE(h.Conn().IsOpen());
}

TEST(Handshake, RebootBringsTheEchoBackAndTheReadsAfterItAreStillRight) {
  SimHarness h;
  ASSERT_TRUE(h.Connect(9600));
  h.Conn().Reboot(h.Line());
  // The module restarts with its echo on; once it answers again, every query
  // still yields its value.
  ASSERT_TRUE(WaitUntil([&] { return h.Link().SendAtCommand("AT\r\n", 1); }));
  h.Conn().ShowDeviceInfo(h.Line());
  EXPECT_EQ(h.Conn().Device().productName, "MA11");
  EXPECT_EQ(h.Conn().Device().euiAddress, "000D6F0000A1B2C3");
  EXPECT_EQ(h.Conn().Device().nodeName, "Zendra1");
  EXPECT_EQ(h.Conn().Device().firmwareVersion, "v1.10.0");
  EXPECT_EQ(h.Conn().DefinitionFileName(), "MA11_v1.10.0.zmcon");
}

}  // namespace
}  // namespace zendra::test
