// The traffic log's formatting: text lines with control bytes made visible, the
// ends of lines, XMODEM blocks summarised with their answers, and the times.

#include <gmock/gmock.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "serial/TrafficFormatter.h"
#include "support/VisibleBytes.h"

namespace zendra::test {
namespace {

using ::testing::ElementsAre;
using Event = LineTap::Event;
using Direction = TrafficEntry::Direction;
using namespace std::chrono_literals;

// Restated wire bytes of the bootloader's protocol.
constexpr std::uint8_t kSoh = 0x01, kStx = 0x02, kAck = 0x06, kNak = 0x15, kCan = 0x18;

std::vector<std::uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

// A block as the transfer sends it: header, number, complement, data, CRC high first.
std::vector<std::uint8_t> Block(int number, std::size_t dataSize = 128, bool rightCrc = true) {
  std::vector<std::uint8_t> block{dataSize == 128 ? kSoh : kStx, static_cast<std::uint8_t>(number),
                                  static_cast<std::uint8_t>(255 - number)};
  std::uint16_t crc = 0;
  for (std::size_t i = 0; i < dataSize; ++i) {
    const auto byte = static_cast<std::uint8_t>(i * 7 + number);
    block.push_back(byte);
    crc ^= static_cast<std::uint16_t>(byte << 8);
    for (int bit = 0; bit < 8; ++bit)
      crc = static_cast<std::uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
  }
  if (!rightCrc) crc ^= 1;
  block.push_back(static_cast<std::uint8_t>(crc >> 8));
  block.push_back(static_cast<std::uint8_t>(crc & 0xFF));
  return block;
}

class TrafficFormatting : public ::testing::Test {
 protected:
  void Add(Event event, std::chrono::microseconds at, const std::vector<std::uint8_t>& bytes) {
    formatter.Add(event, start + at, bytes, out);
  }
  void Sent(std::chrono::microseconds at, std::string_view text) {
    Add(Event::kSent, at, Bytes(text));
  }
  void Received(std::chrono::microseconds at, std::string_view text) {
    Add(Event::kReceived, at, Bytes(text));
  }
  std::vector<std::string> Lines() {
    std::vector<std::string> lines;
    for (const auto& entry : out) lines.push_back(TrafficFormatter::Line(entry));
    return lines;
  }
  std::vector<std::string> Texts() {
    std::vector<std::string> texts;
    for (const auto& entry : out) texts.push_back(entry.text);
    return texts;
  }

