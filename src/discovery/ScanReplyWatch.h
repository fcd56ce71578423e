#pragma once
// JudgeScanReply for a reply that grows piece by piece, as the scan collects it: the
// lines that have ended without a verdict are not read again, so a network of
// thousands of devices costs each line one look. Give it the whole reply so far each
// time; its verdict and position are those JudgeScanReply gives for that text.

#include <cstddef>
#include <string_view>

#include "discovery/ScanReply.h"

namespace zendra {

class ScanReplyWatch {
 public:
  ScanReplyState Judge(std::string_view reply, std::size_t* at = nullptr);

 private:
  std::size_t judged_ = 0;  // the lines before this have ended and hold no verdict
};

}  // namespace zendra
