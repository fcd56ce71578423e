#pragma once
// The OperatorRelay of a window: calls from other threads are posted to the
// window's own thread, where its boxes belong.

#include <QObject>
#include <QThread>
#include <functional>
#include <utility>

#include "base/OperatorRelay.h"
#include "widgets/GuiThread.h"

namespace zendra {

class WindowRelay : public OperatorRelay {
 public:
  WindowRelay(Operator& inner, QObject* window)
      : OperatorRelay(
            inner, [window](std::function<void()> call) { PostToGui(window, std::move(call)); },
            [window] { return QThread::currentThread() == window->thread(); }) {}
};

}  // namespace zendra
