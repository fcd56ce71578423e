#include "webupdate/HttpClient.h"
// HTTP on Windows through WinHTTP: the system's proxy settings and its own TLS,
// which checks the server's certificate and name.
//
// WinHTTP runs asynchronously here: every step (send, the response's head, data
// available, a read) is started by the calling thread, which then waits for its
// completion or for the stop request at once. A stop closes the request handle
// from the same thread, which ends whatever WinHTTP had under way; the state the
// completion callback writes (and the buffer a read fills) lives until WinHTTP
// says the handle is closed.

#include <windows.h>
#include <winhttp.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "base/WideText.h"

namespace zendra {

namespace {

constexpr DWORD kMaxRedirects = 5;
constexpr DWORD kReadPiece = 64 * 1024;

bool IsSuccess(long status) { return status >= 200 && status < 300; }

// The wording the Linux client (curl) uses for a refused status.
std::string StatusError(long status) {
  return "The requested URL returned error: " + std::to_string(status);
}

// What WinHTTP's error codes mean, where the system has no text for them.
const char* KnownErrorText(DWORD error) {
  switch (error) {
    case ERROR_WINHTTP_TIMEOUT:
    case WSAETIMEDOUT:
      return "The operation timed out";
    case ERROR_WINHTTP_NAME_NOT_RESOLVED:
      return "The server name could not be resolved";
    case ERROR_WINHTTP_CANNOT_CONNECT:
    case WSAECONNREFUSED:
      return "The connection to the server could not be made";
    case ERROR_WINHTTP_CONNECTION_ERROR:
    case WSAECONNRESET:
    case WSAECONNABORTED:
      return "The connection to the server was reset or ended";
    case ERROR_WINHTTP_INVALID_SERVER_RESPONSE:
      return "The server's answer is no HTTP response";
    case ERROR_WINHTTP_REDIRECT_FAILED:
      return "A redirection could not be followed";
    case ERROR_WINHTTP_UNRECOGNIZED_SCHEME:
      return "The URL's protocol is neither http nor https";
    case ERROR_WINHTTP_INVALID_URL:
      return "The URL is not valid";
    case ERROR_WINHTTP_SECURE_FAILURE:
    case ERROR_WINHTTP_SECURE_INVALID_CA:
    case ERROR_WINHTTP_SECURE_INVALID_CERT:
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
    case ERROR_WINHTTP_SECURE_CERT_REVOKED:
    case ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE:
      return "The server's certificate was not accepted (TLS)";
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
      return "No secure connection (TLS) could be made with the server";
  }
  return nullptr;
}

// The system's words for a WinHTTP error, ours where it has none, and the code.
std::string ErrorText(DWORD error) {
  wchar_t* buffer = nullptr;
  const HMODULE module = GetModuleHandleW(L"winhttp.dll");
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                         FORMAT_MESSAGE_FROM_SYSTEM | (module ? FORMAT_MESSAGE_FROM_HMODULE : 0),
                     module, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text = length > 0 && buffer != nullptr ? std::wstring(buffer, length) : L"";
  if (buffer != nullptr) LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ' ||
                           text.back() == L'.'))
    text.pop_back();
  std::string words = Utf8FromWide(text);
  if (words.empty()) {
    const char* known = KnownErrorText(error);
    words = known != nullptr ? known : "WinHTTP error";
  }
  return words + " (" + std::to_string(error) + ")";
}

struct HandleCloser {
  void operator()(HINTERNET handle) const { WinHttpCloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

// What the completion callback of one request tells the thread that waits.
struct Completion {
  Completion() : done(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
  ~Completion() {
    if (done != nullptr) CloseHandle(done);
  }
  Completion(const Completion&) = delete;
  Completion& operator=(const Completion&) = delete;

  HANDLE done;       // one step has completed (or failed)
  DWORD status = 0;  // the callback's status code of the last completion
  DWORD count = 0;   // bytes available or read
  DWORD error = 0;   // the error of a failed step
  // Where reads land. It lives as long as the request may still write to it: a
  // stop does not wait for a read under way to end.
  std::vector<char> buffer = std::vector<char>(kReadPiece);
};

void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD length) {
  auto* holder = reinterpret_cast<std::shared_ptr<Completion>*>(context);
  if (holder == nullptr) return;
  Completion& c = **holder;
  switch (status) {
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
    case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
      c.status = status;
      SetEvent(c.done);
      break;
    case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE:
      c.status = status;
      c.count = info != nullptr ? *static_cast<DWORD*>(info) : 0;
      SetEvent(c.done);
      break;
    case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
      c.status = status;
      c.count = length;
      SetEvent(c.done);
      break;
    case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
      c.status = status;
      c.error =
          info != nullptr ? static_cast<WINHTTP_ASYNC_RESULT*>(info)->dwError : ERROR_GEN_FAILURE;
      SetEvent(c.done);
      break;
    case WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING:
      // WinHTTP calls no more for this request: its share of the state goes (the
      // waiting thread may still hold its own).
      delete holder;
      break;
    default:
      break;
  }
}

}  // namespace

HttpClient::Response HttpClient::Get(const std::string& url, const BodySink& sink,
                                     bool requireSuccess, std::stop_token stop) const {
  Response response;
  const std::wstring wideUrl = WideFromUtf8(url);
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwSchemeLength = static_cast<DWORD>(-1);
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (wideUrl.empty() || !WinHttpCrackUrl(wideUrl.c_str(), 0, 0, &parts)) {
    response.error = ErrorText(GetLastError());
    return response;
  }
  if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) {
    response.error = ErrorText(ERROR_WINHTTP_UNRECOGNIZED_SCHEME);
    return response;
  }
  const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
  path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (path.empty()) path = L"/";

