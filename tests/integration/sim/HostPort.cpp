#include "HostPort.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

namespace zendra::test::modsim {

namespace {

speed_t SpeedOf(int baud) {
  switch (baud) {
    case 1200:
      return B1200;
    case 2400:
      return B2400;
    case 4800:
      return B4800;
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    case 115200:
      return B115200;
    case 230400:
      return B230400;
    default:
      return B9600;
  }
}

}  // namespace

HostPort::HostPort(const std::string& path, int baud) {
  fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ >= 0) SetLine(baud);
}

HostPort::~HostPort() {
  if (fd_ >= 0) ::close(fd_);
}

void HostPort::SetLine(int baud, bool twoStopBits) {
  termios tio{};
  tcgetattr(fd_, &tio);
  cfmakeraw(&tio);
  tio.c_cflag &= ~CSTOPB;
  tio.c_cflag |= CLOCAL | CREAD | (twoStopBits ? CSTOPB : 0);
  cfsetispeed(&tio, SpeedOf(baud));
  cfsetospeed(&tio, SpeedOf(baud));
  tcsetattr(fd_, TCSANOW, &tio);
}

void HostPort::Write(std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    if (n > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
    } else if (n < 0 && errno == EAGAIN) {
      pollfd pfd{fd_, POLLOUT, 0};
      ::poll(&pfd, 1, 100);
    } else {
      return;
    }
  }
}

bool HostPort::ReadSome(SteadyTime deadline) {
  auto left = std::chrono::duration_cast<Ms>(deadline - std::chrono::steady_clock::now()).count();
  if (left < 0) return false;
  pollfd pfd{fd_, POLLIN, 0};
  if (::poll(&pfd, 1, static_cast<int>(left) + 1) <= 0) return false;
  char buffer[4096];
  ssize_t n = ::read(fd_, buffer, sizeof buffer);
  if (n <= 0) {
    if (n == 0 || errno == EIO || (pfd.revents & POLLHUP)) hungUp_ = true;
    return false;
  }
  auto now = std::chrono::steady_clock::now();
  received_.append(buffer, static_cast<std::size_t>(n));
  times_.insert(times_.end(), static_cast<std::size_t>(n), now);
  return true;
}

bool HostPort::ReadUntil(const std::function<bool(const std::string&)>& done, Ms timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done(received_)) {
    if (!ReadSome(deadline) && (hungUp_ || std::chrono::steady_clock::now() >= deadline))
      return done(received_);
  }
  return true;
}

bool HostPort::ReadUntilContains(std::string_view text, Ms timeout) {
  return ReadUntil([&](const std::string& r) { return r.find(text) != std::string::npos; },
                   timeout);
}

bool HostPort::ReadAtLeast(std::size_t count, Ms timeout) {
  return ReadUntil([&](const std::string& r) { return r.size() >= count; }, timeout);
}

bool HostPort::StaysQuiet(Ms window) {
  std::size_t before = received_.size();
  ReadUntil([](const std::string&) { return false; }, window);
  return received_.size() == before;
}

bool HostPort::WaitForHangUp(Ms timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!hungUp_ && std::chrono::steady_clock::now() < deadline) ReadSome(deadline);
  return hungUp_;
}

std::string HostPort::Take() {
  std::string all = std::move(received_);
  received_.clear();
  times_.clear();
  return all;
}

bool Eventually(const std::function<bool()>& condition, Ms timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(Ms(2));
  }
  return true;
}

}  // namespace zendra::test::modsim
