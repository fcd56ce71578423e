#pragma once
// How code on another thread reaches a widget: it never touches one, it posts a
// call onto the GUI thread and goes on. The call is dropped when `receiver` has
// been destroyed by then. Called on the GUI thread itself, the call still waits
// for the event loop, so that a handler never re-enters the window it came from.

#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <utility>

namespace zendra {

template <typename F>
void PostToGui(QObject* receiver, F&& call) {
  QMetaObject::invokeMethod(receiver, std::forward<F>(call), Qt::QueuedConnection);
}

// For a worker's reports to a window: at once when already on the window's thread
// (so that they keep their order with what that thread does next), posted otherwise.
template <typename F>
void RunOnGuiThread(QObject* receiver, F&& call) {
  if (QThread::currentThread() == receiver->thread()) {
    call();
  } else {
    PostToGui(receiver, std::forward<F>(call));
  }
}

}  // namespace zendra
