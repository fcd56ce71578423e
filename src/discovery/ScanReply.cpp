#include "discovery/ScanReply.h"

#include <array>

#include "serial/AtLink.h"

namespace zendra {
namespace {

constexpr char kSeparator = '|';

// Lines whose first field holds one of these are not devices of the list (the
// module's markers); they are skipped without using up a row.
constexpr std::array<std::string_view, 3> kMarkers{"*", "CLD", "CHD"};

bool IsDeviceRecord(std::string_view line) {
  const std::size_t bar = line.find(kSeparator);
  if (bar == std::string_view::npos) return false;
  const std::string_view first = line.substr(0, bar);
  for (std::string_view marker : kMarkers)
    if (first.find(marker) != std::string_view::npos) return false;
  return true;
}

// The text before the next bar; `rest` then continues after that bar. Without a
// further bar the field is empty and `rest` is left as it is.
std::string_view TakeField(std::string_view& rest) {
  const std::size_t bar = rest.find(kSeparator);
  if (bar == std::string_view::npos) return {};
  const std::string_view field = rest.substr(0, bar);
  rest.remove_prefix(bar + 1);
  return field;
}

std::string CutAt(std::string_view text, char stop) {
  return std::string(text.substr(0, text.find(stop)));
}

DeviceRecord ParseRecord(std::string_view line) {
  DeviceRecord record;
  std::string_view rest = line;
  record.nodeType = CutAt(TakeField(rest), ' ');
  record.ieeeAddress = CutAt(TakeField(rest), ' ');
  TakeField(rest);  // field 3 is not shown
  record.version = CutAt(TakeField(rest), ' ');
  record.modelType = CutAt(TakeField(rest), ' ');
  record.nodeName = CutAt(rest, '\r');
  return record;
}

}  // namespace

std::vector<DeviceRecord> ParseScanReply(std::string_view reply) {
  std::vector<DeviceRecord> records;
  std::string_view rest = reply;
  for (;;) {
    const std::size_t lf = rest.find('\n');
    const std::string_view line = rest.substr(0, lf);
    if (IsDeviceRecord(line)) records.push_back(ParseRecord(line));
    if (lf == std::string_view::npos) break;
    rest.remove_prefix(lf + 1);
  }
  return records;
}

ScanReplyState JudgeScanReply(std::string_view reply, std::size_t* at) {
  const std::size_t ok = AtLink::FindLine(reply, "OK");
  const std::size_t error = AtLink::FindLine(reply, "ERROR");
  if (ok == std::string_view::npos && error == std::string_view::npos)
    return ScanReplyState::kPending;
  // The module sends one verdict; should both be there, the earlier line is it.
  const bool complete = ok < error;
  if (at) *at = complete ? ok : error;
  return complete ? ScanReplyState::kComplete : ScanReplyState::kFailed;
}

}  // namespace zendra
