#include "base/OperatorRelay.h"

#include <utility>

namespace zendra {

OperatorRelay::OperatorRelay(Operator& inner, Post post, OnWindowThread onWindowThread)
    : inner_(inner), post_(std::move(post)), onWindowThread_(std::move(onWindowThread)) {}

OperatorRelay::~OperatorRelay() { Close(); }

template <typename R, typename F>
R OperatorRelay::Relay(F call, R whenClosed) {
  if (onWindowThread_()) return call(inner_);
  // `call` holds copies of its texts: the asking thread goes on as soon as the
  // window closes, while the call may still run on the window's thread.
  ++asking_;
  R answer = AskAcross(
      post_, [inner = &inner_, call = std::move(call)]() { return call(*inner); },
      closed_.get_token(), std::move(whenClosed), Withdraw::kAnytime);
  --asking_;
  return answer;
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
  return Relay([text, withdraw](Operator& op) { return op.AskYesNoDefaultNoUntil(text, withdraw); },
               false);
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

std::optional<std::string> OperatorRelay::ChooseFileToSaveWithExtension(
    const std::string& filter, const std::string& suggestedName,
    const std::string& defaultExtension) {
  using Choice = std::optional<std::string>;
  return Relay(
      [filter, suggestedName, defaultExtension](Operator& op) {
        return op.ChooseFileToSaveWithExtension(filter, suggestedName, defaultExtension);
      },
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

void OperatorRelay::Close() { closed_.request_stop(); }

int OperatorRelay::Asking() const { return asking_.load(); }

}  // namespace zendra
