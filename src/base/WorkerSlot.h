#pragma once
// A host's handle field for one kind of worker (`transferThread`, later
// `cloneThread`): a worker starts only while the slot is empty, and the slot is
// emptied as the worker's last act, so that the operator can start again.
//
// The slot also makes sure no worker outlives its host: StopAndJoin (called by the
// host's destructor) requests a stop and waits for the worker to end. The worker
// function must return promptly once its stop_token says so and must not touch
// the host afterwards.

#include <atomic>
#include <functional>
#include <mutex>
#include <stop_token>
#include <thread>

namespace zendra {

class WorkerSlot {
 public:
  WorkerSlot() = default;
  ~WorkerSlot() { StopAndJoin(); }
  WorkerSlot(const WorkerSlot&) = delete;
  WorkerSlot& operator=(const WorkerSlot&) = delete;

  // Starts `work` on a new thread when the slot is empty; false (nothing started)
  // while a worker still runs.
  bool TryStart(std::function<void(std::stop_token)> work);
  // true from a successful TryStart until the worker's function has returned.
  bool Running() const { return running_.load(); }
  // Waits for the running worker (if any) to end by itself.
  void Join();
  // Asks the worker to stop and waits for it.
  void StopAndJoin();

 private:
  std::mutex mutex_;  // guards thread_ between TryStart, Join and StopAndJoin
  std::jthread thread_;
  std::atomic<bool> running_{false};
};

}  // namespace zendra
