// The pure rules of the serial layer: write time-outs, the line setting tables,
// the reply-line extraction and the rule for a remote address.

#include <gtest/gtest.h>

#include "serial/AtLink.h"
#include "serial/LineSettingTables.h"
#include "serial/RemoteAddress.h"
#include "serial/SerialPort.h"

namespace zendra {
namespace {

TEST(WriteTimeout, MultiplierIs230400DividedByTheBaudRate) {
  EXPECT_EQ(SerialPort::WriteTimeoutMultiplier(1200), 192);
  EXPECT_EQ(SerialPort::WriteTimeoutMultiplier(9600), 24);
  EXPECT_EQ(SerialPort::WriteTimeoutMultiplier(115200), 2);
  EXPECT_EQ(SerialPort::WriteTimeoutMultiplier(460800), 0);
  EXPECT_EQ(SerialPort::WriteTimeoutMultiplier(921600), 0);
}

TEST(LineSettingTables, LabelsMapToTheCodesOpenTakes) {
  EXPECT_EQ(SelectedSetting("Even", kParityTable), 2);
  EXPECT_EQ(SelectedSetting("Odd", kParityTable), 1);
  EXPECT_EQ(SelectedSetting("None", kParityTable), 0);
  EXPECT_EQ(SelectedSetting("2", kStopBitsTable), 2);
  EXPECT_EQ(SelectedSetting("1", kStopBitsTable), 0);
  EXPECT_EQ(SelectedSetting("Hardware", kFlowControlTable), 12);
  EXPECT_EQ(SelectedSetting("921600", kBaudRateTable), 921600);
  // A typed text that is no label gives 0.
  EXPECT_EQ(SelectedSetting("9601", kBaudRateTable), 0);
  EXPECT_EQ(SelectedSetting("", kBaudRateTable), 0);
  EXPECT_EQ(SelectedSetting("even", kParityTable), 0);
}

TEST(LineSettingTables, EveryBaudRateOfTheListCanBeOpened) {
  for (const auto& entry : kBaudRateTable) EXPECT_TRUE(SerialPort::IsSupportedBaudRate(entry.value)) << entry.label;
  EXPECT_FALSE(SerialPort::IsSupportedBaudRate(0));
}

struct ReplyCase {
  const char* reply;
  const char* line;
};

TEST(ReplyLine, IsTheValueBetweenTheLineEndsBeforeOk) {
  const ReplyCase cases[] = {
      {"\r\nv1.10.0\r\nOK\r\n", "v1.10.0"},
      {"v1.10.0\r\nOK", "v1.10.0"},
      {"OK", ""},
      {"\r\nOK\r\n", ""},
      {"\r\n4\r\nOK\r\n", "4"},
      // A stray line end left over from an earlier answer spoils the value line:
      // the reason a transaction takes the rest of its "OK" line.
      {"\r\n\r\nv1.10.0\r\nOK\r\n", ""},
      // The verdict is the line that is "OK": letters inside a value are not it.
      {"\r\nvalue with OK inside\r\nOK\r\n", "value with OK inside"},
      {"\r\nBOOKSHELF\r\nOK\r\n", "BOOKSHELF"},
      {"\r\nabc\nOK", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(AtLink::ReplyLine(c.reply), c.line) << c.reply;
}

struct EchoCase {
  const char* sent;
  const char* received;
  const char* line;  // the reply line of what is left, or "(pending)" while it says nothing yet
};

TEST(ReplyLine, TheModulesEchoIsNotPartOfTheAnswer) {
  const EchoCase cases[] = {
      // Echo off: the reply as it stands.
      {"AT+VERSION\r\n", "\r\nv1.10.0\r\nOK\r\n", "v1.10.0"},
      // The command runs at its CR: its echo, then the answer.
      {"AT+VERSION\r\n", "AT+VERSION\r\r\nv1.10.0\r\nOK\r\n", "v1.10.0"},
      // A module that runs it at the LF echoes the whole line first.
      {"AT+VERSION\r\n", "AT+VERSION\r\n\r\nv1.10.0\r\nOK\r\n", "v1.10.0"},
      // The echo of the previous command's LF came after its answer.
      {"AT+LONGADDR\r\n", "\nAT+LONGADDR\r\r\n000D6F0000A1B2C3\r\nOK\r\n", "000D6F0000A1B2C3"},
      {"AT+LONGADDR\r\n", "\n\r\n000D6F0000A1B2C3\r\nOK\r\n", "000D6F0000A1B2C3"},
      // A command without a value.
      {"ATR1\r\n", "ATR1\r\r\nOK\r\n", ""},
      // An empty value.
      {"AT+NODENAME\r\n", "AT+NODENAME\r\r\n\r\nOK\r\n", ""},
      // Lines that end in LF alone, and the remote form.
      {"AT+PRODUCTNAME\n", "AT+PRODUCTNAME\n\r\nMA11\r\nOK\r\n", "MA11"},
      {"AT+RC=000D6F00000B0B0B,at+productname\r\n",
       "AT+RC=000D6F00000B0B0B,at+productname\r\r\nMB11\r\nOK\r\n", "MB11"},
      // The echo of a value that holds "OK" is no answer yet.
      {"AT+NODENAME=BOOKSHELF\r\n", "AT+NODENAME=BOO", "(pending)"},
      {"AT+NODENAME=BOOKSHELF\r\n", "AT+NODENAME=BOOKSHELF\r", "(pending)"},
  };
  for (const auto& c : cases) {
    const std::string_view rest = AtLink::WithoutEcho(c.received, c.sent);
    const bool decided = rest.find("OK") != std::string_view::npos;
    EXPECT_EQ(decided ? AtLink::ReplyLine(rest) : std::string("(pending)"), c.line) << c.received;
  }
}

// A module answers a query in one of two forms: CR LF, value, CR LF, then the OK
// line, or with a blank line before the OK line. With echo on, the command comes
// back first (and the LF after it either before the answer or after it); the
// answer may arrive in one piece or a byte at a time. Every way gives the value.
TEST(ReplyLine, BothReplyFormsGiveTheValueWithEchoOnOrOffWholeOrByteByByte) {
  struct Case {
    const char* sent;
    const char* value;
  };
  const Case queries[] = {
      {"AT+VERSION\r\n", "v1.10.0"}, {"AT+NODENAME\r\n", "Kitchen node"},
      {"AT+NODENAME\r\n", ""},  // an empty value
      {"AT+PRODUCTNAME\n", "MA11"},  {"AT+RC=000D6F00000B0B0B,at+productname\r\n", "MB11"},
  };
  for (const auto& q : queries) {
    const std::string sent = q.sent;
    const std::string command = sent.substr(0, sent.find_first_of("\r\n"));
    const std::string lineEnd = sent.substr(command.size());
    for (const char* form : {"\r\n\r\nOK\r\n", "\r\nOK\r\n"}) {
      const std::string answer = "\r\n" + std::string(q.value) + form;
      const std::string echoAtCr = command + lineEnd.substr(0, 1);  // the rest comes later
      const std::string receptions[] = {
          answer,                                        // echo off
          echoAtCr + answer + lineEnd.substr(1),         // runs at the CR, LF echoed after
          command + lineEnd + answer,                    // the whole line echoed first
          "\n" + echoAtCr + answer + lineEnd.substr(1),  // the LF of the command before
          "\n" + answer,                                 // echo just switched off
      };
      for (const std::string& received : receptions) {
        // Every moment the verdict line is there, byte by byte, the value is right.
        bool decided = false;
        for (std::size_t n = 1; n <= received.size(); ++n) {
          const std::string part = received.substr(0, n);
          const std::string_view rest = AtLink::WithoutEcho(part, sent);
          if (AtLink::FindLine(rest, "OK") == std::string_view::npos) continue;
          decided = true;
          EXPECT_EQ(AtLink::ReplyLine(rest), q.value) << testing::PrintToString(part);
        }
        EXPECT_TRUE(decided) << testing::PrintToString(received);
      }
    }
  }
}

TEST(ReplyLine, AVerdictIsALineOfItsOwn) {
  EXPECT_EQ(AtLink::FindLine("\r\nBOOKSHELF\r\nOK\r\n", "OK"), 13u);
  EXPECT_EQ(AtLink::FindLine("OK", "OK"), 0u);
  EXPECT_EQ(AtLink::FindLine("\r\nv1\r\nOK", "OK"), 6u);  // the last piece counts
  EXPECT_EQ(AtLink::FindLine("\rOK\r", "OK"), 1u);         // CR alone ends a line too
  for (const char* text : {"\r\nBOOKSHELF\r\n", "\r\nOK lab\r\n", "\r\nOKAY", "", "\r\nok\r\n"})
    EXPECT_EQ(AtLink::FindLine(text, "OK"), std::string_view::npos) << text;
  EXPECT_EQ(AtLink::FindLine("\r\nERROR room\r\n", "ERROR"), std::string_view::npos);
}

TEST(ReplyLine, ControlBytesAreFoundWhereverTheyStand) {
  EXPECT_FALSE(AtLink::HoldsControlByte("Kitchen node 7 ~!"));
  EXPECT_FALSE(AtLink::HoldsControlByte(""));
  EXPECT_FALSE(AtLink::HoldsControlByte("\xC3\xA4"));  // UTF-8 text is no control byte
  for (const char* text : {"AB\r\nAT&F", "AB\n", "\rAB", "A\tB", "A\x7F", "A\x01"})
    EXPECT_TRUE(AtLink::HoldsControlByte(text)) << text;
}

TEST(RemoteAddressRule, AnAddressIsSentOnlyWhenItCannotBreakTheCommandLine) {
  const struct { std::string address; RemoteAddressCheck verdict; } cases[] = {
      {"000D6F0000A1B2C3", RemoteAddressCheck::kSendable},
      {"1a2b", RemoteAddressCheck::kSendable},  // any address the local module understands
      {"Kitchen 7", RemoteAddressCheck::kSendable},
      {"", RemoteAddressCheck::kEmpty},
      {"5A3C770000000002,AT+NODENAME=x", RemoteAddressCheck::kUnsafe},
      {",", RemoteAddressCheck::kUnsafe},
      {"1A2B,", RemoteAddressCheck::kUnsafe},
      {"1A2B\r\nATZ", RemoteAddressCheck::kUnsafe},
      {"1A2B\n", RemoteAddressCheck::kUnsafe},
      {std::string("1A\0" "2B", 5), RemoteAddressCheck::kUnsafe},
      {"1A2B\x7F", RemoteAddressCheck::kUnsafe},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CheckRemoteAddress(c.address), c.verdict) << c.address;
    // The remote prefix is built for a sendable address only, unchanged.
    const auto line = AtLink::RemoteLine("ATZ\r\n", c.address);
    if (c.verdict == RemoteAddressCheck::kSendable) {
      EXPECT_EQ(line, "AT+RC=" + c.address + ",ATZ\r\n");
    } else {
      EXPECT_EQ(line, std::nullopt) << c.address;
      EXPECT_EQ(AddressedLine("AT+BOOTLOAD=1,", c.address, "\r\n"), std::nullopt) << c.address;
    }
  }
  EXPECT_STREQ(RemoteAddressMessage(RemoteAddressCheck::kEmpty), "ERROR: Invalid remote address");
  EXPECT_STREQ(RemoteAddressMessage(RemoteAddressCheck::kUnsafe),
               "ERROR: Invalid remote address: it holds a comma or a control character (such as "
               "a line end), which would break the command line.");
  EXPECT_STREQ(RemoteAddressMessage(RemoteAddressCheck::kSendable), "");
}

}  // namespace
}  // namespace zendra