  const std::wstring agent = WideFromUtf8("Zendra Manager/" ZENDRA_VERSION);
  // The system's proxy settings (automatic, where the system is new enough).
  Handle session(WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                             WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC));
  if (!session)
    session.reset(WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                              WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC));
  if (!session) {
    response.error = ErrorText(GetLastError());
    return response;
  }
  const int connectMs = static_cast<int>(options_.connectTimeout.count());
  const int stallMs = static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(options_.stallTime).count());
  WinHttpSetTimeouts(session.get(), connectMs, connectMs, stallMs, stallMs);
  DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_ALWAYS;
  WinHttpSetOption(session.get(), WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof policy);

  Handle connection(WinHttpConnect(session.get(), host.c_str(), parts.nPort, 0));
  if (!connection) {
    response.error = ErrorText(GetLastError());
    return response;
  }
  HINTERNET request =
      WinHttpOpenRequest(connection.get(), L"GET", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                         WINHTTP_DEFAULT_ACCEPT_TYPES,
                         parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0);
  if (request == nullptr) {
    response.error = ErrorText(GetLastError());
    return response;
  }
  DWORD redirects = kMaxRedirects;
  WinHttpSetOption(request, WINHTTP_OPTION_MAX_HTTP_AUTOMATIC_REDIRECTS, &redirects,
                   sizeof redirects);

  auto completion = std::make_shared<Completion>();
  // The callback's share, freed by the callback when the handle closes.
  auto* holder = new std::shared_ptr<Completion>(completion);
  WinHttpSetStatusCallback(
      request, &OnStatus, WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS | WINHTTP_CALLBACK_FLAG_HANDLES, 0);
  DWORD_PTR context = reinterpret_cast<DWORD_PTR>(holder);
  WinHttpSetOption(request, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context);

  const HANDLE stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::optional<std::stop_callback<std::function<void()>>> onStop;
  onStop.emplace(stop, std::function<void()>([stopEvent] { SetEvent(stopEvent); }));
  bool stopped = false;
  bool requestClosed = false;

  // Waits for the step just started. false when it failed (error set) or a stop
  // came first (stopped set).
  auto await = [&](BOOL started, DWORD expected) {
    if (!started) {
      completion->error = GetLastError();
      return false;
    }
    const HANDLE events[2] = {completion->done, stopEvent};
    const DWORD woken = WaitForMultipleObjects(2, events, FALSE, INFINITE);
    if (woken == WAIT_OBJECT_0 + 1) {
      stopped = true;
      return false;
    }
    if (woken != WAIT_OBJECT_0) {
      completion->error = GetLastError();
      return false;
    }
    return completion->status == expected;
  };

  auto finish = [&] {
    if (!requestClosed) {
      requestClosed = true;
      // WinHTTP ends what it had under way and then tells the callback, which
      // frees its share of the state; nothing here waits for that, so a stop ends
      // the transfer at once also while a read waits for the network.
      WinHttpCloseHandle(request);
    }
    onStop.reset();
    CloseHandle(stopEvent);
  };

  auto failed = [&] {
    if (stopped || stop.stop_requested()) {
      response.outcome = Outcome::kStopped;
    } else {
      response.outcome = Outcome::kFailed;
      response.error = ErrorText(completion->error);
    }
    finish();
    return response;
  };

  if (!await(WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA,
                                0, 0, context),
             WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE))
    return failed();
  if (!await(WinHttpReceiveResponse(request, nullptr), WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE))
    return failed();

  DWORD status = 0;
  DWORD size = sizeof status;
  if (WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                          WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
    response.status = static_cast<long>(status);
  wchar_t lengthText[32] = L"";
  size = sizeof lengthText;
  if (WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX,
                          lengthText, &size, WINHTTP_NO_HEADER_INDEX)) {
    wchar_t* end = nullptr;
    const long long length = wcstoll(lengthText, &end, 10);
    if (end != lengthText && length >= 0) response.contentLength = length;
  }
  if (requireSuccess && !IsSuccess(response.status)) {
    // A refused status ends the transfer before its body.
    finish();
    response.outcome = Outcome::kFailed;
    response.error = StatusError(response.status);
    return response;
  }

  char* const buffer = completion->buffer.data();
  for (;;) {
    if (!await(WinHttpQueryDataAvailable(request, nullptr), WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE))
      return failed();
    const DWORD available = completion->count;
    if (available == 0) break;  // the end of the body
    const DWORD want = available < kReadPiece ? available : kReadPiece;
    if (!await(WinHttpReadData(request, buffer, want, nullptr),
               WINHTTP_CALLBACK_STATUS_READ_COMPLETE))
      return failed();
    const DWORD got = completion->count;
    if (got == 0) break;
    if (!sink(std::string_view(buffer, got), response)) {
      finish();
      response.outcome = Outcome::kRefused;
      return response;
    }
    response.bodyBytes += static_cast<std::int64_t>(got);
  }
  finish();
  if (stop.stop_requested()) {
    response.outcome = Outcome::kStopped;
  } else if (response.contentLength >= 0 && response.bodyBytes < response.contentLength) {
    // The connection ended before the length the server announced.
    response.outcome = Outcome::kFailed;
    response.error = "transfer closed with " +
                     std::to_string(response.contentLength - response.bodyBytes) +
                     " bytes remaining to read";
  } else {
    response.outcome = Outcome::kComplete;
  }
  return response;
}

}  // namespace zendra
