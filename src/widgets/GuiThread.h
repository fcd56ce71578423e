#pragma once
// The bridge to a window's thread, the one way code on another thread reaches a
// widget: it never touches one, it posts a call onto the window's thread, and either
// goes on (PostToGui) or waits for the call's answer (AskGui).
//
// A posted call is dropped when `receiver` has been destroyed by then. Called on the
// window's thread itself, PostToGui still waits for the event loop, so that a
// handler never re-enters the window it came from; AskGui runs the call at once.
//
// AskGui waits until the call has run, or until it is certain never to run (its
// receiver went first: the answer for a closed window), or until `withdraw` is
// requested — see base/CrossThreadCall.h for what a withdrawal does to a call
// that is already running.

#include <QEvent>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QThread>
#include <functional>
#include <stop_token>
#include <type_traits>
#include <utility>

#include "base/CrossThreadCall.h"

namespace zendra {

#if defined(__SANITIZE_THREAD__)
#define ZENDRA_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ZENDRA_THREAD_SANITIZER 1
#endif
#endif

#ifdef ZENDRA_THREAD_SANITIZER
// Under ThreadSanitizer a posted call travels in an event of our own. Qt's queue of
// posted events is guarded by Qt's mutex, which TSan does not see in a Qt that was
// not built for it: the call written on the posting thread and read on the
// window's would look unguarded. The poster releases the filled event before
// handing it to Qt and the window's thread acquires it before it runs or destroys
// the call, which is the order the queue guarantees, told to TSan.
namespace gui_thread {

class PostedCall : public QEvent {
 public:
  PostedCall();
  ~PostedCall() override;
  void Run();

 private:
  virtual void Call() = 0;
};

template <typename F>
class PostedCallOf final : public PostedCall {
 public:
  explicit PostedCallOf(F&& call) : call_(std::move(call)) {}

 private:
  void Call() override { call_(); }
  F call_;
};

// Whether a call for `receiver` can travel as a PostedCall: `receiver` lives on the
// application's thread, whose event filter runs them.
bool Carries(const QObject* receiver);
// Posts `event` to `receiver` itself, so that it is dropped with the receiver as a
// queued call is.
void Post(QObject* receiver, PostedCall* event);

}  // namespace gui_thread
#endif

template <typename F>
void PostToGui(QObject* receiver, F&& call) {
#ifdef ZENDRA_THREAD_SANITIZER
  if (gui_thread::Carries(receiver)) {
    using Call = std::decay_t<F>;
    gui_thread::Post(receiver, new gui_thread::PostedCallOf<Call>(Call(std::forward<F>(call))));
    return;
  }
  // A receiver of another thread: handed to Qt as usual.
#endif
  QMetaObject::invokeMethod(receiver, std::forward<F>(call), Qt::QueuedConnection);
}

// How a QObject's thread is reached from any other.
inline PostCall GuiPoster(QObject* receiver) {
  return [receiver = QPointer<QObject>(receiver)](std::function<void()> call) {
    // Gone already: the call is destroyed unrun, which ends the asker's wait.
    if (receiver) PostToGui(receiver.data(), std::move(call));
  };
}

inline bool OnThreadOf(const QObject* receiver) {
  return QThread::currentThread() == receiver->thread();
}

// For a worker's reports to a window: at once when already on the window's thread
// (so that they keep their order with what that thread does next), posted otherwise.
template <typename F>
void RunOnGuiThread(QObject* receiver, F&& call) {
  if (OnThreadOf(receiver)) {
    call();
  } else {
    PostToGui(receiver, std::forward<F>(call));
  }
}

// Runs `call` on `receiver`'s thread and returns its answer; `whenClosed` when it
// never ran (the receiver was destroyed first, or `withdraw` came before it
// started) or, with Withdraw::kAnytime, when `withdraw` came while it ran.
template <typename R, typename F>
R AskGui(QObject* receiver, F call, R whenClosed, std::stop_token withdraw = {},
         Withdraw mode = Withdraw::kBeforeStart) {
  if (OnThreadOf(receiver)) {
    if (withdraw.stop_requested()) return whenClosed;
    return call();
  }
  return AskAcross(GuiPoster(receiver), std::move(call), std::move(withdraw), std::move(whenClosed),
                   mode);
}

// The same for a call without an answer: true when it ran.
template <typename F>
bool CallOnGui(QObject* receiver, F call, std::stop_token withdraw = {},
               Withdraw mode = Withdraw::kBeforeStart) {
  return AskGui(
      receiver,
      [call = std::move(call)]() mutable {
        call();
        return true;
      },
      false, std::move(withdraw), mode);
}

}  // namespace zendra
