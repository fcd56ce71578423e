#pragma once
// Ctrl+C (and SIGTERM) for a command that must end in good order: the first one
// calls `first` (finish what is under way), the second `second` (stop it as
// Cancel does), a third ends the program at once. The calls come on a thread of
// the watch's own, never inside the signal handler. The former handlers come back
// when the watch is destroyed.

#include <functional>
#include <thread>

namespace zendra::cli {

class InterruptWatch {
 public:
  InterruptWatch(std::function<void()> first, std::function<void()> second);
  ~InterruptWatch();
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

 private:
  std::function<void()> first_;
  std::function<void()> second_;
  std::jthread thread_;
};

}  // namespace zendra::cli
