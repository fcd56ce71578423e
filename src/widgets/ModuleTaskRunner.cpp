#include "widgets/ModuleTaskRunner.h"

#include "widgets/GuiThread.h"

namespace zendra {

ModuleTaskRunner::ModuleTaskRunner(Operator& op, QObject* parent) : QObject(parent), op_(op) {}

ModuleTaskRunner::~ModuleTaskRunner() { StopAndJoin(); }

bool ModuleTaskRunner::Run(std::function<void(std::stop_token)> task, std::function<void()> done) {
  if (busy_) return false;
  // Busy, and the wait shown, before the task exists: showing the wait lets pending
  // events through (QtOperator::BeginWait), and a task that ended at once (a line
  // refused) would otherwise have its "done" run inside this call, before the
  // caller has even seen it start.
  busy_ = true;
  op_.BeginWait();
  emit busyChanged(true);
  QPointer<ModuleTaskRunner> self(this);
  const bool started = slot_.TryStart([self, task = std::move(task),
                                       done = std::move(done)](std::stop_token stop) mutable {
    task(stop);
    // A task that was asked to stop reports nothing: its window is going away.
    if (stop.stop_requested() || !self) return;
    PostToGui(self.data(), [self, done = std::move(done)]() mutable {
      if (self) self->Finish(std::move(done));
    });
  });
  if (!started) {
    busy_ = false;
    op_.EndWait();
    emit busyChanged(false);
  }
  return started;
}

void ModuleTaskRunner::Finish(std::function<void()> done) {
  // The worker has posted this as its last act; its thread ends right after.
  slot_.Join();
  busy_ = false;
  op_.EndWait();
  emit busyChanged(false);
  if (done) done();
}

void ModuleTaskRunner::StopAndJoin() {
  slot_.StopAndJoin();
  if (busy_) {
    busy_ = false;
    op_.EndWait();
  }
}

}  // namespace zendra
