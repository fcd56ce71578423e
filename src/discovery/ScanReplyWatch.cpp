#include "discovery/ScanReplyWatch.h"

namespace zendra {

ScanReplyState ScanReplyWatch::Judge(std::string_view reply, std::size_t* at) {
  std::size_t where = 0;
  const ScanReplyState state = JudgeScanReply(reply.substr(judged_), &where);
  if (state != ScanReplyState::kPending) {
    if (at) *at = judged_ + where;
    return state;
  }
  // The last piece may still become a verdict; everything before its start has ended.
  const std::size_t end = reply.find_last_of("\r\n");
  if (end != std::string_view::npos) judged_ = end + 1;
  return state;
}

}  // namespace zendra
