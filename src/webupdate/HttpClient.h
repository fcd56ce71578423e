#pragma once
// The manager's one HTTP client: libcurl on Linux (HttpClientCurl.cpp), WinHTTP
// on Windows (HttpClientWin32.cpp), the same behaviour behind this one interface.
// The update checks read the server's
// lists whole into memory (FetchUrlText); the downloads take a file's body in
// pieces as they arrive (Get).
//
// A request is a plain GET: no extra headers and no content encoding, so the
// length the server reports is the length of the file. Proxies come from the
// usual environment variables (http_proxy, https_proxy, no_proxy), which are the
// system's proxy settings on Linux (on Windows the system's own settings); https:// checks the server's certificate and
// name; redirects are followed, to http:// and https:// only. Nothing waits for
// ever: the connection must stand within the connect time-out, and a transfer
// that delivers nothing for the stall time ends. A stop request ends a transfer
// at once, also while it waits for the network.
//
// These time-outs belong to the network, not to the module's protocol, so they
// are real time and do not follow Clock's scale.

#include <chrono>
#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>
#include <string_view>

namespace zendra {

class HttpClient {
 public:
  struct Options {
    std::chrono::milliseconds connectTimeout{15000};
    // Less than one byte a second for this long ends the transfer. curl averages
    // the speed over the last few seconds, so a stall right after data ends up to
    // about five seconds later than this.
    std::chrono::seconds stallTime{30};
    // A list longer than this is no list of ours; the fetch fails.
    std::int64_t maxTextBytes = 4 * 1024 * 1024;
  };

  enum class Outcome {
    kComplete,  // the response has been read to its end
    kFailed,    // the client could not open or finish it; `error` says why
    kRefused,   // the body sink asked to end the transfer
    kStopped,   // a stop request ended it
  };

  struct Response {
    Outcome outcome = Outcome::kFailed;
    long status = 0;                  // HTTP status of the final response, 0 before one came
    std::int64_t contentLength = -1;  // its Content-Length, -1 when none was sent
    std::int64_t bodyBytes = 0;       // body bytes the sink has taken
    std::string error;                // the client's own error report (kFailed)
  };

  // Takes each piece of the body as it arrives, with what is known of the response
  // (status and Content-Length are set from the first piece on). false ends the
  // transfer (kRefused).
  using BodySink = std::function<bool(std::string_view piece, const Response& response)>;

  // What FetchUrlText returns: the body (empty on failure) and the final status.
  struct UrlText {
    std::string text;
    long status = 0;
    std::string error;     // the client's report when the fetch failed
    bool tooLong = false;  // the body ran past maxTextBytes (and the fetch failed)
  };

  HttpClient() : HttpClient(Options{}) {}
  explicit HttpClient(Options options) : options_(options) {}

  // Fetches `url`. With `requireSuccess` any status outside 2xx is a failure
  // reported as the client reports it ("The requested URL returned error: 404"),
  // and no byte of such a body reaches the sink.
  Response Get(const std::string& url, const BodySink& sink, bool requireSuccess,
               std::stop_token stop = {}) const;

  // The whole body of `url` in memory, whatever the status; an empty text means
  // failure (no connection, no such host, nothing sent, more than maxTextBytes).
  UrlText FetchUrlText(const std::string& url, std::stop_token stop = {}) const;

  const Options& options() const { return options_; }

 private:
  Options options_;
};

}  // namespace zendra
