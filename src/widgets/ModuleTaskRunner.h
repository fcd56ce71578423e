#pragma once
// How a window talks to the module without freezing: every conversation (the
// handshake, a parameter read or save, a scan, an update's preparation) runs as a
// module task on a worker thread while the window goes on painting.
//
// Run() starts the task when none runs; the window shows the wait cursor while it
// runs (through its Operator, so a message box the task asks for still shows an
// arrow) and is told on its own thread when it has ended. Questions and message
// boxes of the task reach the operator through the window's OperatorRelay.
//
// No task outlives its window: StopAndJoin (the window's destructor) asks the
// task to stop — every wait of the protocol honours that at once — and joins it;
// the "done" call of a task that was stopped is never made.

#include <QObject>
#include <QPointer>
#include <functional>
#include <stop_token>

#include "base/Operator.h"
#include "base/WorkerSlot.h"

namespace zendra {

class ModuleTaskRunner : public QObject {
  Q_OBJECT

 public:
  // `op` shows the wait cursor on the window's thread while a task runs.
  explicit ModuleTaskRunner(Operator& op, QObject* parent = nullptr);
  ~ModuleTaskRunner() override;

  // Starts `task` on a worker thread; `done` runs afterwards on this object's
  // thread. false (nothing started) while a task runs.
  bool Run(std::function<void(std::stop_token)> task, std::function<void()> done = {});
  bool Busy() const { return busy_; }
  void StopAndJoin();

 signals:
  void busyChanged(bool busy);

 private:
  void Finish(std::function<void()> done);

  Operator& op_;
  WorkerSlot slot_;
  bool busy_ = false;
};

}  // namespace zendra