  const TrafficFormatter::TimePoint start = std::chrono::steady_clock::now();
  TrafficFormatter formatter;
  std::vector<TrafficEntry> out;
};

TEST_F(TrafficFormatting, SplitsTextIntoLinesAtLfAndShowsTheControlBytesByName) {
  Add(Event::kOpened, 0us, Bytes("/dev/ttyUSB0, 9600 baud"));
  Sent(1500us, "ATE0\r\n");
  Received(9000us, "ATE0\r\r\nOK\r");
  Received(9800us, "\n\nv1.10.0\r\n");
  formatter.Finish(out);
  EXPECT_THAT(Lines(), ElementsAre("      0.000 -- open /dev/ttyUSB0, 9600 baud",
                                   "      1.500 TX ATE0<CR><LF>", "      9.000 RX ATE0<CR><CR><LF>",
                                   "      9.000 RX OK<CR><LF>", "      9.800 RX <LF>",
                                   "      9.800 RX v1.10.0<CR><LF>"));
}

TEST_F(TrafficFormatting, EachDirectionEndsTheOtherOnesLineAndSoDoesTheNextPortEvent) {
  Received(0us, "ready\r");
  Sent(10us, "+++");
  Received(20us, "OK");
  Add(Event::kClosed, 30us, {});
  EXPECT_THAT(Texts(), ElementsAre("ready<CR>", "+++", "OK", "close"));
  EXPECT_EQ(out[1].direction, Direction::kSent);
  EXPECT_EQ(out[2].direction, Direction::kReceived);
  EXPECT_EQ(out[3].direction, Direction::kNote);
}

TEST_F(TrafficFormatting, ALineThatStaysQuietFor100MsEndsByItself) {
  Received(0us, "C");
  EXPECT_EQ(formatter.NextIdleEnd(), start + 100ms);
  formatter.EndIdleLines(start + 99ms, out);
  EXPECT_TRUE(out.empty());
  // A byte on the same line moves the moment on.
  Received(50000us, "C");
  formatter.EndIdleLines(start + 120ms, out);
  EXPECT_TRUE(out.empty());
  formatter.EndIdleLines(start + 150ms, out);
  EXPECT_THAT(Texts(), ElementsAre("CC"));
  EXPECT_FALSE(formatter.NextIdleEnd().has_value());
}

TEST_F(TrafficFormatting, EveryByteCanBeReadBackFromTheText) {
  std::string all;
  for (int byte = 0; byte < 256; ++byte) all += static_cast<char>(byte);
  const std::string visible = TrafficFormatter::Visible(all);
  for (const char c : visible) ASSERT_TRUE(c >= 0x20 && c <= 0x7E) << int(c);
  EXPECT_EQ(BytesOfVisible(visible), all);
  EXPECT_EQ(TrafficFormatter::Visible(std::string("<\x11\x13\x7F\xFF", 5)),
            "<0x3C><XON><XOFF><DEL><0xFF>");
}

TEST_F(TrafficFormatting, ALineWithoutLfIsEndedAfter256Bytes) {
  Received(0us, std::string(600, 'x'));
  formatter.Finish(out);
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[0].text, std::string(256, 'x'));
  EXPECT_EQ(out[1].text, std::string(256, 'x'));
  EXPECT_EQ(out[2].text, std::string(88, 'x'));
}

TEST_F(TrafficFormatting, ABlockBecomesOneEntryWithTheAnswerThatFollowedIt) {
  Received(0us, "C");
  Add(Event::kSent, 100us, Block(1));
  Add(Event::kReceived, 12000us, {kAck});
  Add(Event::kSent, 13000us, Block(2));
  Add(Event::kReceived, 25000us, {kNak, 'x', '\r', '\n'});
  Add(Event::kSent, 26000us, Block(2));
  Add(Event::kReceived, 38000us, {kAck});
  Add(Event::kSent, 39000us, Block(3));
  Add(Event::kReceived, 51000us, {kCan});
  Add(Event::kSent, 52000us, Block(4));
  Add(Event::kReceived, 64000us, Bytes("C"));
  EXPECT_THAT(Lines(),
              ElementsAre("      0.000 RX C", "      0.100 TX block 1, 133 bytes, ACK",
                          "     13.000 TX block 2, 133 bytes, NAK", "     25.000 RX x<CR><LF>",
                          "     26.000 TX block 2, 133 bytes, ACK",
                          "     39.000 TX block 3, 133 bytes, CAN",
                          "     52.000 TX block 4, 133 bytes, answer C"));
}

TEST_F(TrafficFormatting, BlockNumbersCountOnPast255AsTheTransferCountsThem) {
  for (int n = 1; n <= 258; ++n) {
    Add(Event::kSent, std::chrono::microseconds(n * 100), Block(n & 0xFF));
    Add(Event::kReceived, std::chrono::microseconds(n * 100 + 50), {kAck});
  }
  ASSERT_EQ(out.size(), 258u);
  EXPECT_EQ(out[254].text, "block 255, 133 bytes, ACK");
  EXPECT_EQ(out[255].text, "block 256 (0 on the line), 133 bytes, ACK");
  EXPECT_EQ(out[257].text, "block 258 (2 on the line), 133 bytes, ACK");
  // After other traffic (an EOT, a new transfer) the count starts from the line again.
  Sent(90ms, "\x04");
  Add(Event::kSent, 91ms, Block(1));
  formatter.Finish(out);
  EXPECT_EQ(out.back().text, "block 1, 133 bytes, no answer");
}

TEST_F(TrafficFormatting, AWrongCrcALongBlockAndAMissingAnswerAreSaid) {
  Add(Event::kSent, 0us, Block(5, 128, false));
  Add(Event::kReceived, 10us, {kNak});
  Add(Event::kSent, 20us, Block(6, 1024));
  // The next write came before any answer: the block had none.
  Add(Event::kSent, 30us, {kCan});
  EXPECT_THAT(Texts(),
              ElementsAre("block 5, 133 bytes, CRC wrong, NAK", "block 6, 1029 bytes, no answer"));
  formatter.Finish(out);
  EXPECT_EQ(out.back().text, "<CAN>");
}

TEST_F(TrafficFormatting, ANoteWhileABlockWaitsForItsAnswerFollowsTheBlockAndTakesNoAnswer) {
  Add(Event::kSent, 0us, Block(12));
  Add(Event::kNote, 5us, Bytes("console: \"ATI\" Not sent: the line is busy (firmware update)."));
  Add(Event::kReceived, 9us, {kAck, 'C'});
  formatter.Finish(out);
  EXPECT_THAT(Texts(),
              ElementsAre("block 12, 133 bytes, ACK",
                          "console: \"ATI\" Not sent: the line is busy (firmware update).", "C"));
  for (std::size_t i = 1; i < out.size(); ++i)
    EXPECT_GE(out[i].microseconds, out[i - 1].microseconds);
  // The port's own events do end a waiting block.
  Add(Event::kSent, 20us, Block(13));
  Add(Event::kClosed, 30us, {});
  EXPECT_EQ(out[out.size() - 2].text, "block 13, 133 bytes, no answer");
}

TEST_F(TrafficFormatting, BytesThatOnlyLookLikeABlockAreShownAsTheyAre) {
  auto complementWrong = Block(7);
  complementWrong[2] = 0;
  auto oneByteShort = Block(7);
  oneByteShort.pop_back();
  Add(Event::kSent, 0us, complementWrong);
  Add(Event::kSent, 10us, oneByteShort);
  formatter.Finish(out);
  std::string shown;
  for (const auto& entry : out) {
    EXPECT_EQ(entry.direction, Direction::kSent);
    EXPECT_EQ(entry.text.find("block"), std::string::npos);
    shown += *BytesOfVisible(entry.text);
  }
  EXPECT_EQ(shown.size(), complementWrong.size() + oneByteShort.size());
}

TEST_F(TrafficFormatting, TimesCountFromTheFirstEventAndAnEntryHasTheTimeOfItsFirstByte) {
  Add(Event::kOpened, 0us, Bytes("/dev/ttyS0, 115200 baud"));
  Received(2'000'000us, "A");
  Received(2'000'400us, "B\n");
  Sent(3'500'250us, "AT\r\n");
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[0].microseconds, 0);
  EXPECT_EQ(out[1].microseconds, 2'000'000);
  EXPECT_EQ(out[2].microseconds, 3'500'250);
  EXPECT_EQ(TrafficFormatter::Line(out[2]), "   3500.250 TX AT<CR><LF>");
}

}  // namespace
}  // namespace zendra::test
