#include "webupdate/HttpClient.h"
// HTTP on Windows goes through WinHTTP. Until that client is in this build, every
// request fails at once and says so; nothing pretends a download worked.

namespace zendra {

namespace {
constexpr const char* kNoClient = "HTTP is not available in this build of the program";
}  // namespace

HttpClient::Response HttpClient::Get(const std::string&, const BodySink&, bool,
                                     std::stop_token) const {
  Response response;
  response.outcome = Outcome::kFailed;
  response.error = kNoClient;
  return response;
}

HttpClient::UrlText HttpClient::FetchUrlText(const std::string&, std::stop_token) const {
  UrlText result;
  result.error = kNoClient;
  return result;
}

}  // namespace zendra
