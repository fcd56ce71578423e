#pragma once
// A real HTTP server on the loopback interface that publishes the update server's
// folder: fixed answers for names, hand-written handlers for the odd ones (a body
// that stalls, a Content-Length the body never reaches), and a way to free a
// stalled handler so that the server can stop. Names are route patterns (regular
// expressions), which the plain file names of the tests match as themselves.

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace zendra::test {

class LoopbackUpdateServer {
 public:
  static constexpr const char* kFolder = "/download/software/zendra_manager/";

  LoopbackUpdateServer();
  ~LoopbackUpdateServer();

  // `name` in the folder answers `body` with `status`, with a Content-Length.
  void Serve(const std::string& name, std::string body, int status = 200,
             const std::string& contentType = "application/octet-stream");
  // The same without a Content-Length (chunked transfer encoding).
  void ServeChunked(const std::string& name, std::string body);
  // Sends the first `sent` bytes of a body announced as `announced` bytes long,
  // then drops the connection.
  void ServeTruncated(const std::string& name, std::size_t announced, std::size_t sent);
  // Sends `sent` bytes of a `announced`-byte body, then stalls until Release.
  void ServeStalled(const std::string& name, std::size_t announced, std::size_t sent);

  // Lets stalled handlers end.
  void Release();

  // http://127.0.0.1:port + kFolder
  std::string BaseUrl() const;

 private:
  using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;
  // Routes are added while the server runs; its own handler table is not made for
  // that, so one catch-all handler looks them up here under a lock.
  void Route(const std::string& name, Handler handler);
  void Dispatch(const httplib::Request& request, httplib::Response& response);

  httplib::Server server_;
  std::mutex routesMutex_;
  std::vector<std::pair<std::regex, Handler>> routes_;
  int port_ = 0;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable released_;
  bool release_ = false;
};

// A loopback port with nobody listening on it (taken and given back at once).
int UnusedLoopbackPort();

}  // namespace zendra::test
