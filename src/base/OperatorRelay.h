#pragma once
// The Operator a firmware window gives its worker.
//
// A worker shows its message boxes itself ("Firmware update is completed
// successfully.", "ERROR: Failed to update firmware.") and waits for the operator
// to close them. The box belongs on the window's thread, and the window's thread
// is also the one that stops and joins the worker when the window closes: a worker
// blocked on a box the window's thread will never show again would block that join
// for good. The relay carries each call of another thread over to the window's
// thread (through `post`) and waits for its answer, but only until the window
// closes: Close() answers every waiting and every later call at once, as the
// operator would who cancels (no box, "No", no file). Calls made on the window's
// own thread go straight to the inner operator, as do the wait cursor's calls,
// which never block.

#include <atomic>
#include <functional>
#include <stop_token>

#include "base/CrossThreadCall.h"
#include "base/Operator.h"

namespace zendra {

class OperatorRelay : public Operator {
 public:
  // Hands a call to the window's thread; it runs there later (or never, when the
  // window has gone by then).
  using Post = PostCall;
  // true on the window's thread.
  using OnWindowThread = std::function<bool()>;

  OperatorRelay(Operator& inner, Post post, OnWindowThread onWindowThread);
  ~OperatorRelay() override;
  OperatorRelay(const OperatorRelay&) = delete;
  OperatorRelay& operator=(const OperatorRelay&) = delete;

  void ShowMessage(const std::string& text) override;
  void ShowDetailedMessage(const std::string& text, const std::string& detail) override;
  bool AskYesNo(const std::string& text, const std::string& caption = {}) override;
  bool AskYesNoDefaultNo(const std::string& text, const std::string& caption = {}) override;
  bool AskYesNoDefaultNoUntil(const std::string& text, std::stop_token withdraw) override;
  std::optional<std::string> ChooseFileToOpen(const std::string& filter) override;
  std::optional<std::string> ChooseFileToSave(const std::string& filter,
                                              const std::string& suggestedName) override;
  std::optional<std::string> ChooseFileToSaveWithExtension(
      const std::string& filter, const std::string& suggestedName,
      const std::string& defaultExtension) override;
  void OpenDocument(const std::string& path) override;
  void BeginWait() override { inner_.BeginWait(); }
  void EndWait() override { inner_.EndWait(); }

  // The window is closing: the calls of other threads that wait are answered now,
  // later ones at once, and a relayed call that has not run yet never shows.
  void Close();
  // How many calls of other threads wait for their answer now.
  int Asking() const;

 private:
  // Runs `call` on the window's thread and returns its answer, or `whenClosed`.
  template <typename R, typename F>
  R Relay(F call, R whenClosed);

  Operator& inner_;
  Post post_;
  OnWindowThread onWindowThread_;
  std::stop_source closed_;  // requested by Close
  std::atomic<int> asking_{0};
};

}  // namespace zendra
