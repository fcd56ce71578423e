// A bootloader of another module family, added through the bootloader seam alone:
// its application enters it with "AT+UPGRADE", it shows no menu, takes "u" to
// receive an image and "r" to run the application, and talks at 57600 baud. A
// local update of the Firmware Update page runs through it end to end against a
// module of that family played on a pseudo-terminal; nothing but this file knows
// it. The handshake's probe is what its builder gives the connection.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <mutex>
#include <thread>

#include "../../unit/firmware/RecordingView.h"
#include "base/Clock.h"
#include "firmware/Bootloader.h"
#include "firmware/CrcTable.h"
#include "firmware/FirmwareUpdate.h"
#include "support/FakeOperator.h"
#include "support/FirmwareImageFile.h"
#include "support/SimHarness.h"

namespace zendra::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr auto kDeadline = std::chrono::seconds(30);

// The other family's bootloader, as the manager would speak to it.
class KeyedBootloader : public Bootloader {
 public:
  KeyedBootloader() { crcTable_.Fill(); }

  int BaudRate() const override { return 57600; }
  Connection::Probe Probe(Connection&, LineLease&) const override {
    return Connection::Probe::kNoAnswer;
  }
  Entry EnterLocal(LineLease& line) const override {
    AtLink& link = line.Link();
    link.reply.clear();
    line.Port().Write("AT+UPGRADE\r\n");
    if (!link.CollectReplyUntil(
            [](const std::string& r) { return r.find("UPGRADE MODE") != std::string::npos; }, 30))
      return Entry::kNoAnswer;
    line.Port().Write("u");
    return line.Stopped() ? Entry::kStopped : Entry::kReady;
  }
  Entry EnterFromMenu(LineLease&) const override { return Entry::kNoAnswer; }
  Entry EnterRemote(LineLease&, const std::string&, RemoteKind, bool& asked) const override {
    asked = false;
    return Entry::kNoAnswer;
  }
  TransferResult SendImage(TransferChannel& channel, const std::string& path,
                           const TransferParams& params, Operator& op, TransferSinks sinks,
                           std::stop_token stop) const override {
    ImageTransfer engine(channel, crcTable_, op, std::move(sinks));
    return engine.Run(path, params, stop);
  }
  void AbandonUpload(TransferChannel& channel) const override {
    const std::uint8_t can = 0x18;
    for (int i = 0; i < 3; ++i) channel.Write(&can, 1);
  }
  void StartApplication(TransferChannel& channel) const override {
    const std::uint8_t run = 'r';
    channel.Write(&run, 1);
  }

 private:
  CrcTable crcTable_;
};

