#include "base/OperatorRelay.h"

#include <optional>
#include <utility>

namespace zendra {

OperatorRelay::OperatorRelay(Operator& inner, Post post, OnWindowThread onWindowThread)
    : inner_(inner),
      post_(std::move(post)),
      onWindowThread_(std::move(onWindowThread)),
      shared_(std::make_shared<Shared>(inner)) {}

OperatorRelay::~OperatorRelay() { Close(); }

template <typename R, typename F>
R OperatorRelay::Relay(F call, R whenClosed) {
  if (onWindowThread_()) return call(inner_);

  struct Answer {
    std::optional<R> value;
  };
  auto answer = std::make_shared<Answer>();
  std::shared_ptr<Shared> shared = shared_;
  std::unique_lock lock(shared->mutex);
  if (shared->closed) return whenClosed;
  ++shared->asking;
  lock.unlock();

  // `call` holds copies of its texts: the asking thread may have gone on (the
  // window closed) while the call still runs on the window's thread.
  post_([shared, answer, call = std::move(call)]() mutable {
    {
      std::lock_guard guard(shared->mutex);
      if (shared->closed) return;
    }
    R value = call(shared->inner);
    std::lock_guard guard(shared->mutex);
    answer->value = std::move(value);
    shared->answered.notify_all();
  });

  lock.lock();
  shared->answered.wait(lock, [&] { return answer->value.has_value() || shared->closed; });
  --shared->asking;
  if (answer->value) return std::move(*answer->value);
  return whenClosed;
}

void OperatorRelay::ShowMessage(const std::string& text) {
  Relay(
      [text](Operator& op) {
        op.ShowMessage(text);
        return true;
      },
      false);
}

void OperatorRelay::ShowDetailedMessage(const std::string& text, const std::string& detail) {
  Relay(
      [text, detail](Operator& op) {
        op.ShowDetailedMessage(text, detail);
        return true;
      },
      false);
}

bool OperatorRelay::AskYesNo(const std::string& text, const std::string& caption) {
  return Relay([text, caption](Operator& op) { return op.AskYesNo(text, caption); }, false);
}

bool OperatorRelay::AskYesNoDefaultNo(const std::string& text, const std::string& caption) {
  return Relay([text, caption](Operator& op) { return op.AskYesNoDefaultNo(text, caption); },
               false);
}

bool OperatorRelay::AskYesNoDefaultNoUntil(const std::string& text, std::stop_token withdraw) {
  return Relay(
      [text, withdraw](Operator& op) { return op.AskYesNoDefaultNoUntil(text, withdraw); }, false);
}

std::optional<std::string> OperatorRelay::ChooseFileToOpen(const std::string& filter) {
  using Choice = std::optional<std::string>;
  return Relay([filter](Operator& op) { return op.ChooseFileToOpen(filter); }, Choice());
}

std::optional<std::string> OperatorRelay::ChooseFileToSave(const std::string& filter,
                                                           const std::string& suggestedName) {
  using Choice = std::optional<std::string>;
  return Relay(
      [filter, suggestedName](Operator& op) { return op.ChooseFileToSave(filter, suggestedName); },
      Choice());
}

void OperatorRelay::OpenDocument(const std::string& path) {
  Relay(
      [path](Operator& op) {
        op.OpenDocument(path);
        return true;
      },
      false);
}

void OperatorRelay::Close() {
  std::lock_guard lock(shared_->mutex);
  shared_->closed = true;
  shared_->answered.notify_all();
}

int OperatorRelay::Asking() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->asking;
}

}  // namespace zendra
