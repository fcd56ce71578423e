// The simulated module's bootloader: its menu, and the XMODEM-CRC receiver with
// the faults it can be told to show.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "Bootloader.h"
#include "HostXmodem.h"
#include "SimTestBench.h"
#include "XmodemReceiver.h"

namespace zendra::test::modsim {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr char kMenu[] = "\r\nZendra Bootloader\r\n1. upload ebl\r\n2. run\r\n3. ebl info\r\nBL > ";

Options BootOptions() {
  Options options;
  options.baudRate = 115200;
  options.timeScale = 0.05;
  return options;
}

class SimBootloader : public ::testing::Test {
 protected:
  void Begin(Options options) {
    bench_ = std::make_unique<SimTestBench>(std::move(options), 115200);
    ASSERT_TRUE(bench_->Ready());
  }
  HostPort& Host() { return *bench_->host; }
  ModuleSimulator& Module() { return *bench_->module; }

  // From the running firmware to the receiver's first 'C', as a local update goes.
  void EnterUpload() {
    ASSERT_EQ(bench_->Ask("AT+BOOTLOAD\n", "BOOTLOADER\r\n"),
              "AT+BOOTLOAD\n\r\nENTER BOOTLOADER\r\n");
    ASSERT_TRUE(Module().InBootloader());
    ASSERT_EQ(bench_->Ask("\n", "BL > "), kMenu);
    ASSERT_EQ(bench_->Ask("1", "C"), "\r\nbegin upload\r\nC");
  }

  // Sends bytes and returns the first answer that is not a start request ('C'),
  // or -1 when none comes in time.
  int Send(const std::string& bytes, Ms timeout = Ms(2000)) {
    Host().Take();
    Host().Write(bytes);
    int answer = -1;
    Host().ReadUntil(
        [&](const std::string& r) {
          for (char c : r) {
            if (c != 'C') {
              answer = static_cast<unsigned char>(c);
              return true;
            }
          }
          return false;
        },
        timeout);
    return answer;
  }

  // EOT, EOT as the host ends a transfer; returns the two answers.
  std::pair<int, int> End() {
    int first = Send(std::string(1, kEot));
    int second = Send(std::string(1, kEot));
    return {first, second};
  }

