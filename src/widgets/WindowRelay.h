#pragma once
// The OperatorRelay of a window: calls from other threads are carried over the
// bridge (widgets/GuiThread.h) to the window's own thread, where its boxes belong.

#include <QObject>

#include "base/OperatorRelay.h"
#include "widgets/GuiThread.h"

namespace zendra {

class WindowRelay : public OperatorRelay {
 public:
  WindowRelay(Operator& inner, QObject* window)
      : OperatorRelay(inner, GuiPoster(window), [window] { return OnThreadOf(window); }) {}
};

}  // namespace zendra