// A module of that family on the far end of a pseudo-terminal. Its application
// answers the identification queries and "AT+UPGRADE"; its bootloader takes "u"
// (then asks for the image with 'C' until the first block, and receives XMODEM-CRC
// blocks, a repeated block acknowledged and dropped) and "r" (the application
// greets with "OK" and reports the version of the image it received).
class OtherFamilyModule {
 public:
  OtherFamilyModule() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
    path_ = ptsname(master_);
    thread_ = std::jthread([this](std::stop_token stop) { Run(stop); });
  }
  ~OtherFamilyModule() {
    thread_.request_stop();
    if (thread_.joinable()) thread_.join();
    if (master_ >= 0) ::close(master_);
  }

  const std::string& PortPath() const { return path_; }
  std::vector<std::uint8_t> Image() const {
    std::lock_guard lock(mutex_);
    return image_;
  }
  // What the bootloader was told outside an upload (line ends left out).
  std::string Keys() const {
    std::lock_guard lock(mutex_);
    return keys_;
  }
  std::vector<std::string> Lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
  }

 private:
  enum class State { kApplication, kBootloader, kUpload };

  void Send(std::string_view text) const {
    if (::write(master_, text.data(), text.size()) < 0) return;
  }
  void Send(std::uint8_t byte) const { Send(std::string_view(reinterpret_cast<char*>(&byte), 1)); }

  void Run(std::stop_token stop) {
    auto lastRequest = std::chrono::steady_clock::now();
    while (!stop.stop_requested()) {
      if (state_ == State::kUpload && blocks_ == 0 &&
          std::chrono::steady_clock::now() - lastRequest > std::chrono::milliseconds(100)) {
        Send('C');
        lastRequest = std::chrono::steady_clock::now();
      }
      pollfd fd{master_, POLLIN, 0};
      if (::poll(&fd, 1, 20) <= 0 || !(fd.revents & POLLIN)) continue;
      char bytes[512];
      const ssize_t n = ::read(master_, bytes, sizeof bytes);
      for (ssize_t i = 0; i < n; ++i) Take(static_cast<std::uint8_t>(bytes[i]));
    }
  }

  void Take(std::uint8_t byte) {
    switch (state_) {
      case State::kApplication:
        if (byte != '\n') {
          if (byte != '\r') line_ += static_cast<char>(byte);
          return;
        }
        Answer(std::exchange(line_, {}));
        return;
      case State::kBootloader:
        if (byte == 'u') {
          state_ = State::kUpload;
          blocks_ = 0;
          eots_ = 0;
          block_.clear();
          Send('C');
        } else if (byte == 'r') {
          state_ = State::kApplication;
          Send("\r\nOther family application\r\nOK\r\n");
        }
        if (byte != '\r' && byte != '\n') {
          std::lock_guard lock(mutex_);
          keys_ += static_cast<char>(byte);
        }
        return;
      case State::kUpload:
        Receive(byte);
        return;
    }
  }

  void Answer(const std::string& line) {
    {
      std::lock_guard lock(mutex_);
      lines_.push_back(line);
    }
    const auto value = [this](const std::string& text) { Send("\r\n" + text + "\r\n\r\nOK\r\n"); };
    if (line.empty()) return;
    if (line == "AT+UPGRADE") {
      Send("\r\nUPGRADE MODE\r\n");
      state_ = State::kBootloader;
    } else if (line == "AT+PRODUCTNAME") {
      value("MA11");
    } else if (line == "AT+LONGADDR") {
      value("000D6F00000000AA");
    } else if (line == "AT+NODENAME") {
      value("Other");
    } else if (line == "AT+VERSION") {
      value(version_);
    } else {
      Send("\r\nERROR\r\n");
    }
  }

  void Receive(std::uint8_t byte) {
    if (block_.empty() && byte == 0x04) {
      Send(0x06);
      if (++eots_ == 2) {
        Send("\r\nupload complete\r\n");
        version_ = "v1.11.0";
        state_ = State::kBootloader;
      }
      return;
    }
    if (block_.empty() && byte == 0x18) {
      state_ = State::kBootloader;
      return;
    }
    if (block_.empty() && byte != 0x01) return;
    block_.push_back(byte);
    if (block_.size() < 133) return;
    const std::uint8_t number = block_[1];
    const auto crc = static_cast<std::uint16_t>(block_[131] << 8 | block_[132]);
    CrcTable table;
    table.Fill();
    const bool good = block_[2] == static_cast<std::uint8_t>(~number) &&
                      table.Compute(std::span<const std::uint8_t>(block_.data() + 3, 128)) == crc;
    const auto expected = static_cast<std::uint8_t>(blocks_ + 1);
    if (good && number == expected) {
      std::lock_guard lock(mutex_);
      image_.insert(image_.end(), block_.begin() + 3, block_.begin() + 131);
      ++blocks_;
    }
    // A repeat of the block before (its ACK crossed a stale 'C') is acknowledged again.
    Send(good && (number == expected || number == blocks_) ? 0x06 : 0x15);
    block_.clear();
  }

  int master_ = -1;
  std::string path_;
  State state_ = State::kApplication;
  std::string line_;
  std::vector<std::uint8_t> block_;
  int blocks_ = 0;
  int eots_ = 0;
  std::string version_ = "v1.10.0";
  mutable std::mutex mutex_;
  std::vector<std::uint8_t> image_;
  std::string keys_;
  std::vector<std::string> lines_;
  std::jthread thread_;
};

class SecondBootloaderTest : public ::testing::Test {
 protected:
  SecondBootloaderTest() { Clock::SetScale(0.1); }
  ~SecondBootloaderTest() override {
    connection_.Disconnect();
    Clock::SetScale(1.0);
  }

