#include "cli/InterruptWatch.h"
// Ctrl+C on Windows: the console calls the handler on a thread of its own; the
// handler counts and wakes the watch's thread, which does the rest. A third
// Ctrl+C is left to the system's handler, which ends the program.

#include <windows.h>

#include <condition_variable>
#include <mutex>

namespace zendra::cli {

namespace {

std::mutex mutex;
std::condition_variable changed;
int pending = 0;     // Ctrl+C (or close) events not yet taken by the watch
int seen = 0;        // events since the watch began
bool quit = false;   // the watch is going

BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
    return FALSE;
  std::lock_guard lock(mutex);
  if (++seen >= 3) return FALSE;  // the operator insists: the system ends the program
  ++pending;
  changed.notify_all();
  return TRUE;
}

}  // namespace

InterruptWatch::InterruptWatch(std::function<void()> first, std::function<void()> second)
    : first_(std::move(first)), second_(std::move(second)) {
  {
    std::lock_guard lock(mutex);
    pending = seen = 0;
    quit = false;
  }
  if (!SetConsoleCtrlHandler(OnConsoleEvent, TRUE)) return;
  thread_ = std::jthread([this] {
    int count = 0;
    for (;;) {
      std::unique_lock lock(mutex);
      changed.wait(lock, [] { return quit || pending > 0; });
      if (quit) return;
      --pending;
      lock.unlock();
      ++count;
      if (count == 1 && first_) first_();
      if (count == 2 && second_) second_();
    }
  });
}

InterruptWatch::~InterruptWatch() {
  if (!thread_.joinable()) return;
  SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
  {
    std::lock_guard lock(mutex);
    quit = true;
    changed.notify_all();
  }
  thread_.join();
}

}  // namespace zendra::cli
