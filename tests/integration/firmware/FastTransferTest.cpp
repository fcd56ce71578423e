// Fast flashing and Cancel, measured on the wire: the simulated module records
// every byte with the moment it was on the line, so the tests see the gap between
// an ACK and the next block, the blocks themselves, and the bytes a cancel sends.
// Wire bytes are restated here: SOH 0x01, ACK 0x06, NAK 0x15, CAN 0x18.

#include <gmock/gmock.h>

#include <algorithm>
#include <functional>
#include <thread>

#include "../../unit/firmware/RecordingView.h"
#include "base/Clock.h"
#include "firmware/CrcTable.h"
#include "firmware/FirmwareReload.h"
#include "firmware/FirmwareUpdate.h"
#include "firmware/ImageTransfer.h"
#include "firmware/SerialTransferChannel.h"
#include "support/FirmwareImageFile.h"
#include "support/SimHarness.h"
#include "support/TempFolder.h"

namespace zendra::test {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Ge;
using ::testing::IsEmpty;
using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

constexpr std::uint8_t kSoh = 0x01;
constexpr std::uint8_t kAck = 0x06;
constexpr std::uint8_t kNak = 0x15;
constexpr std::uint8_t kCan = 0x18;
constexpr auto kDeadline = 60s;

// An MA11 image of `size` bytes, read back as version v1.11.0.
struct Image : FirmwareImageFile {
  explicit Image(std::size_t size) : FirmwareImageFile("MA11", "v1.11.0", size) {}
};

// What the record shows of a transfer: each block as the host sent it, the idle
// time on the line between the ACK of a block and the first bit of the next one,
// the module's refusals, and the host's bytes after its last block.
struct Wire {
  std::vector<Bytes> blocks;
  std::vector<std::chrono::nanoseconds> gaps;
  int refusals = 0;
  Bytes hostAfterLastBlock;
};

Wire ReadWire(const std::vector<sim::WireByte>& record) {
  Wire wire;
  Bytes block;
  std::optional<std::chrono::steady_clock::time_point> lastAck;
  bool acked = false;
  for (const sim::WireByte& b : record) {
    if (!b.fromHost) {
      if (b.byte == kAck && !wire.blocks.empty() && block.empty()) {
        lastAck = b.at;
        acked = true;
      }
      if (b.byte == kNak && !wire.blocks.empty()) ++wire.refusals;
      continue;
    }
    if (!block.empty()) {
      block.push_back(b.byte);
      if (block.size() == 133) {
        wire.blocks.push_back(block);
        block.clear();
        wire.hostAfterLastBlock.clear();
        acked = false;
      }
      continue;
    }
    if (b.byte == kSoh) {
      // A new block (or the same again after a refusal) begins one character
      // before its first byte was whole.
      if (acked && lastAck) wire.gaps.push_back(b.at - b.characterTime - *lastAck);
      acked = false;
      block.push_back(b.byte);
      continue;
    }
    if (!wire.blocks.empty()) wire.hostAfterLastBlock.push_back(b.byte);
  }
  return wire;
}

// The record once the module has taken the host's last bytes (`done` holds), or as
// it stands at the deadline.
Wire WireWhen(const sim::ModuleSimulator& module, const std::function<bool(const Wire&)>& done) {
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  Wire wire = ReadWire(module.WireRecord());
  while (!done(wire) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::yield();
    wire = ReadWire(module.WireRecord());
  }
  return wire;
}

// The gap below which a quarter of the gaps lie. A host that shares its processors
// with other work answers some ACKs a scheduler's time slice late (4 ms and more);
// the quicker quarter shows what the transfer itself waits after an ACK.
std::chrono::nanoseconds LowerQuartile(std::vector<std::chrono::nanoseconds> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 4];
}

sim::Options DamagedModule() {
  sim::Options o;
  o.damaged = true;  // waits in its bootloader: a reload sends the image straight away
  o.recordWire = true;
  return o;
}

// A reload through the core of the reload dialog, at real time (the 1 ms pause is
// 1 ms), fast or not. Returns what the wire saw.
Wire ReloadAtRealTime(const Image& image, bool fast, Bytes& received) {
  SimHarness h(DamagedModule(), 1.0);
  EXPECT_TRUE(h.OpenPort(115200));
  RecordingView view;
  FirmwareReload reload(h.Conn(), h.Line(), view, h.Op());
  reload.SetChosenPath(image.Path());
  reload.SetFastTransfer(fast);
  EXPECT_TRUE(reload.OnUpload());
  EXPECT_TRUE(view.WaitForFinished(kDeadline));
  EXPECT_THAT(view.finished, ElementsAre(FirmwareOutcome::kCompleted));
  const auto images = h.Sim().ReceivedImages();
  received = images.empty() ? Bytes() : images.front();
  return ReadWire(h.Sim().WireRecord());
}

