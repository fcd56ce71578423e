#include "webupdate/HttpClient.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace zendra {

namespace {

constexpr long kMaxRedirects = 5;
// How long one wait for the network lasts at most; a stop wakes it earlier.
constexpr int kPollMilliseconds = 1000;

bool IsSuccess(long status) { return status >= 200 && status < 300; }

// The wording curl uses for a refused status, also for the statuses below 400
// that curl itself lets through (a redirect without a target, say).
std::string StatusError(long status) {
  return "The requested URL returned error: " + std::to_string(status);
}

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// What the callbacks of one transfer share with Get.
struct Transfer {
  CURL* easy = nullptr;
  const HttpClient::BodySink* sink = nullptr;
  HttpClient::Response* response = nullptr;
  std::stop_token stop;
  bool requireSuccess = false;
  bool headSeen = false;
  bool refused = false;       // the sink said no
  bool statusFailed = false;  // a body came with a status outside 2xx
};

void ReadHead(Transfer& t) {
  curl_easy_getinfo(t.easy, CURLINFO_RESPONSE_CODE, &t.response->status);
  curl_off_t length = -1;
  curl_easy_getinfo(t.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  t.response->contentLength = length;
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto& t = *static_cast<Transfer*>(user);
  const std::size_t bytes = size * count;
  if (bytes == 0) return 0;
  if (!t.headSeen) {
    // curl hands over only the final response's body, so its head is complete now.
    t.headSeen = true;
    ReadHead(t);
    if (t.requireSuccess && !IsSuccess(t.response->status)) {
      t.statusFailed = true;
      return 0;
    }
  }
  if (!(*t.sink)(std::string_view(data, bytes), *t.response)) {
    t.refused = true;
    return 0;
  }
  t.response->bodyBytes += static_cast<std::int64_t>(bytes);
  return bytes;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  // Ends a transfer that is busy moving data; the wake-up below ends an idle one.
  return static_cast<Transfer*>(user)->stop.stop_requested() ? 1 : 0;
}

struct EasyCleanup {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiCleanup {
  void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};

}  // namespace

HttpClient::Response HttpClient::Get(const std::string& url, const BodySink& sink,
                                     bool requireSuccess, std::stop_token stop) const {
  GlobalInit();
  Response response;
  std::unique_ptr<CURL, EasyCleanup> easy(curl_easy_init());
  std::unique_ptr<CURLM, MultiCleanup> multi(curl_multi_init());
  if (!easy || !multi) {
    response.error = curl_easy_strerror(CURLE_OUT_OF_MEMORY);
    return response;
  }

  Transfer t;
  t.easy = easy.get();
  t.sink = &sink;
  t.response = &response;
  t.stop = stop;
  t.requireSuccess = requireSuccess;
  char errorText[CURL_ERROR_SIZE] = "";

  CURL* e = easy.get();
  curl_easy_setopt(e, CURLOPT_URL, url.c_str());
  curl_easy_setopt(e, CURLOPT_ERRORBUFFER, errorText);
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_USERAGENT, "Zendra Manager/" ZENDRA_VERSION);
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(e, CURLOPT_MAXREDIRS, kMaxRedirects);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS,
                   static_cast<long>(options_.connectTimeout.count()));
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, static_cast<long>(options_.stallTime.count()));
  // A refused status ends the transfer before its body; curl words the report.
  curl_easy_setopt(e, CURLOPT_FAILONERROR, requireSuccess ? 1L : 0L);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &OnBody);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, &t);
  curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &OnProgress);
  curl_easy_setopt(e, CURLOPT_XFERINFODATA, &t);

  curl_multi_add_handle(multi.get(), e);
  CURLcode result = CURLE_OK;
  bool stopped = false;
  {
    // A stop wakes the wait for the network at once, from whichever thread asks.
    CURLM* m = multi.get();
    std::stop_callback wake(stop, [m] { curl_multi_wakeup(m); });
    for (;;) {
      int running = 0;
      const CURLMcode code = curl_multi_perform(m, &running);
      if (stop.stop_requested()) {
        stopped = true;
        break;
      }
      if (code != CURLM_OK) {
        response.error = curl_multi_strerror(code);
        curl_multi_remove_handle(m, e);
        return response;
      }
      if (running == 0) break;
      curl_multi_poll(m, nullptr, 0, kPollMilliseconds, nullptr);
    }
    if (!stopped) {
      int left = 0;
      while (CURLMsg* msg = curl_multi_info_read(m, &left))
        if (msg->msg == CURLMSG_DONE && msg->easy_handle == e) result = msg->data.result;
    }
  }
  curl_multi_remove_handle(multi.get(), e);

  if (stopped || (result == CURLE_ABORTED_BY_CALLBACK && stop.stop_requested())) {
    response.outcome = Outcome::kStopped;
    return response;
  }
  if (!t.headSeen) ReadHead(t);
  if (t.refused) {
    response.outcome = Outcome::kRefused;
  } else if (t.statusFailed ||
             (result == CURLE_OK && requireSuccess && !IsSuccess(response.status))) {
    response.outcome = Outcome::kFailed;
    response.error = StatusError(response.status);
  } else if (result != CURLE_OK) {
    response.outcome = Outcome::kFailed;
    response.error = errorText[0] != '\0' ? errorText : curl_easy_strerror(result);
  } else {
    response.outcome = Outcome::kComplete;
  }
  return response;
}

}  // namespace zendra
