#pragma once
// A worker's way to have something done on the GUI thread and wait for it — the
// reload dialog that the handshake opens in the middle of its run, say. The worker
// waits until the call has run, or until it is certain never to run (its receiver
// was destroyed first, and the posted call with it), so it never waits for good.

#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace zendra {

// true when `call` ran.
inline bool CallOnGuiAndWait(QObject* receiver, std::function<void()> call) {
  if (QThread::currentThread() == receiver->thread()) {
    call();
    return true;
  }
  struct State {
    std::mutex mutex;
    std::condition_variable over;
    bool finished = false;
    bool ran = false;
  };
  auto state = std::make_shared<State>();
  // Ends the wait however the posted call ends: run, or dropped with its receiver.
  struct Signal {
    std::shared_ptr<State> state;
    Signal() = default;
    Signal(const Signal&) = delete;
    Signal& operator=(const Signal&) = delete;
    ~Signal() {
      std::lock_guard lock(state->mutex);
      state->finished = true;
      state->over.notify_all();
    }
  };
  auto signal = std::make_shared<Signal>();
  signal->state = state;
  QMetaObject::invokeMethod(
      receiver,
      [signal, call = std::move(call)]() mutable {
        call();
        std::lock_guard lock(signal->state->mutex);
        signal->state->ran = true;
      },
      Qt::QueuedConnection);
  signal.reset();
  std::unique_lock lock(state->mutex);
  state->over.wait(lock, [&] { return state->finished; });
  return state->ran;
}

}  // namespace zendra
