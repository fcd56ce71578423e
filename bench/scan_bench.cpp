// scan_bench [runs, default 21] [baud of the end-to-end scan, default 460800]: the network scan's work on the manager's side for a
// network of 1,000 devices, median of the runs.
//   - parse: ParseScanReply on the whole reply (1,000 records, a marker header, "OK");
//   - judge: JudgeScanReply on the whole reply (what the collector does after a piece);
//   - fill: the Firmware Update page's list emptied and filled with 1,000 rows and
//     their bars, then the page shown and painted (offscreen unless QT_QPA_PLATFORM
//     says otherwise).
//   - end to end: RunNetworkScan against the simulated module listing 1,000 nodes at
//     460800 baud (or the rate given) in one go, at real time: the time from the module's last byte
//     leaving the line to the scan's return (the line itself takes about 1.2 s).

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ModuleSimulator.h"
#include "SilentOperator.h"
#include "base/Clock.h"
#include "device/Connection.h"
#include "discovery/NetworkScan.h"
#include "discovery/ScanReply.h"
#include "discovery/ui/DeviceListCtrl.h"
#include "firmware/ui/FirmwarePage.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string Reply(int devices) {
  std::string reply = "*|Coordinator|000D6F0000A1B2C3|0000|v1.10.0|MA11|Zendra1\r\n";
  char line[160];
  for (int i = 0; i < devices; ++i) {
    std::snprintf(line, sizeof line, "%s|000D6F0001%06X|%04X|v1.10.0   |MA11|Sensor %04d\r\n",
                  i % 3 == 0 ? "FFD" : "RFD", i * 7919, (i * 31) & 0xFFFF, i);
    reply += line;
  }
  return reply + "OK\r\n";
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// One scan of a simulated network of `devices` nodes; the time from the module's last
// byte to the scan's return, in microseconds, and the whole scan in milliseconds.
struct EndToEndFigures {
  double latencyUs;
  double wholeMs;
  double lineMs;  // the reply's bytes at the line rate (10 bits a byte)
};
EndToEndFigures EndToEnd(int devices, int baud) {
  zendra::sim::Options options;
  options.baudRate = baud;
  options.remotes = zendra::sim::GeneratedNetwork(devices);
  options.scan.scanMs = 0;
  options.scan.lineGapMs = 0;
  zendra::sim::ModuleSimulator module(options);
  if (!module.Start()) std::exit(1);
  zendra::bench::SilentOperator op;
  zendra::Connection connection(op);
  zendra::LineSettings settings;
  settings.baudRate = baud;
  if (!connection.OpenPort(module.PortPath(), settings)) std::exit(1);
  auto line = connection.TryLease("scan_bench");
  line->Link().SendAtCommand("ATE0\r\n", 1);
  const auto start = Clock::now();
  const auto result = zendra::RunNetworkScan(*line, op);
  const auto returned = Clock::now();
  if (result.devices.size() != static_cast<std::size_t>(devices)) std::exit(1);
  const double latency =
      std::chrono::duration<double, std::micro>(returned - module.LastByteSentAt()).count();
  const double lineMs = static_cast<double>(line->Reply().size()) * 10.0 * 1000.0 / baud;
  line.reset();
  connection.Disconnect();
  return {latency, Ms(returned - start), lineMs};
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 21;
  const int baud = argc > 2 ? std::atoi(argv[2]) : 460800;
  constexpr int kDevices = 1000;
  const std::string reply = Reply(kDevices);

  std::vector<double> parse, judge, fill;
  std::vector<zendra::DeviceRecord> devices;
  for (int run = 0; run < runs; ++run) {
    auto start = Clock::now();
    devices = zendra::ParseScanReply(reply);
    parse.push_back(Ms(Clock::now() - start));
    start = Clock::now();
    const auto state = zendra::JudgeScanReply(reply);
    judge.push_back(Ms(Clock::now() - start));
    if (devices.size() != kDevices || state != zendra::ScanReplyState::kComplete) return 1;
  }

  zendra::bench::SilentOperator op;
  zendra::Connection connection(op);
  zendra::FirmwarePage page(connection, op);
  page.resize(page.minimumSize());
  page.show();
  QCoreApplication::processEvents();
  zendra::DeviceListCtrl* list = page.DeviceList();
  for (int run = 0; run < runs; ++run) {
    // What Search does on the window's thread around the scan: empty, then fill.
    const auto start = Clock::now();
    list->RemoveAllRowProgress();
    list->setRowCount(0);
    page.FillDeviceList(devices);
    QCoreApplication::processEvents();  // laid out and painted
    fill.push_back(Ms(Clock::now() - start));
    if (list->rowCount() != kDevices || list->RowProgressCount() != kDevices) return 1;
  }

  zendra::Clock::SetScale(1.0);
  std::vector<double> latency, whole;
  double lineMs = 0;
  for (int run = 0; run < std::min(runs, 5); ++run) {
    const EndToEndFigures figures = EndToEnd(kDevices, baud);
    latency.push_back(figures.latencyUs);
    whole.push_back(figures.wholeMs);
    lineMs = figures.lineMs;
  }

  std::printf("scan of %d devices, %zu-byte reply, median of %d runs\n", kDevices, reply.size(),
              runs);
  std::printf("  parse  %8.3f ms   (target < 2 ms)\n", Median(parse));
  std::printf("  judge  %8.3f ms\n", Median(judge));
  std::printf("  fill   %8.3f ms   (target < 200 ms)\n", Median(fill));
  std::printf("  end to end at %d baud (median of %zu): %.1f ms for %.1f ms of line time "
              "(%.3f), returned %.1f us after the module's last byte\n",
              baud, whole.size(), Median(whole), lineMs, Median(whole) / lineMs, Median(latency));
  return 0;
}
