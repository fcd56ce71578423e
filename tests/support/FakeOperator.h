#pragma once
// A scripted operator for tests: records every message, question and file dialog
// in order, answers questions and file dialogs from queues, and counts the wait
// cursor. Safe to call from worker threads.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/Operator.h"

namespace zendra::test {

class FakeOperator : public Operator {
 public:
  struct Event {
    enum Kind { kMessage, kQuestion, kOpenFile, kSaveFile, kOpenDocument } kind;
    std::string text;
    std::string caption;
    std::string detail;      // a message's second text
    bool defaultNo = false;  // a question whose Enter answers No
  };

  void ShowMessage(const std::string& text) override;
  void ShowDetailedMessage(const std::string& text, const std::string& detail) override;
  bool AskYesNo(const std::string& text, const std::string& caption = {}) override;
  bool AskYesNoDefaultNo(const std::string& text, const std::string& caption = {}) override;
  std::optional<std::string> ChooseFileToOpen(const std::string& filter) override;
  std::optional<std::string> ChooseFileToSave(const std::string& filter,
                                              const std::string& suggestedName) override;
  void OpenDocument(const std::string& path) override;
  void BeginWait() override;
  void EndWait() override;

  // Answers for the next questions (default when the queue is empty: No).
  void QueueAnswer(bool yes);
  // Answers for the next file dialogs (nullopt: cancel; default when empty: cancel).
  void QueueFile(std::optional<std::string> path);

  std::vector<Event> Events() const;
  std::vector<std::string> Messages() const;   // message box texts only
  std::vector<std::string> Details() const;    // their second texts, "" where none
  std::vector<std::string> Questions() const;  // question texts only
  void Clear();
  int WaitDepth() const;       // BeginWait minus EndWait
  int WaitCount() const;       // number of BeginWait calls
  // Runs `hook` in every BeginWait, as a window's wait cursor lets pending events
  // through (QtOperator::BeginWait); empty: nothing.
  void SetOnBeginWait(std::function<void()> hook);
  // Waits until `count` message boxes have been shown; false on timeout.
  bool WaitForMessages(std::size_t count, std::chrono::milliseconds timeout) const;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<Event> events_;
  std::deque<bool> answers_;
  std::deque<std::optional<std::string>> files_;
  int waitDepth_ = 0;
  std::function<void()> onBeginWait_;
  int waitCount_ = 0;
};

}  // namespace zendra::test
