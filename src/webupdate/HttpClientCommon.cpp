#include "webupdate/HttpClient.h"
// What the HTTP client does alike on every system, on top of its Get.

namespace zendra {

HttpClient::UrlText HttpClient::FetchUrlText(const std::string& url, std::stop_token stop) const {
  UrlText result;
  const auto response = Get(
      url,
      [&](std::string_view piece, const Response&) {
        if (static_cast<std::int64_t>(result.text.size() + piece.size()) > options_.maxTextBytes)
          return false;
        result.text.append(piece);
        return true;
      },
      false, stop);
  result.status = response.status;
  if (response.outcome != Outcome::kComplete) {
    result.text.clear();
    result.tooLong = response.outcome == Outcome::kRefused;
    result.error = result.tooLong ? "The answer is too long for a list." : response.error;
  }
  return result;
}

}  // namespace zendra