  bool Open(int baudRate) {
    LineSettings settings;
    settings.baudRate = baudRate;
    settings.flowControl = SerialPort::kFlowNone;
    if (!connection_.OpenPort(module_.PortPath(), settings)) return false;
    DeviceInfo device;
    device.productName = "MA11";
    device.firmwareVersion = "v1.10.0";
    connection_.SetDevice(device);
    return true;
  }

  OtherFamilyModule module_;
  FakeOperator op_;
  Connection connection_{op_};
  RecordingView view_;
  KeyedBootloader bootloader_;
};

TEST_F(SecondBootloaderTest, ALocalUpdateRunsThroughItsKeysAndRate) {
  ASSERT_FALSE(module_.PortPath().empty());
  ASSERT_TRUE(Open(57600));
  const FirmwareImageFile image("MA11", "v1.11.0", 1000);
  FirmwareUpdate update(connection_, view_, op_, bootloader_);
  update.SetChosenPath(image.Path());

  ASSERT_TRUE(update.CheckLocal()) << ::testing::PrintToString(op_.Messages());
  ASSERT_TRUE(update.OnLocalUpdate(std::move(*connection_.TryLease("update"))));
  ASSERT_TRUE(view_.WaitForFinished(kDeadline));
  EXPECT_THAT(view_.finished, ElementsAre(FirmwareOutcome::kCompleted));
  EXPECT_EQ(module_.Image(), image.Padded());
  // Its own keys only: none of the modules' menu keys ("1", "2") reached it.
  EXPECT_EQ(module_.Keys(), "ur");
  EXPECT_THAT(module_.Lines(), ::testing::Contains("AT+UPGRADE"));
  EXPECT_THAT(module_.Lines(), ::testing::Not(::testing::Contains("AT+BOOTLOAD")));
  // The application it started was read again.
  EXPECT_EQ(connection_.Device().firmwareVersion, "v1.11.0");
  EXPECT_THAT(view_.definitions, ElementsAre("MA11_v1.11.0.zmcon"));
  EXPECT_EQ(view_.statuses.back(), "Completed successfully.");
  EXPECT_THAT(op_.Messages(), IsEmpty());
  EXPECT_FALSE(connection_.Gate().Leased());
}

TEST_F(SecondBootloaderTest, TheLineMustRunAtItsRateNotTheModulesOne) {
  ASSERT_TRUE(Open(115200));
  const FirmwareImageFile image("MA11", "v1.11.0", 1000);
  FirmwareUpdate update(connection_, view_, op_, bootloader_);
  update.SetChosenPath(image.Path());
  EXPECT_FALSE(update.CheckLocal());
  EXPECT_THAT(
      op_.Messages(),
      ElementsAre("ERROR: Please change the baudrate to 57600 and flow control to 'none'."));
  // A remote update asks for the same rate.
  EXPECT_EQ(update.OnRemoteUpdate({RemoteRow{}}), std::nullopt);
  EXPECT_EQ(op_.Messages().back(), "ERROR: Please change the baudrate to 57600.");
  EXPECT_THAT(module_.Lines(), IsEmpty()) << "nothing is sent to a line at the wrong rate";
}

// The handshake asks the probe its builder gave; without one a silent module is
// one that does not answer, and nothing of a bootloader is sent.
TEST(HandshakeProbe, TheConnectionAsksTheProbeItWasGiven) {
  sim::Options silent;
  silent.baudRate = 115200;
  silent.faults.silent = true;
  SimHarness h(silent);
  int probes = 0;
  h.Conn().SetBootloaderProbe([&](LineLease&) {
    ++probes;
    return Connection::Probe::kDamaged;
  });
  h.Conn().SetHooks({.offerReload = false});
  EXPECT_FALSE(h.Connect(115200));
  EXPECT_EQ(probes, 1);
  EXPECT_EQ(h.Conn().LastFailure(), Connection::Failure::kFirmwareDamaged);

  h.Conn().SetBootloaderProbe({});
  EXPECT_FALSE(h.Connect(115200));
  EXPECT_EQ(probes, 1);
  EXPECT_EQ(h.Conn().LastFailure(), Connection::Failure::kNoResponse);
  for (const std::string& line : h.Sim().ReceivedLines())
    EXPECT_EQ(line.find('\x03'), std::string::npos) << "the connection probed by itself";
}

}  // namespace
}  // namespace zendra::test
