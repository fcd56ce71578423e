#include "support/http/LoopbackUpdateServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

namespace zendra::test {

LoopbackUpdateServer::LoopbackUpdateServer() {
  // A proxy from the environment must not carry the test's loopback requests away.
  ::setenv("no_proxy", "127.0.0.1,localhost", 1);
  server_.Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
    Dispatch(request, response);
  });
  port_ = server_.bind_to_any_port("127.0.0.1");
  if (port_ <= 0) std::abort();
  // The socket listens from here on; requests wait in its backlog until this runs.
  thread_ = std::thread([this] { server_.listen_after_bind(); });
  // A stop before the accept loop runs would be lost, and the join would wait for ever.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!server_.is_running()) {
    if (std::chrono::steady_clock::now() > deadline) std::abort();
    std::this_thread::yield();
  }
}

LoopbackUpdateServer::~LoopbackUpdateServer() {
  Release();
  server_.stop();
  thread_.join();
}

void LoopbackUpdateServer::Serve(const std::string& name, std::string body, int status,
                                 const std::string& contentType) {
  Route(name, [=](const httplib::Request&, httplib::Response& res) {
    res.status = status;
    res.set_content(body, contentType.c_str());
  });
}

void LoopbackUpdateServer::ServeChunked(const std::string& name, std::string body) {
  Route(name, [=](const httplib::Request&, httplib::Response& res) {
    res.set_chunked_content_provider(
        "text/plain", [body](std::size_t offset, httplib::DataSink& sink) {
          if (offset < body.size()) {
            sink.write(body.data() + offset, std::min<std::size_t>(700, body.size() - offset));
          } else {
            sink.done();
          }
          return true;
        });
  });
}

void LoopbackUpdateServer::ServeTruncated(const std::string& name, std::size_t announced,
                                          std::size_t sent) {
  Route(name, [=](const httplib::Request&, httplib::Response& res) {
    res.set_content_provider(announced, "application/octet-stream",
                             [sent](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                               if (offset >= sent) return false;  // drops the connection
                               const std::string part(sent - offset, 'T');
                               sink.write(part.data(), part.size());
                               return true;
                             });
  });
}

void LoopbackUpdateServer::ServeStalled(const std::string& name, std::size_t announced,
                                        std::size_t sent) {
  Route(name, [=, this](const httplib::Request&, httplib::Response& res) {
    res.set_content_provider(
        announced, "application/octet-stream",
        [this, sent](std::size_t offset, std::size_t, httplib::DataSink& sink) {
          if (offset < sent) {
            const std::string part(sent - offset, 'S');
            sink.write(part.data(), part.size());
            return true;
          }
          std::unique_lock lock(mutex_);
          released_.wait_for(lock, std::chrono::seconds(30), [this] { return release_; });
          return false;
        });
  });
}

void LoopbackUpdateServer::Route(const std::string& name, Handler handler) {
  std::lock_guard lock(routesMutex_);
  routes_.emplace_back(std::regex(kFolder + name), std::move(handler));
}

void LoopbackUpdateServer::Dispatch(const httplib::Request& request,
                                    httplib::Response& response) {
  Handler handler;
  {
    std::lock_guard lock(routesMutex_);
    for (const auto& [pattern, routeHandler] : routes_) {
      if (std::regex_match(request.path, pattern)) {
        handler = routeHandler;
        break;
      }
    }
  }
  if (handler) {
    handler(request, response);
  } else {
    response.status = 404;
  }
}

void LoopbackUpdateServer::Release() {
  std::lock_guard lock(mutex_);
  release_ = true;
  released_.notify_all();
}

std::string LoopbackUpdateServer::BaseUrl() const {
  return "http://127.0.0.1:" + std::to_string(port_) + kFolder;
}

int UnusedLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    std::abort();
  ::close(fd);
  return ntohs(address.sin_port);
}

}  // namespace zendra::test
