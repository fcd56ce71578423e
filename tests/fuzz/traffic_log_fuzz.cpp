// libFuzzer target: the traffic log's formatter reads whatever crossed the line,
// the module's bytes above all. The input is a sequence of events: a byte for the
// kind, a byte for the time step (ms), a byte for the length, then that many bytes.
// Checks: every entry is printable ASCII; times never fall; the text entries of
// each direction read back to exactly the bytes of that direction but those a
// block summary stands for (the block, and its one-byte answer).
//
//   cmake --preset fuzz && cmake --build build-fuzz --target traffic_log_fuzz
//   ./build-fuzz/bin/traffic_log_fuzz -max_total_time=60

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "../support/VisibleBytes.h"
#include "serial/TrafficFormatter.h"

namespace {

using namespace zendra;

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// "block 17 ..., 133 bytes, ACK": the frame's size and whether an answer byte went with it.
void CountBlock(const std::string& text, std::size_t& blockBytes, std::size_t& answers) {
  Check(text.rfind("block ", 0) == 0);
  const std::size_t size = text.find(", 133 bytes, ") != std::string::npos ? 133 : 1029;
  Check(text.find(size == 133 ? ", 133 bytes, " : ", 1029 bytes, ") != std::string::npos);
  blockBytes += size;
  if (text.find("no answer") == std::string::npos) ++answers;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::vector<LineTap::Event> kEvents = {
      LineTap::Event::kSent,     LineTap::Event::kReceived, LineTap::Event::kSent,
      LineTap::Event::kReceived, LineTap::Event::kOpened,   LineTap::Event::kClosed,
      LineTap::Event::kLost,     LineTap::Event::kNote};
  TrafficFormatter formatter;
  std::vector<TrafficEntry> out;
  auto at = std::chrono::steady_clock::time_point(std::chrono::hours(1));
  std::string sent, received;
  std::size_t i = 0;
  while (i + 3 <= size) {
    const LineTap::Event event = kEvents[data[i] % kEvents.size()];
    at += std::chrono::milliseconds(data[i + 1]);
    std::size_t length = data[i + 2];
    i += 3;
    std::vector<std::uint8_t> bytes(data + i, data + std::min(size, i + length));
    // A block needs 133 bytes: a length byte of 255 stands for one made of what follows.
    if (length == 255 && bytes.size() >= 3) {
      bytes.resize(133, bytes.back());
      bytes[0] = 0x01;
      bytes[2] = static_cast<std::uint8_t>(~bytes[1]);
    }
    i += std::min(size - i, length);
    if (event == LineTap::Event::kSent) sent.append(bytes.begin(), bytes.end());
    if (event == LineTap::Event::kReceived) received.append(bytes.begin(), bytes.end());
    formatter.Add(event, at, bytes, out);
    formatter.EndIdleLines(at, out);
  }
  formatter.Finish(out);

  std::string sentText, receivedText;
  std::size_t blockBytes = 0, answers = 0;
  for (std::size_t k = 0; k < out.size(); ++k) {
    const TrafficEntry& entry = out[k];
    if (k > 0) Check(entry.microseconds >= out[k - 1].microseconds);
    for (const char c : entry.text) Check(c >= 0x20 && c <= 0x7E);
    (void)TrafficFormatter::Line(entry);
    if (entry.direction == TrafficEntry::Direction::kNote) continue;
    if (entry.block) {
      Check(entry.direction == TrafficEntry::Direction::kSent);
      CountBlock(entry.text, blockBytes, answers);
      continue;
    }
    const auto bytes = zendra::test::BytesOfVisible(entry.text);
    Check(bytes.has_value());
    Check(bytes->size() <= TrafficFormatter::kMaxLineBytes);
    (entry.direction == TrafficEntry::Direction::kSent ? sentText : receivedText) += *bytes;
  }
  Check(sentText.size() + blockBytes == sent.size());
  Check(receivedText.size() + answers == received.size());
  if (blockBytes == 0) Check(sentText == sent);
  if (answers == 0) Check(receivedText == received);
  return 0;
}
