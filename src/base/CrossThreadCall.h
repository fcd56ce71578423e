#pragma once
// The one way a thread has a call run on another thread (a window's) and waits for
// its answer. `post` hands the call over; the other thread runs it later, or never:
// a call it drops unrun (its receiver has gone) is destroyed, and that ends the wait
// as surely as running it does, so the asker never waits for good.
//
// `withdraw` is the asker's way out: a call that has not started when it is
// requested never runs. What happens to a call already running depends on what it
// holds. A call that owns everything it uses (copies of its texts, shared state) is
// left to end on its own, its answer dropped: the asker goes at once
// (Withdraw::kAnytime). A call that uses the asker's own data must be waited for
// to its end (Withdraw::kBeforeStart).
//
// This file knows no toolkit: widgets/GuiThread.h posts through the event loop,
// and the tests post into a queue of their own.

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <type_traits>
#include <utility>

namespace zendra {

// Hands a call to the other thread; it runs there later, or is destroyed unrun.
using PostCall = std::function<void(std::function<void()>)>;

enum class Withdraw {
  kBeforeStart,  // a stop withdraws a call not started yet; a running one is waited for
  kAnytime,      // a stop ends the wait at once; a running call ends on its own
};

namespace cross_thread {

template <typename R>
struct Exchange {
  std::mutex mutex;
  std::condition_variable changed;
  bool started = false;
  bool over = false;  // the call ran, or was dropped unrun
  std::optional<R> answer;
};

// Marks the exchange over however the posted call ends: run, or destroyed unrun.
template <typename R>
struct OverWhenGone {
  std::shared_ptr<Exchange<R>> exchange;
  explicit OverWhenGone(std::shared_ptr<Exchange<R>> e) : exchange(std::move(e)) {}
  OverWhenGone(const OverWhenGone&) = delete;
  OverWhenGone& operator=(const OverWhenGone&) = delete;
  ~OverWhenGone() {
    std::lock_guard lock(exchange->mutex);
    exchange->over = true;
    exchange->changed.notify_all();
  }
};

}  // namespace cross_thread

// Runs `call` through `post` and returns its answer; `whenNot` when it did not run
// (dropped, withdrawn) or its answer was given up (Withdraw::kAnytime).
template <typename R, typename F>
R AskAcross(const PostCall& post, F call, std::stop_token withdraw, R whenNot,
            Withdraw mode = Withdraw::kBeforeStart) {
  using Exchange = cross_thread::Exchange<R>;
  auto exchange = std::make_shared<Exchange>();
  if (withdraw.stop_requested()) return whenNot;
  auto guard = std::make_shared<cross_thread::OverWhenGone<R>>(exchange);
  post([guard, withdraw, call = std::move(call)]() mutable {
    Exchange& e = *guard->exchange;
    {
      std::lock_guard lock(e.mutex);
      if (withdraw.stop_requested()) return;
      e.started = true;
    }
    R value = call();
    std::lock_guard lock(e.mutex);
    e.answer = std::move(value);
  });
  guard.reset();

  // Registered before the lock is taken: a stop already requested runs it at once.
  std::stop_callback wake(withdraw, [exchange] {
    std::lock_guard lock(exchange->mutex);
    exchange->changed.notify_all();
  });
  std::unique_lock lock(exchange->mutex);
  exchange->changed.wait(lock, [&] {
    if (exchange->over) return true;
    if (!withdraw.stop_requested()) return false;
    return mode == Withdraw::kAnytime || !exchange->started;
  });
  if (exchange->over && exchange->answer) return std::move(*exchange->answer);
  return whenNot;
}

// The same for a call without an answer: true when it ran to its end.
template <typename F>
bool CallAcross(const PostCall& post, F call, std::stop_token withdraw,
                Withdraw mode = Withdraw::kBeforeStart) {
  static_assert(std::is_void_v<decltype(call())>);
  return AskAcross(
      post,
      [call = std::move(call)]() mutable {
        call();
        return true;
      },
      std::move(withdraw), false, mode);
}

}  // namespace zendra
