#include "cli/InterruptWatch.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace zendra::cli {

namespace {

// The handler only writes a byte: the rest happens on the watch's thread.
int signalPipe[2] = {-1, -1};
struct sigaction formerInt, formerTerm;
constexpr char kSignal = 's';
constexpr char kQuit = 'q';

void OnSignal(int) {
  const int saved = errno;
  [[maybe_unused]] ssize_t n = ::write(signalPipe[1], &kSignal, 1);
  errno = saved;
}

}  // namespace

InterruptWatch::InterruptWatch(std::function<void()> first, std::function<void()> second)
    : first_(std::move(first)), second_(std::move(second)) {
  if (::pipe2(signalPipe, O_CLOEXEC) != 0) return;
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, &formerInt);
  sigaction(SIGTERM, &action, &formerTerm);
  thread_ = std::jthread([this] {
    int count = 0;
    for (;;) {
      char byte = 0;
      const ssize_t n = ::read(signalPipe[0], &byte, 1);
      if (n < 0 && errno == EINTR) continue;
      if (n != 1 || byte == kQuit) return;
      ++count;
      if (count == 1 && first_) first_();
      if (count == 2 && second_) second_();
      if (count >= 3) {
        // The operator insists: the program ends now, as without the watch.
        sigaction(SIGINT, &formerInt, nullptr);
        sigaction(SIGTERM, &formerTerm, nullptr);
        ::raise(SIGINT);
      }
    }
  });
}

InterruptWatch::~InterruptWatch() {
  if (signalPipe[1] < 0) return;
  sigaction(SIGINT, &formerInt, nullptr);
  sigaction(SIGTERM, &formerTerm, nullptr);
  [[maybe_unused]] ssize_t n = ::write(signalPipe[1], &kQuit, 1);
  if (thread_.joinable()) thread_.join();
  ::close(signalPipe[0]);
  ::close(signalPipe[1]);
  signalPipe[0] = signalPipe[1] = -1;
}

}  // namespace zendra::cli
