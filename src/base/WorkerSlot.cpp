#include "base/WorkerSlot.h"

#include <system_error>

namespace zendra {

bool WorkerSlot::TryStart(std::function<void(std::stop_token)> work) {
  std::lock_guard lock(mutex_);
  if (running_.load()) return false;
  // The previous worker has emptied the slot; its thread is at its very end.
  if (thread_.joinable()) thread_.join();
  running_ = true;
  try {
    thread_ = std::jthread([this, work = std::move(work)](std::stop_token stop) {
      work(stop);
      running_ = false;
    });
  } catch (const std::system_error&) {
    running_ = false;  // no thread to be had: the slot stays empty
    return false;
  }
  return true;
}

void WorkerSlot::Join() {
  std::lock_guard lock(mutex_);
  if (thread_.joinable()) thread_.join();
}

void WorkerSlot::StopAndJoin() {
  std::lock_guard lock(mutex_);
  if (thread_.joinable()) {
    thread_.request_stop();
    thread_.join();
  }
}

}  // namespace zendra