  std::unique_ptr<SimTestBench> bench_;
};

TEST_F(SimBootloader, DamagedModuleSitsInTheMenu) {
  Options options = BootOptions();
  options.damaged = true;
  Begin(options);
  EXPECT_TRUE(Module().InBootloader());
  EXPECT_EQ(Module().LineRate(), 115200);

  // The menu shows "BL" and nothing the host would take for an answer or a start request.
  std::string menu = bench_->Ask(std::string(1, kEtx), "BL > ");
  EXPECT_EQ(menu, kMenu);
  EXPECT_THAT(menu, Not(HasSubstr("OK")));
  EXPECT_THAT(menu, Not(HasSubstr("omplete")));
  EXPECT_THAT(menu, Not(HasSubstr("ENTER")));
  EXPECT_EQ(menu.find('C'), std::string::npos);

  // A damaged firmware does not run: "2" brings the menu back.
  EXPECT_EQ(bench_->Ask("2", "BL > "), kMenu);
  EXPECT_TRUE(Module().InBootloader());
  // CR LF shows it once.
  EXPECT_EQ(bench_->Ask("\r\n", "BL > "), kMenu);
  EXPECT_THAT(bench_->Ask("3", "BL > "), HasSubstr("v1.10.0"));
  EXPECT_THAT(Module().ReceivedLines(), ElementsAre("\x03", "2", "\r\n", "3"));

  // At 9600 the bootloader hears only noise.
  Host().SetLine(9600);
  Host().Take();
  Host().Write(std::string(1, kEtx) + "\n");
  EXPECT_TRUE(Host().StaysQuiet(Ms(150)));
  EXPECT_EQ(Module().GarbledBytes(), 2u);
}

TEST_F(SimBootloader, UploadKeepsGoodBlocksRefusesBadOnesAndRunsTheNewVersion) {
  Begin(BootOptions());
  EnterUpload();

  std::string image = EblImage("ZENDRA MA11 image VERSION=v2.0.7-rc_1;" + std::string(300, '\x5A'));
  ASSERT_EQ(Send(Block(1, image)), kAck);

  std::string corrupt = Block(2, image);
  corrupt[40] ^= 0x01;
  EXPECT_EQ(Send(corrupt), kNak) << "payload does not match its CRC";
  std::string badComplement = Block(2, image);
  badComplement[2] = 0x00;
  EXPECT_EQ(Send(badComplement), kNak);
  EXPECT_EQ(Send(Block(3, image)), kNak) << "block 2 is expected";
  EXPECT_EQ(Send(Block(2, image)), kAck);
  EXPECT_EQ(Send(Block(2, image)), kAck) << "a repeat after a lost ACK is acknowledged";
  EXPECT_EQ(Send(Block(3, image)), kAck);

  EXPECT_EQ(End(), std::make_pair(int{kAck}, int{kAck}));
  ASSERT_TRUE(Host().ReadUntilContains("BL > ", Ms(1000)));
  EXPECT_EQ(Host().Take(), std::string(1, kAck) + "\r\nSerial upload complete\r\n" + kMenu);
  auto images = Module().ReceivedImages();
  ASSERT_EQ(images.size(), 1u);
  EXPECT_EQ(std::string(images[0].begin(), images[0].end()), Padded(image));
  // Blocks are not lines: the log holds the menu choices only.
  EXPECT_THAT(Module().ReceivedLines(), ElementsAre("AT+BOOTLOAD\n", "\n", "1"));

  // "2" starts the new firmware at the module's rate, with the image's version.
  EXPECT_EQ(bench_->Ask("2", "OK\r\n"), "\r\nZendra MA11 v2.0.7-rc_1\r\nOK\r\n");
  EXPECT_FALSE(Module().InBootloader());
  EXPECT_EQ(Module().Version(), "v2.0.7-rc_1");
  // The new firmware starts as after power-up, with its echo on.
  EXPECT_EQ(bench_->Ask("AT+VERSION\r\n", "OK\r\n\n"),
            "AT+VERSION\r\r\nv2.0.7-rc_1\r\n\r\nOK\r\n\n");
}

TEST_F(SimBootloader, BlockNumbersWrapPast255) {
  Begin(BootOptions());
  EnterUpload();
  std::mt19937 random(7);
  std::string image(300 * 128 - 5, '\0');
  for (char& c : image) c = static_cast<char>(random());
  image.replace(0, 4, EblImage(""));
  for (int ordinal = 1; ordinal <= 300; ++ordinal) {
    ASSERT_EQ(Send(Block(ordinal, image)), kAck) << "block " << ordinal;
  }
  // Block 256 goes out as number 0: the receiver has it already after 256.
  EXPECT_EQ(Send(Block(300, image)), kAck);
  EXPECT_EQ(Send(Block(256, image)), kNak);
  EXPECT_EQ(End(), std::make_pair(int{kAck}, int{kAck}));
  ASSERT_TRUE(Eventually([&] { return Module().ReceivedImages().size() == 1; }, Ms(1000)));
  auto received = Module().ReceivedImages()[0];
  EXPECT_EQ(std::string(received.begin(), received.end()), Padded(image));
  // No "VERSION=" in the image: the version stays.
  EXPECT_EQ(Module().Version(), "v1.10.0");
}

TEST_F(SimBootloader, StalledBlockIsRefusedAfterTheGap) {
  Begin(BootOptions());
  EnterUpload();
  std::string image(128, 'a');
  // Half a block, then nothing: after a second of module time (50 ms here) a NAK.
  auto sent = std::chrono::steady_clock::now();
  EXPECT_EQ(Send(Block(1, image).substr(0, 60)), kNak);
  EXPECT_GE(std::chrono::steady_clock::now() - sent, Ms(50));
  EXPECT_EQ(Send(Block(1, image)), kAck);
}

TEST_F(SimBootloader, AnImageWithoutTheEblHeaderIsRefusedAndTheApplicationIsGone) {
  Begin(BootOptions());
  EnterUpload();
  // Text that mentions a model code: every block arrives intact and is ACKed, but
  // the image that came is no ebl image.
  const std::string text = "Release notes: the MA11 firmware, version 1.11\r\n";
  ASSERT_EQ(text.size(), 48u);
  EXPECT_EQ(Send(Block(1, text)), kAck);
  EXPECT_EQ(End(), std::make_pair(int{kAck}, int{kAck}));
  ASSERT_TRUE(Host().ReadUntilContains("BL > ", Ms(1000)));
  const std::string answer = Host().Take();
  EXPECT_EQ(answer, std::string(1, kAck) + "\r\nSerial upload aborted: not an ebl image\r\n" + kMenu);
  EXPECT_THAT(answer, Not(HasSubstr("omplete")));
  EXPECT_TRUE(Module().ReceivedImages().empty());
  const auto refused = Module().RefusedImages();
  ASSERT_EQ(refused.size(), 1u);
  EXPECT_EQ(refused[0].euiAddress, "");
  EXPECT_EQ(std::string(refused[0].image.begin(), refused[0].image.end()), Padded(text));

  // The blocks were written over the application: "2" finds nothing to run.
  EXPECT_EQ(bench_->Ask("2", "BL > "), kMenu);
  EXPECT_TRUE(Module().InBootloader());
  EXPECT_EQ(Module().Version(), "v1.10.0");
}

TEST_F(SimBootloader, AnEmptyUploadIsNoImageAndADamagedFirmwareStaysDamaged) {
  Options options = BootOptions();
  options.damaged = true;
  Begin(options);
  ASSERT_EQ(bench_->Ask("1\n", "C"), "\r\nbegin upload\r\nC");
  EXPECT_EQ(End(), std::make_pair(int{kAck}, int{kAck}));
  ASSERT_TRUE(Host().ReadUntilContains("BL > ", Ms(1000)));
  EXPECT_THAT(Host().Take(), HasSubstr("\r\nSerial upload aborted: not an ebl image\r\n"));
  EXPECT_TRUE(Module().ReceivedImages().empty());
  EXPECT_EQ(Module().RefusedImages().size(), 1u);
  EXPECT_EQ(bench_->Ask("2", "BL > "), kMenu);

  // A good image repairs it.
  ASSERT_EQ(bench_->Ask("1", "C"), "\r\nbegin upload\r\nC");
  EXPECT_EQ(Send(Block(1, EblImage("MA11 VERSION=v1.10.1"))), kAck);
  EXPECT_EQ(End(), std::make_pair(int{kAck}, int{kAck}));
  ASSERT_TRUE(Host().ReadUntilContains("BL > ", Ms(1000)));
  EXPECT_THAT(Host().Take(), HasSubstr("\r\nSerial upload complete\r\n"));
  EXPECT_EQ(bench_->Ask("2", "OK\r\n"), "\r\nZendra MA11 v1.10.1\r\nOK\r\n");
}

TEST_F(SimBootloader, RefusesABlockWithTheChosenByteAndAnswersEotAsTold) {
  Options options = BootOptions();
  options.faults.refuseBlock = 2;
  options.faults.refuseTimes = 2;
  options.faults.refuseWith = kCan;
  options.faults.eotAnswer = kNak;
  options.faults.noCompletionText = true;
  Begin(options);
  EnterUpload();
  std::string image = EblImage(std::string(3 * 128 - 4, 'b'));
  EXPECT_EQ(Send(Block(1, image)), kAck);
  EXPECT_EQ(Send(Block(2, image)), kCan);
  EXPECT_EQ(Send(Block(2, image)), kCan);
  EXPECT_EQ(Send(Block(2, image)), kAck);
  EXPECT_EQ(Send(Block(3, image)), kAck);
  EXPECT_EQ(End(), std::make_pair(int{kNak}, int{kAck}));
  ASSERT_TRUE(Host().ReadUntilContains("BL > ", Ms(1000)));
  EXPECT_EQ(Host().Take(), std::string(1, kAck) + kMenu) << "no completion text";
  ASSERT_EQ(Module().ReceivedImages().size(), 1u);
  EXPECT_EQ(Module().ReceivedImages()[0].size(), image.size());
}

TEST_F(SimBootloader, SilentReceiverAndMissingStartRequest) {
  Options options = BootOptions();
  options.faults.silentAfterBlock = 1;
  Begin(options);
  EnterUpload();
  std::string image(3 * 128, 'c');
  EXPECT_EQ(Send(Block(1, image)), kAck);
  EXPECT_EQ(Send(Block(2, image), Ms(200)), -1);
  EXPECT_EQ(Send(std::string(1, kEot), Ms(200)), -1);
  EXPECT_TRUE(Module().ReceivedImages().empty());

  // The host gives up with CAN CAN CAN and finds the menu again.
  Host().Take();
  Host().Write(std::string(3, kCan));
  EXPECT_TRUE(Host().ReadUntilContains("BL > ", Ms(1000)));

  // Live change: no 'C' at all any more (one would come every 50 ms here).
  Faults noStart;
  noStart.neverSendC = true;
  Module().SetFaults(noStart);
  EXPECT_EQ(bench_->Ask("1", "upload\r\n"), "\r\nbegin upload\r\n");
  EXPECT_TRUE(Host().StaysQuiet(Ms(300)));
}

TEST(SimBootloaderParts, CrcAndImageVersion) {
  const std::string digits = "123456789";
  EXPECT_EQ(Crc16Xmodem(reinterpret_cast<const std::uint8_t*>(digits.data()), digits.size()),
            0x31C3);
  auto image = [](const std::string& text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
  };
  EXPECT_EQ(VersionInImage(image("xxVERSION=1.2.3 tail")), "1.2.3");
  EXPECT_EQ(VersionInImage(image("VERSION=")), "");
  EXPECT_EQ(VersionInImage(image("version=1.0")), "");
  EXPECT_EQ(VersionInImage(image("VERSION=a/b VERSION=2")), "a");
}

}  // namespace
}  // namespace zendra::test::modsim
