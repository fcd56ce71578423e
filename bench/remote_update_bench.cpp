// How long a remote update of three devices takes against what its protocol
// allows: the sequence from the remote button's press to the last device's end,
// through the paced simulated module and its relay (radio hop 0 ms), at real time.
//
// The reference is what the sequence cannot do without:
//   - the timer's first look (100 ms) and, between two devices, the look that comes
//     5000 ms after a start has returned (each transfer here takes under 5 s, so
//     the next device starts at that look);
//   - each start's fixed pauses: the line end and 100 ms, 2000 ms, 5000 ms, the
//     bootload command, the module's own time to reach the remote bootloader
//     (remoteBootloadMs) and the answer's "Start", then 2000 ms;
//   - the last device's transfer: the blocks on the line (133 bytes out, 1 back,
//     each followed by the engine's 1 ms pause), the start request, the two EOTs,
//     the engine's two 100 ms pauses and the completion text.
// The relay's start request is not in it: the relay asks once a second from its
// "Start", and the request that comes during the 2000 ms pause is thrown away by the
// engine's drain, so the last device waits up to a second more (printed per device).
// Target: the measured sequence within 1.05 of the reference. Prints the median of
// the runs (default 3) and each transfer's start wait, blocks and ending.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "ModuleSimulator.h"
#include "SilentOperator.h"
#include "base/Clock.h"
#include "device/Connection.h"
#include "firmware/FirmwarePageView.h"
#include "firmware/FirmwareUpdate.h"

namespace {

using namespace zendra;
using Seconds = std::chrono::duration<double>;

constexpr int kBaud = 115200;
constexpr std::size_t kImageBytes = 30 * 1024;
constexpr int kBootloadMs = 1500;
const std::vector<std::string> kRemotes = {"000D6F0000000C01", "000D6F0000000C02",
                                           "000D6F0000000C03"};

// Records when each device's worker began sending and ended.
class TimingView : public FirmwarePageView {
 public:
  void SetStatus(const std::string& text) override {
    std::lock_guard lock(mutex_);
    if (text == "Preparing for firmware update......") workerStarts.push_back(Now());
    if (text == "Finishing...") finishing.push_back(Now());
  }
  void SetRowProgress(int, int) override {
    std::lock_guard lock(mutex_);
    if (firstAcks.size() < workerStarts.size()) firstAcks.push_back(Now());
  }
  void SetProgress(int) override {}
  void EnableButtons(bool) override {}
  void Finished(FirmwareOutcome outcome) override {
    std::lock_guard lock(mutex_);
    ends.push_back(Now());
    outcomes.push_back(outcome);
  }
  void ShowDeviceTexts(const DeviceInfo&) override {}
  void ReloadDefinitions(const std::string&) override {}

  static std::chrono::steady_clock::time_point Now() { return std::chrono::steady_clock::now(); }
  std::vector<std::chrono::steady_clock::time_point> workerStarts, firstAcks, finishing, ends;
  std::vector<FirmwareOutcome> outcomes;

 private:
  std::mutex mutex_;
};

double CharSeconds(double characters) { return characters * 10.0 / kBaud; }

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  Clock::SetScale(1.0);

