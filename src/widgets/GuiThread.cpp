#include "widgets/GuiThread.h"

#ifdef ZENDRA_THREAD_SANITIZER

#include <sanitizer/tsan_interface.h>

#include <QCoreApplication>
#include <atomic>

namespace zendra::gui_thread {

namespace {

QEvent::Type Kind() {
  static const auto kind = static_cast<QEvent::Type>(QEvent::registerEventType());
  return kind;
}

// Runs the PostedCalls that reach a receiver of the application's thread. An
// event filter of the application sees every event of that thread's objects
// before the object itself does, so the call is posted to its receiver (and
// dropped with it) and still run here. One courier, made with the application.
class Courier final : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != Kind()) return QObject::eventFilter(watched, event);
    static_cast<PostedCall*>(event)->Run();
    return true;
  }
};

std::atomic<bool> couriered{false};

void InstallCourier() {
  QCoreApplication::instance()->installEventFilter(new Courier(QCoreApplication::instance()));
  couriered.store(true);
  QObject::connect(QCoreApplication::instance(), &QObject::destroyed,
                   [] { couriered.store(false); });
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(InstallCourier)

PostedCall::PostedCall() : QEvent(Kind()) {}

PostedCall::~PostedCall() {
  // Dropped unrun (its receiver went first): the call's captures were written by
  // the poster as well.
  __tsan_acquire(this);
}

void PostedCall::Run() {
  __tsan_acquire(this);
  Call();
}

bool Carries(const QObject* receiver) {
  return couriered.load() && receiver->thread() == QCoreApplication::instance()->thread();
}

void Post(QObject* receiver, PostedCall* event) {
  __tsan_release(event);
  QCoreApplication::postEvent(receiver, event);
}

}  // namespace zendra::gui_thread

#endif
