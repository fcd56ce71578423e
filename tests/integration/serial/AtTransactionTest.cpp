// The AT transactions over a real pseudo-terminal against the simulated module.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <thread>

#include "base/Clock.h"
#include "support/SimHarness.h"

namespace zendra::test {
namespace {

using namespace std::chrono_literals;
using Ms = std::chrono::milliseconds;

constexpr const char* kRemote = "0013A20040AABBCC";

// A module whose UART follows whatever rate the host sets.
sim::Options AnyRate() {
  sim::Options o;
  o.baudRate = 0;
  return o;
}

sim::Options WithRemote() {
  sim::Options o = AnyRate();
  sim::RemoteNode node;
  node.euiAddress = kRemote;
  node.version = "v3.0";
  node.productName = "MB11";
  o.remotes.push_back(node);
  return o;
}

sim::Options Silent() {
  sim::Options o = AnyRate();
  o.faults.silent = true;
  return o;
}

Ms Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<Ms>(std::chrono::steady_clock::now() - start);
}

TEST(AtTransactions, LocalQueriesReturnTheReplyLineAndSendsReportOk) {
  SimHarness h(WithRemote());
  ASSERT_TRUE(h.OpenPort(9600));
  EXPECT_TRUE(h.Link().SendAtCommand("ATE0\r\n", 1));
  EXPECT_EQ(h.Link().QueryAtCommand("AT+VERSION\r\n", 1), "v1.10.0");
  EXPECT_EQ(h.Link().QueryAtCommand("AT+PRODUCTNAME\r\n", 1), "MA11");
  EXPECT_TRUE(h.Sim().WaitForLine("AT+PRODUCTNAME\r\n", 1s));
  EXPECT_TRUE(h.Op().Messages().empty());
}

TEST(AtTransactions, RemoteFormsGoThroughTheLocalModuleWithTheAddressPrefix) {
  SimHarness h(WithRemote());
  ASSERT_TRUE(h.OpenPort(115200));
  ASSERT_TRUE(h.Link().SendAtCommand("ATE0\r\n", 1));
  EXPECT_EQ(h.Link().QueryRemoteAtCommand("AT+VERSION\r\n", 15, kRemote), "v3.0");
  EXPECT_TRUE(h.Sim().WaitForLine(std::string("AT+RC=") + kRemote + ",AT+VERSION\r\n", 1s));
  EXPECT_TRUE(h.Link().SendRemoteAtCommand("ATR1\r\n", 15, kRemote));
  EXPECT_FALSE(h.Link().SendRemoteAtCommand("ATR1\r\n", 15, "FFFFFFFFFFFFFFFF"));
  EXPECT_EQ(h.Link().QueryRemoteAtCommand("AT+VERSION\r\n", 15, "FFFFFFFFFFFFFFFF"), "ERROR");
}

TEST(AtTransactions, AReplySplitOverManyReadsIsJoinedBeforeItIsTested) {
  SimHarness h(Silent());
  ASSERT_TRUE(h.OpenPort(115200));
  std::thread module([&] {
    ASSERT_TRUE(h.Sim().WaitForLine("AT+NODENAME\r\n", 2s));
    h.Sim().Inject("\r\nNo");
    std::this_thread::sleep_for(20ms);  // the module pauses mid-answer
    h.Sim().Inject("de7\r\nO");
    std::this_thread::sleep_for(20ms);
    h.Sim().Inject("K\r\n");
  });
  EXPECT_EQ(h.Link().QueryAtCommand("AT+NODENAME\r\n", 2), "Node7");
  module.join();
}

TEST(AtTransactions, ErrorEndsTheTransactionAtOnce) {
  SimHarness h(AnyRate(), 1.0);
  ASSERT_TRUE(h.OpenPort(115200));
  ASSERT_TRUE(h.Link().SendAtCommand("ATE0\r\n", 1));
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(h.Link().SendAtCommand("AT+NOSUCHTHING\r\n", 5));
  EXPECT_LT(Since(start), 500ms);
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(h.Link().QueryAtCommand("AT+NOSUCHTHING\r\n", 5), "ERROR");
  EXPECT_LT(Since(start), 500ms);
}

TEST(AtTransactions, ASilentModuleTimesOutAfterTheTimeOut) {
  SimHarness h(Silent(), 0.2);  // 1 s of protocol time lasts 200 ms
  ASSERT_TRUE(h.OpenPort(9600));
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(h.Link().SendAtCommand("ATR1\r\n", 1));
  EXPECT_GE(Since(start), 195ms);
  EXPECT_LT(Since(start), 400ms);
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(h.Link().QueryRemoteAtCommand("AT+VERSION\r\n", 2, kRemote), "ERROR");
  EXPECT_GE(Since(start), 395ms);
  // A time-out of 0 waits for nothing.
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(h.Link().QueryAtCommand("AT+VERSION\r\n", 0), "ERROR");
  EXPECT_LT(Since(start), 50ms);
}

TEST(AtTransactions, WithoutAConnectionSendsComplainAndQueriesReturnEmptyText) {
  SimHarness h;
  EXPECT_FALSE(h.Link().SendAtCommand("ATZ\r\n", 3));
  EXPECT_FALSE(h.Link().SendRemoteAtCommand("ATZ\r\n", 3, kRemote));
  EXPECT_EQ(h.Op().Messages(), (std::vector<std::string>{"ERROR: Could not close serial port.",
                                                          "ERROR: Could not close serial port."}));
  h.Op().Clear();
  EXPECT_EQ(h.Link().QueryAtCommand("AT+VERSION\r\n", 1), "");
  EXPECT_EQ(h.Link().QueryRemoteAtCommand("AT+VERSION\r\n", 1, kRemote), "");
  EXPECT_TRUE(h.Op().Messages().empty());
  EXPECT_EQ(h.Op().WaitCount(), 2);  // the wait cursor shows even then
  EXPECT_EQ(h.Op().WaitDepth(), 0);
}

TEST(AtTransactions, NulBytesOnTheLineNeverReachTheReply) {
  SimHarness h(Silent());
  ASSERT_TRUE(h.OpenPort(115200));
  std::thread module([&] {
    ASSERT_TRUE(h.Sim().WaitForLine("AT+VERSION\r\n", 2s));
    h.Sim().Inject(std::string("\r\nv1\0.2\0\r\nO\0K\r\n", 15));
  });
  EXPECT_EQ(h.Link().QueryAtCommand("AT+VERSION\r\n", 2), "v1.2");
  module.join();
}

TEST(AtTransactions, BothBootloaderAnswersAreRecognised) {
  SimHarness h(Silent());
  ASSERT_TRUE(h.OpenPort(115200));
  std::thread module([&] {
    ASSERT_TRUE(h.Sim().WaitForLine("AT+BOOTLOAD\n", 2s));
    h.Sim().Inject("\r\nENTER BOOTLOADER\r\n");
  });
  EXPECT_EQ(h.Link().QueryAtCommand("AT+BOOTLOAD\n", 2), "ENTER");
  module.join();
  h.Sim().ClearLog();
  std::thread module2([&] {
    ASSERT_TRUE(h.Sim().WaitForLine("AT+BOOTLOAD=1,x\r\n", 2s));
    h.Sim().Inject("\r\nStart sending image.ebl\r\n");
  });
  EXPECT_EQ(h.Link().QueryAtCommand("AT+BOOTLOAD=1,x\r\n", 2), "START");
  module2.join();
}

// A module that sends byte by byte (a UART at 9600) finishes "OK" two characters
// before its line end. Nothing of one answer may reach the next transaction.
TEST(AtTransactions, NothingOfOneAnswerReachesTheNextTransaction) {
  SimHarness h({}, 1.0);
  ASSERT_TRUE(h.OpenPort(9600));
  ASSERT_TRUE(h.Link().SendAtCommand("ATE0\r\n", 1));
  for (int i = 0; i < 40; ++i) {
    ASSERT_EQ(h.Link().QueryAtCommand("AT+VERSION\r\n", 1), "v1.10.0") << "query " << i;
    ASSERT_EQ(h.Link().reply.substr(h.Link().reply.size() - 4), "OK\r\n");
    // Three more character times: a line end still on its way would be here now.
    std::this_thread::sleep_for(CharacterTime(9600) * 3);
    ASSERT_EQ(h.Port().Receive().Count(), 0) << "query " << i;
  }
}

TEST(SerialLine, APortVanishingMidTransactionEndsTheReaderAndTheTransactionAtOnce) {
  SimHarness h(Silent(), 0.2);
  ASSERT_TRUE(h.OpenPort(115200));
  std::thread module([&] {
    ASSERT_TRUE(h.Sim().WaitForLine("AT+VERSION\r\n", 2s));
    h.Sim().Vanish();
  });
  // 60 s of protocol time are 12 s here: the lost port ends the wait long before.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(h.Link().QueryAtCommand("AT+VERSION\r\n", 60), "ERROR");
  EXPECT_LT(Since(start), 6s);
  EXPECT_TRUE(h.Link().LineLost());
  module.join();

  const auto deadline = std::chrono::steady_clock::now() + 2s;
  while (h.Port().ReaderRunning() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(1ms);
  EXPECT_FALSE(h.Port().ReaderRunning());
  EXPECT_TRUE(h.Port().Vanished());
  EXPECT_EQ(h.Port().Write("ATZ\r\n"), 0);
  EXPECT_FALSE(h.Link().SendAtCommand("ATZ\r\n", 1));
}

TEST(SerialLine, TheOpenPortBelongsToThisProgramAlone) {
  SimHarness h;
  ASSERT_TRUE(h.OpenPort(9600));
  SerialPort second;
  EXPECT_FALSE(second.Open(h.Sim().PortPath(), 9600, 0, 8, 0, 10));
  h.Port().Close();
  EXPECT_TRUE(second.Open(h.Sim().PortPath(), 9600, 0, 8, 0, 10));
}

TEST(SerialLine, CloseEndsTheWaitingReaderAtOnce) {
  SimHarness h(Silent());
  ASSERT_TRUE(h.OpenPort(9600));
  ASSERT_TRUE(h.Port().ReaderRunning());
  const auto start = std::chrono::steady_clock::now();
  h.Port().Close();
  EXPECT_LT(Since(start), 100ms);
  EXPECT_FALSE(h.Port().ReaderRunning());
  EXPECT_FALSE(h.Port().IsOpen());
}

TEST(SerialLine, LineSettingsThePortDropsFailTheOpenInsteadOfRunningAt8N1) {
  // A pseudo-terminal takes the call for 7 data bits with parity and keeps 8 data
  // bits without: as a device that knows only 8N1 does.
  SimHarness h(AnyRate());
  const std::string path = h.Sim().PortPath();
  const struct {
    int parity, dataBits, stopBits;
  } dropped[] = {{2, 7, 0}, {1, 7, 0}, {2, 8, 0}, {1, 8, 2}};
  for (const auto& s : dropped) {
    SerialPort port;
    EXPECT_FALSE(port.Open(path, 9600, s.parity, s.dataBits, s.stopBits, 10))
        << s.parity << s.dataBits << s.stopBits;
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.LastOpenError(), SerialPort::OpenError::kSettings);
    EXPECT_THAT(port.OpenFailureDetail(),
                ::testing::HasSubstr("does not take these line settings"));
  }
  // What it can do opens: two stop bits are kept.
  SerialPort port;
  EXPECT_TRUE(port.Open(path, 9600, 0, 8, 2, 10));
  port.Close();
  EXPECT_TRUE(port.Open(path, 115200, 0, 8, 0, 10));
}

TEST(SerialLine, APortThatDoesNotExistDoesNotOpen) {
  SerialPort port;
  EXPECT_FALSE(port.Open("/dev/zendra-no-such-port", 9600, 0, 8, 0, 10));
  EXPECT_FALSE(port.Open("COM0", 9600, 0, 8, 0, 10));
  EXPECT_FALSE(port.IsOpen());
}

TEST(SerialLine, AClosedPortGivesTheTerminalBackForAnOrdinaryUsersNextOpen) {
  SimHarness h(Silent());
  ASSERT_TRUE(h.OpenPort(9600));
  h.Port().Close();
  // The exclusive flag belongs to the terminal, which the module's side keeps
  // open: left set, every later open by a user other than root fails (EBUSY).
  const int fd = ::open(h.Sim().PortPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  int exclusive = -1;
  ASSERT_EQ(::ioctl(fd, TIOCGEXCL, &exclusive), 0);
  ::close(fd);
  EXPECT_EQ(exclusive, 0);
  // And the reopen at another rate, as the bootloader probe makes it, works.
  EXPECT_TRUE(h.Port().Open(h.Sim().PortPath(), 115200, 0, 8, 0, 10));
}

TEST(SerialLine, APortHeldByAnotherProgramSaysSoAndWhy) {
  SimHarness h(Silent());
  ASSERT_TRUE(h.OpenPort(9600));
  SerialPort second;
  EXPECT_FALSE(second.Open(h.Sim().PortPath(), 9600, 0, 8, 0, 10));
  EXPECT_EQ(second.LastOpenError(), SerialPort::OpenError::kBusy);
  EXPECT_EQ(second.OpenFailureDetail(), h.Sim().PortPath() + " is in use by another program.");

  EXPECT_FALSE(second.Open("/dev/zendra-no-such-port", 9600, 0, 8, 0, 10));
  EXPECT_EQ(second.LastOpenError(), SerialPort::OpenError::kNotFound);
  EXPECT_THAT(second.OpenFailureDetail(), ::testing::HasSubstr("/dev/zendra-no-such-port"));
}

TEST(SerialLine, OpeningAPortThatIsOpenDoesNotWaitForTheNextByte) {
  SimHarness h(Silent());
  ASSERT_TRUE(h.OpenPort(9600));
  // The reader waits in poll() on a silent line; the reopen must wake it, as
  // Close does, instead of joining it until a byte happens to come.
  auto reopened = std::async(std::launch::async, [&] {
    return h.Port().Open(h.Sim().PortPath(), 115200, 0, 8, 0, 10);
  });
  if (reopened.wait_for(2s) != std::future_status::ready) {
    h.Sim().Inject("x");  // lets a stuck reopen finish, so the test can end
    ADD_FAILURE() << "the reopen waited for a byte";
  }
  EXPECT_TRUE(reopened.get());
  EXPECT_EQ(h.Port().BaudRate(), 115200);
}

TEST(AtTransaction, ModuleWithItsEchoOnIsAnsweredWithTheValueNotTheEcho) {
  // No ATE0 here: the module echoes every command, and the LF of each line
  // comes back after the answer, into the next transaction. A module just powered
  // up answers so, in its usual reply form (a blank line before the OK).
  SimHarness h(AnyRate());
  ASSERT_TRUE(h.OpenPort(9600));
  EXPECT_EQ(h.Link().QueryAtCommand("AT+VERSION\r\n", 1), "v1.10.0");
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(h.Link().QueryAtCommand("AT+PRODUCTNAME\r\n", 1), "MA11") << i;
    EXPECT_EQ(h.Link().QueryAtCommand("AT+LONGADDR\r\n", 1), "000D6F0000A1B2C3") << i;
    EXPECT_EQ(h.Link().QueryAtCommand("AT+NODENAME\r\n", 1), "Zendra1") << i;
  }
  // The echo of a value holding "OK" is not the module's OK: it refuses this one.
  h.Sim().SetFaults(sim::Faults{.errorCommands = {"AT+NODENAME"}});
  EXPECT_FALSE(h.Link().SendAtCommand("AT+NODENAME=BOOKSHELF\r\n", 1));
  h.Sim().SetFaults({});
  EXPECT_TRUE(h.Link().SendAtCommand("AT+NODENAME=BOOKSHELF\r\n", 1));
  // A value that holds the letters of a verdict is read whole.
  EXPECT_EQ(h.Link().QueryAtCommand("AT+NODENAME\r\n", 1), "BOOKSHELF");
  ASSERT_TRUE(h.Link().SendAtCommand("AT+NODENAME=ERROR room\r\n", 1));
  EXPECT_EQ(h.Link().QueryAtCommand("AT+NODENAME\r\n", 1), "ERROR room");
}

TEST(AtTransaction, BothReplyFormsGiveTheValueWithEchoOnAndOff) {
  for (const auto form : {sim::ReplyForm::Usual, sim::ReplyForm::Short}) {
    sim::Options o = WithRemote();
    o.replyForm = form;
    SimHarness h(o);
    ASSERT_TRUE(h.OpenPort(9600));
    const char* name = form == sim::ReplyForm::Usual ? "usual" : "short";
    for (const bool echo : {true, false}) {
      if (!echo) {
        ASSERT_TRUE(h.Link().SendAtCommand("ATE0\r\n", 1)) << name;
      }
      EXPECT_EQ(h.Link().QueryAtCommand("AT+PRODUCTNAME\r\n", 1), "MA11") << name << echo;
      EXPECT_EQ(h.Link().QueryAtCommand("AT+VERSION\n", 1), "v1.10.0") << name << echo;
      EXPECT_EQ(h.Link().QueryRemoteAtCommand("at+productname\r\n", 2, kRemote), "MB11")
          << name << echo;
      // An empty value is an empty reply line in either form.
      h.Sim().SetRegister("AT+NODENAME", "");
      EXPECT_EQ(h.Link().QueryAtCommand("AT+NODENAME\r\n", 1), "") << name << echo;
      h.Sim().SetRegister("AT+NODENAME", "Zendra1");
      EXPECT_EQ(h.Link().QueryAtCommand("AT+NODENAME\r\n", 1), "Zendra1") << name << echo;
    }
  }
}

}  // namespace
}  // namespace zendra::test