  const auto image = std::filesystem::temp_directory_path() / "zendra-remote-bench.ebl";
  {
    std::string bytes = std::string("EBL") + '\0' + "MA11" + '\0' + "VERSION=v1.11.0" + '\0';
    while (bytes.size() < kImageBytes) bytes.push_back(static_cast<char>(bytes.size() * 13 + 5));
    std::ofstream(image, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }

  sim::Options options;
  options.baudRate = kBaud;
  options.timeScale = 1.0;
  options.relayBlockMs = 0;
  options.remoteBootloadMs = kBootloadMs;
  for (const auto& eui : kRemotes) {
    sim::RemoteNode node;
    node.euiAddress = eui;
    options.remotes.push_back(node);
  }
  sim::ModuleSimulator module(options);
  if (!module.Start()) {
    std::fprintf(stderr, "the simulated module did not start\n");
    return 1;
  }
  bench::SilentOperator op;
  Connection connection(op);
  LineSettings settings;
  settings.baudRate = kBaud;
  if (!connection.Connect(module.PortPath(), settings)) {
    std::fprintf(stderr, "could not connect to %s\n", module.PortPath().c_str());
    return 1;
  }

  // The reference, in seconds.
  const double blocks = static_cast<double>((kImageBytes + 127) / 128);
  const double transferLine = blocks * (CharSeconds(134) + 0.001);
  // 'C', EOT + its answer, EOT, "\r\n", the two 100 ms pauses, "\r\nRemote upload complete\r\n".
  const double transferEnds = CharSeconds(1 + 2 + 1 + 2) + 0.2 + CharSeconds(25);
  const double bootloadCommand = CharSeconds(std::string("AT+BOOTLOAD=1,").size() + 16 + 2);
  const double start = CharSeconds(1) + 0.1 + 2.0 + 5.0 + bootloadCommand + kBootloadMs / 1000.0 +
                       CharSeconds(2 + 5) + 2.0;
  const double n = static_cast<double>(kRemotes.size());
  const double reference = 0.1 + n * start + (n - 1) * 5.0 + transferLine + transferEnds;

  std::vector<double> totals, blockRatios;
  for (int run = 0; run < runs; ++run) {
    TimingView view;
    FirmwareUpdate update(connection, view, op);
    update.SetChosenPath(image.string());
    std::vector<RemoteRow> rows;
    for (const auto& eui : kRemotes) rows.push_back({eui, true});
    const auto first = update.OnRemoteUpdate(rows);
    if (!first) {
      std::fprintf(stderr, "run %d: the checks refused\n", run + 1);
      return 1;
    }
    const auto began = std::chrono::steady_clock::now();
    update.RunRemoteUpdate(*first);
    const double total = Seconds(std::chrono::steady_clock::now() - began).count();
    if (view.outcomes.size() != kRemotes.size() ||
        std::any_of(view.outcomes.begin(), view.outcomes.end(),
                    [](FirmwareOutcome o) { return o != FirmwareOutcome::kCompleted; })) {
      std::fprintf(stderr, "run %d: a device did not complete\n", run + 1);
      return 1;
    }
    totals.push_back(total);
    std::printf("run %d: sequence %.3f s, reference %.3f s, ratio %.4f\n", run + 1, total,
                reference, total / reference);
    // Each transfer: the wait for the relay's start request (it asks once a second
    // from its "Start"; one that comes during the engine's drain is passed over),
    // the blocks against their line time, and the ending.
    const double block = CharSeconds(134) + 0.001;
    for (std::size_t i = 0; i < view.ends.size(); ++i) {
      const double startWait = Seconds(view.firstAcks[i] - view.workerStarts[i]).count() - block;
      const double blocksTime = Seconds(view.finishing[i] - view.firstAcks[i]).count() + block;
      const double ending = Seconds(view.ends[i] - view.finishing[i]).count();
      blockRatios.push_back(blocksTime / transferLine);
      std::printf("  device %zu: start request after %.3f s, blocks %.3f s (%.4f of their line "
                  "time), ending %.3f s\n",
                  i + 1, startWait, blocksTime, blocksTime / transferLine, ending);
    }
    std::fflush(stdout);
  }
  std::sort(totals.begin(), totals.end());
  std::sort(blockRatios.begin(), blockRatios.end());
  const double median = totals[totals.size() / 2];
  std::printf("remote_update_bench: 3 devices, %zu-byte image at %d baud, median of %d runs\n",
              kImageBytes, kBaud, runs);
  std::printf("  sequence %.3f s, reference %.3f s (pauses and looks %.3f s, the last transfer's "
              "line time %.3f s): ratio %.4f (target <= 1.05)\n",
              median, reference, reference - transferLine - transferEnds,
              transferLine + transferEnds, median / reference);
  std::printf("  a transfer's blocks against their line time (median of %zu): %.4f\n",
              blockRatios.size(), blockRatios[blockRatios.size() / 2]);
  connection.Disconnect();
  module.Stop();
  std::filesystem::remove(image);
  return median / reference <= 1.05 ? 0 : 1;
}