TEST(FastFlashing, SendsTheSameBlocksWithoutThePauseAfterEachAck) {
  const Image image(40 * 128 + 77);
  Bytes pausedImage, fastImage;
  const Wire paused = ReloadAtRealTime(image, false, pausedImage);
  const Wire fast = ReloadAtRealTime(image, true, fastImage);

  // Block for block the same bytes, and the same image in the bootloader.
  ASSERT_EQ(paused.blocks.size(), 41u);
  EXPECT_EQ(fast.blocks, paused.blocks);
  EXPECT_EQ(pausedImage, image.Padded());
  EXPECT_EQ(fastImage, image.Padded());
  EXPECT_EQ(paused.refusals, 0);
  EXPECT_EQ(fast.refusals, 0);

  // With the pause the line stays idle at least 1 ms after every ACK; without it
  // the next block follows as soon as the ACK is in (the engine's turnaround only)
  // for most blocks.
  ASSERT_EQ(paused.gaps.size(), 40u);
  ASSERT_EQ(fast.gaps.size(), 40u);
  for (const auto gap : paused.gaps) EXPECT_GE(gap, 1ms);
  EXPECT_LT(LowerQuartile(fast.gaps), 600us) << "idle time after an ACK, fast";
  EXPECT_LT(LowerQuartile(fast.gaps) + 500us, LowerQuartile(paused.gaps))
      << "with the pause " << LowerQuartile(paused.gaps).count() << " ns";
}

TEST(FastFlashing, ABootloaderThatNeedsThePauseIsBroughtThroughByTheRetries) {
  // The bootloader writes each block away for 1 ms after its ACK and refuses a
  // block that begins sooner.
  sim::Options o = DamagedModule();
  o.faults.blockSettleMs = 1;
  SimHarness h(o, 1.0);
  ASSERT_TRUE(h.OpenPort(115200));
  const Image image(12 * 128);
  LineLease& line = h.Line();
  // The menu, then its choice 1: the bootloader asks for the image.
  line.Ring().Reset();
  line.Port().Write("\n");
  ASSERT_TRUE(line.Link().CollectReplyUntil(
      [](const std::string& r) { return r.find("BL") != std::string::npos; }, 50));
  line.Port().Write("1\n");

  CrcTable crc;
  crc.Fill();
  std::vector<std::string> statuses;
  TransferSinks sinks;
  sinks.status = [&](const std::string& text) { statuses.push_back(text); };
  SerialTransferChannel channel(line);
  ImageTransfer engine(channel, crc, h.Op(), sinks);
  TransferParams params;
  params.pauseAfterBlock = false;
  ASSERT_EQ(engine.Run(image.Path(), params, {}), TransferResult::kSuccess);

  EXPECT_THAT(h.Sim().ReceivedImages(), ElementsAre(image.Padded()));
  const Wire wire = ReadWire(h.Sim().WireRecord());
  // Blocks after the first came too soon and went through on their retry, which
  // follows the refusal's drain and pause: none was refused twice.
  EXPECT_GE(wire.refusals, 1);
  EXPECT_LE(wire.refusals, 11);
  const auto refusedOnce = [](const std::string& s) {
    return s.find("[NAK-10]") != std::string::npos;
  };
  const auto refusedTwice = [](const std::string& s) {
    return s.find("[NAK-09]") != std::string::npos;
  };
  EXPECT_TRUE(std::any_of(statuses.begin(), statuses.end(), refusedOnce));
  EXPECT_FALSE(std::any_of(statuses.begin(), statuses.end(), refusedTwice));
  EXPECT_THAT(statuses, ::testing::Not(Contains("Transmit error.")));
}

