// libFuzzer target: what the module sends back is outside input. The first line
// of the input is the command line as sent, the rest the bytes received. Runs
// what the transactions and the handshake make of a reply: the echo taken out,
// the verdict lines, the reply line, the bootloader's upload request, and what a
// detect probe makes of everything it received. The same input also gives a
// query and a value, put on the line as a module does (either reply form, echo
// on or off, the echo's LF before or after the answer): at every moment the
// answer's OK line is there, the reply line is the value.
//
//   cmake --preset fuzz && cmake --build build-fuzz --target module_reply_fuzz
//   ./build-fuzz/bin/module_reply_fuzz -max_total_time=60

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "serial/AtLink.h"
#include "serial/PortDetect.h"

namespace {

using namespace zendra;

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

std::string WithoutLineEnds(std::string_view text) {
  std::string kept;
  for (const char c : text)
    if (c != '\r' && c != '\n') kept += c;
  return kept;
}

// `flags` picks the reply form and how the echo comes back.
void CheckReplyForms(std::string_view sentText, std::string_view valueText, unsigned flags) {
  const std::string command = WithoutLineEnds(sentText);
  const std::string value = WithoutLineEnds(valueText);
  if (command.empty() || value == "OK") return;
  const std::string sent = command + ((flags & 1) ? "\n" : "\r\n");
  const std::string answer = "\r\n" + value + ((flags & 2) ? "\r\n\r\nOK\r\n" : "\r\nOK\r\n");
  const std::string lineEnd = sent.substr(command.size());
  std::string received;
  switch ((flags >> 2) % 4) {
    case 0:
      received = answer;
      break;  // echo off
    case 1:
      received = command + lineEnd[0] + answer + lineEnd.substr(1);
      break;  // LF after
    case 2:
      received = sent + answer;
      break;  // line echoed first
    default:
      received = "\n" + command + lineEnd[0] + answer + lineEnd.substr(1);
      break;
  }
  bool decided = false;
  for (std::size_t n = 1; n <= received.size(); ++n) {
    const std::string part = received.substr(0, n);
    const std::string_view rest = AtLink::WithoutEcho(part, sent);
    const std::size_t ok = AtLink::FindLine(rest, "OK");
    // A transaction decides once the OK line has ended (it takes the rest of it).
    if (ok == std::string_view::npos || ok + 2 >= rest.size()) continue;
    decided = true;
    Check(AtLink::ReplyLine(rest) == value);
  }
  Check(decided);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = input.find('\n');
  const std::string sent = split == std::string::npos ? input : input.substr(0, split + 1);
  const std::string received = split == std::string::npos ? std::string() : input.substr(split + 1);

  // What is left after the echo is the end of what was received.
  const std::string_view answer = AtLink::WithoutEcho(received, sent);
  Check(answer.size() <= received.size());
  Check(received.compare(received.size() - answer.size(), answer.size(), answer) == 0);

  for (const std::string_view word : {std::string_view("OK"), std::string_view("ERROR")}) {
    const std::size_t at = AtLink::FindLine(answer, word);
    if (at == std::string_view::npos) continue;
    // A verdict line stands between line ends (or the ends of the text).
    Check(answer.compare(at, word.size(), word) == 0);
    Check(at == 0 || answer[at - 1] == '\r' || answer[at - 1] == '\n');
    const std::size_t after = at + word.size();
    Check(after == answer.size() || answer[after] == '\r' || answer[after] == '\n');
  }

  // The reply line of an answer with its OK line is a piece of that answer that
  // ends before a CR.
  if (AtLink::FindLine(answer, "OK") != std::string_view::npos) {
    const std::string line = AtLink::ReplyLine(answer);
    Check(line.find('\r') == std::string::npos);
    Check(answer.find(line) != std::string_view::npos);
  }

  // A probe's verdict: a module only on a line that is exactly OK (or ERROR), a
  // bootloader only on its prompt.
  const PortDetect::Answer probe = PortDetect::Judge(received);
  const bool okLine = AtLink::FindLine(received, "OK") != std::string_view::npos;
  Check((probe == PortDetect::Answer::kOk) == okLine);
  if (probe == PortDetect::Answer::kBootloader)
    Check(received.find("BL") != std::string::npos || AtLink::WaitingForUpload(received));
  if (probe == PortDetect::Answer::kError)
    Check(AtLink::FindLine(received, "ERROR") != std::string_view::npos);

  if (!received.empty())
    CheckReplyForms(sent, std::string_view(received).substr(1),
                    static_cast<unsigned char>(received[0]));

  (void)AtLink::HoldsControlByte(received);
  return 0;
}
