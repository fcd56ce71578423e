#pragma once
// Helpers for driving the windows offscreen: waiting on a condition while the
// event loop runs, answering a modal dialog that a handler opens with exec(), and
// measuring how long the window's event loop went without running.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <functional>
#include <ostream>

#include "widgets/ModuleTaskRunner.h"

// Readable QStrings in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace zendra::test {

// Runs the event loop until `condition` holds; false after `timeoutMs`.
inline bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 10000) {
  QElapsedTimer timer;
  timer.start();
  while (!condition()) {
    if (timer.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

// Runs the event loop until no module task of `root` (a window and its pages)
// runs any more and each one's end has been shown: what a click starts has then
// happened, as far as the window's tasks go.
inline bool Settle(QObject* root, int timeoutMs = 30000) {
  return WaitUntil(
      [root] {
        for (auto* runner : root->findChildren<ModuleTaskRunner*>())
          if (runner->Busy()) return false;
        return true;
      },
      timeoutMs);
}

// Calls `act` with the first modal window of type T that comes up; `act` must end
// it. A handler's exec() runs its own event loop, so the check rides on a timer.
// Should none come up in time, the test fails and any modal window is closed, so
// that the test does not hang.
template <typename T>
void WhenModalShows(std::function<void(T*)> act, int timeoutMs = 10000) {
  auto* timer = new QTimer;
  auto* clock = new QElapsedTimer;
  clock->start();
  QObject::connect(timer, &QTimer::timeout, [timer, clock, act, timeoutMs] {
    if (auto* window = qobject_cast<T*>(QApplication::activeModalWidget())) {
      timer->stop();
      timer->deleteLater();
      delete clock;
      act(window);
    } else if (clock->elapsed() > timeoutMs) {
      timer->stop();
      timer->deleteLater();
      delete clock;
      ADD_FAILURE() << "the expected modal window did not come up";
      if (auto* other = QApplication::activeModalWidget()) other->close();
    }
  });
  timer->start(5);
}

// Ticks every 20 ms on the window's thread and keeps the largest time between two
// ticks: a window whose thread is blocked (talking to the module, waiting for a
// worker) shows it as a gap.
class TickProbe {
 public:
  TickProbe() {
    timer_.setInterval(20);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      const qint64 now = clock_.elapsed();
      largestGap_ = std::max(largestGap_, now - last_);
      last_ = now;
    });
    clock_.start();
    timer_.start();
  }
  // Up to now: a window's thread blocked since the last tick counts too.
  qint64 LargestGap() const { return std::max(largestGap_, clock_.elapsed() - last_); }

 private:
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 last_ = 0;
  qint64 largestGap_ = 0;
};

}  // namespace zendra::test
