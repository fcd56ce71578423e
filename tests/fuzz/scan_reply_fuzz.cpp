// libFuzzer target: the network scan reply is outside input (the local module and,
// through it, every remote node's name). Parses arbitrary bytes as a scan reply and
// judges them as the collector would after every piece (whole, and with the watch that
// reads each ended line once), and checks what the rows, the verdict and the position
// of the deciding line must always satisfy, that a row's address makes a remote
// command line only when it cannot break it, and that every name reads as text.
//
//   cmake --preset fuzz && cmake --build build-fuzz --target scan_reply_fuzz
//   ./build-fuzz/bin/scan_reply_fuzz -max_total_time=60

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/SingleByteText.h"
#include "discovery/ScanReply.h"
#include "discovery/ScanReplyWatch.h"
#include "serial/AtLink.h"

namespace {

using namespace zendra;

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

bool Holds(std::string_view text, char c) { return text.find(c) != std::string_view::npos; }

void CheckRows(std::string_view reply) {
  const auto rows = ParseScanReply(reply);
  const auto lines = static_cast<std::size_t>(std::count(reply.begin(), reply.end(), '\n')) + 1;
  Check(rows.size() <= lines);
  for (const DeviceRecord& row : rows) {
    for (std::string_view cut : {row.nodeType, row.ieeeAddress, row.version, row.modelType}) {
      Check(!Holds(cut, '\n') && !Holds(cut, ' ') && !Holds(cut, '|'));
      Check(reply.find(cut) != std::string_view::npos);
    }
    Check(!Holds(row.nodeName, '\n') && !Holds(row.nodeName, '\r'));
    // A row's address becomes a remote command line only when it cannot break it:
    // then the line is the address and the one command, split at one comma.
    const auto line = AtLink::RemoteLine("AT+VERSION\r\n", row.ieeeAddress);
    Check(line.has_value() == (!row.ieeeAddress.empty() && !Holds(row.ieeeAddress, ',') &&
                               !AtLink::HoldsControlByte(row.ieeeAddress)));
    if (line) {
      Check(*line == "AT+RC=" + row.ieeeAddress + ",AT+VERSION\r\n");
      Check(line->find(',') == 6 + row.ieeeAddress.size());
      Check(line->find_first_of("\r\n") == line->size() - 2);
    }
    Check(reply.find(row.nodeName) != std::string_view::npos);
    // The name as JSON shows it: UTF-8 always, the same characters as the name's
    // single-byte reading, and the name itself when it was UTF-8 already.
    const std::string utf8 = SingleByteTextAsUtf8(row.nodeName);
    const auto chars = DecodeUtf8(utf8);
    Check(chars.has_value() && *chars == ReadSingleByteText(row.nodeName));
    if (DecodeUtf8(row.nodeName))
      Check(utf8 == row.nodeName);
    else
      Check(chars->size() == row.nodeName.size());
    Check(row.nodeType.find('*') == std::string::npos &&
          row.nodeType.find("CLD") == std::string::npos &&
          row.nodeType.find("CHD") == std::string::npos);
  }
  // The module's closing line adds no device.
  Check(ParseScanReply(std::string(reply) + "\nOK\r\n") == rows);
}

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

// The deciding line is exactly its word, between line ends (or the text's ends).
void CheckDecidingLine(std::string_view reply, ScanReplyState state, std::size_t at) {
  if (state == ScanReplyState::kPending) return;
  const std::string_view word = state == ScanReplyState::kComplete ? "OK" : "ERROR";
  Check(at <= reply.size() && reply.substr(at, word.size()) == word);
  Check(at == 0 || IsLineEnd(reply[at - 1]));
  Check(at + word.size() == reply.size() || IsLineEnd(reply[at + word.size()]));
}

// The collector's watch, fed the reply in pieces of a size taken from the input, says
// what judging the whole text so far says, verdict and position.
void CheckWatch(std::string_view reply) {
  const std::size_t step = reply.empty() ? 1 : 1 + static_cast<unsigned char>(reply[0]) % 16;
  ScanReplyWatch watch;
  for (std::size_t n = 0;; n = std::min(reply.size(), n + step)) {
    const std::string_view piece = reply.substr(0, n);
    std::size_t wholeAt = 0, watchAt = 0;
    const ScanReplyState whole = JudgeScanReply(piece, &wholeAt);
    Check(watch.Judge(piece, &watchAt) == whole);
    if (whole != ScanReplyState::kPending) Check(watchAt == wholeAt);
    CheckDecidingLine(piece, whole, wholeAt);
    if (n == reply.size()) break;
  }
}

void CheckVerdicts(std::string_view reply) {
  const ScanReplyState whole = JudgeScanReply(reply);
  // A line end arriving after the last piece never changes the verdict.
  Check(JudgeScanReply(std::string(reply) + "\n") == whole);
  if (whole == ScanReplyState::kComplete) Check(reply.find("OK") != std::string_view::npos);
  if (whole == ScanReplyState::kFailed) Check(reply.find("ERROR") != std::string_view::npos);

  // Pieces that end at a line end: once they decide, nothing after them changes it,
  // and the whole reply is judged the same way.
  ScanReplyState decided = ScanReplyState::kPending;
  for (std::size_t lf = reply.find('\n'); lf != std::string_view::npos;
       lf = reply.find('\n', lf + 1)) {
    const ScanReplyState piece = JudgeScanReply(reply.substr(0, lf + 1));
    if (decided != ScanReplyState::kPending) Check(piece == decided);
    decided = piece;
  }
  if (decided != ScanReplyState::kPending) Check(whole == decided);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view reply(reinterpret_cast<const char*>(data), size);
  CheckRows(reply);
  CheckVerdicts(reply);
  CheckWatch(reply);
  return 0;
}