TEST(FastFlashing, ThePauseKeepsABootloaderThatNeedsItFreeOfRefusals) {
  sim::Options o = DamagedModule();
  o.faults.blockSettleMs = 1;
  SimHarness h(o, 1.0);
  ASSERT_TRUE(h.OpenPort(115200));
  const Image image(12 * 128);
  RecordingView view;
  FirmwareReload reload(h.Conn(), h.Line(), view, h.Op());
  reload.SetChosenPath(image.Path());
  ASSERT_TRUE(reload.OnUpload());
  ASSERT_TRUE(view.WaitForFinished(kDeadline));
  EXPECT_THAT(view.finished, ElementsAre(FirmwareOutcome::kCompleted));
  EXPECT_EQ(ReadWire(h.Sim().WireRecord()).refusals, 0);
}

// Cancel of a local update and of a reload, at the compressed scale.

sim::Options RunningModule() {
  sim::Options o;
  o.baudRate = 115200;
  o.recordWire = true;
  return o;
}

TEST(CancelTransfer, ALocalUpdateCancelledMidTransferEndsWithThreeCanAndSaysSo) {
  SimHarness h(RunningModule());
  ASSERT_TRUE(h.Connect(115200));
  const Image image(64 * 1024);
  RecordingView view;
  FirmwareUpdate update(h.Conn(), view, h.Op());
  update.SetChosenPath(image.Path());
  EXPECT_FALSE(update.CancelUpdate()) << "nothing goes out yet";
  ASSERT_TRUE((update.CheckLocal() && update.OnLocalUpdate(h.TakeLine())));
  ASSERT_TRUE(view.WaitForProgress(5, kDeadline));

  EXPECT_TRUE(update.CancelUpdate());
  ASSERT_TRUE(view.WaitForFinished(kDeadline));
  update.Join();
  EXPECT_THAT(view.finished, ElementsAre(FirmwareOutcome::kStopped));
  EXPECT_EQ(update.LastOutcome(), FirmwareOutcome::kStopped);
  EXPECT_EQ(view.statuses.back(), "Update cancelled.");
  EXPECT_THAT(view.buttons, ElementsAre(false, true));
  EXPECT_THAT(h.Op().Messages(), IsEmpty());

  // On the wire: CAN CAN CAN after the last block, and nothing else from the host.
  const Wire wire =
      WireWhen(h.Sim(), [](const Wire& w) { return w.hostAfterLastBlock.size() >= 3; });
  EXPECT_GT(wire.blocks.size(), 10u);
  EXPECT_LT(wire.blocks.size(), 512u);
  EXPECT_EQ(wire.hostAfterLastBlock, Bytes({kCan, kCan, kCan}));
  // The bootloader left its receive state; no image arrived.
  EXPECT_THAT(h.Sim().ReceivedImages(), IsEmpty());
  EXPECT_TRUE(h.Sim().InBootloader());
  // The update gave the line back.
  EXPECT_TRUE(h.Conn().TryLease("after the cancel").has_value());
  EXPECT_FALSE(update.CancelUpdate()) << "nothing goes out any more";
}

TEST(CancelTransfer, AReloadCancelledMidTransferEndsWithThreeCanAndCanBeStartedAgain) {
  sim::Options o = DamagedModule();
  SimHarness h(o);
  ASSERT_TRUE(h.OpenPort(115200));
  const Image image(64 * 1024);
  RecordingView view;
  FirmwareReload reload(h.Conn(), h.Line(), view, h.Op());
  reload.SetChosenPath(image.Path());
  ASSERT_TRUE(reload.OnUpload());
  ASSERT_TRUE(view.WaitForProgress(5, kDeadline));
  EXPECT_TRUE(reload.CancelTransfer());
  ASSERT_TRUE(view.WaitForFinished(kDeadline));
  reload.Join();
  EXPECT_THAT(view.finished, ElementsAre(FirmwareOutcome::kStopped));
  EXPECT_EQ(view.statuses.back(), "Update cancelled.");
  EXPECT_EQ(WireWhen(h.Sim(), [](const Wire& w) { return w.hostAfterLastBlock.size() >= 3; })
                .hostAfterLastBlock,
            Bytes({kCan, kCan, kCan}));
  EXPECT_THAT(h.Op().Messages(), IsEmpty());

  // The bootloader is back at its menu: the same dialog uploads the image whole.
  h.Sim().ClearLog();
  ASSERT_TRUE(reload.OnUpload());
  ASSERT_TRUE(view.WaitForFinishedCount(2, kDeadline));
  EXPECT_EQ(view.finished.back(), FirmwareOutcome::kCompleted);
  EXPECT_THAT(h.Sim().ReceivedImages(), ElementsAre(image.Padded()));
}

}  // namespace
}  // namespace zendra::test
