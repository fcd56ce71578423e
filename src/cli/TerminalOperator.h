#pragma once
// The operator on a terminal: messages go to stderr, questions are answered by
// --yes / --no, or asked on the terminal when stdin is one (otherwise: No).

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "base/Operator.h"

namespace zendra::cli {

// A progress bar for a terminal line: "[#########.....................]", the
// part `done` of `whole` filled.
std::string TerminalBar(std::int64_t done, std::int64_t whole);

// The line of stderr that a progress display redraws in place when stderr is a
// terminal. A whole line printed meanwhile ends it first, so that the two do not
// share a line. Not locked: the display that owns it locks around it.
class TerminalProgressLine {
 public:
  explicit TerminalProgressLine(bool quiet);
  ~TerminalProgressLine() { End(); }
  TerminalProgressLine(const TerminalProgressLine&) = delete;
  TerminalProgressLine& operator=(const TerminalProgressLine&) = delete;

  bool Quiet() const { return quiet_; }
  // Redrawn in place: on a terminal, and not asked to be quiet.
  bool InPlace() const { return tty_ && !quiet_; }
  // Draws `text` over the line (only when InPlace()).
  void Redraw(const std::string& text);
  // A line of its own, after the open one.
  void PrintLine(const std::string& text);
  // Ends the open line, if one is open.
  void End();

 private:
  const bool tty_;
  const bool quiet_;
  bool open_ = false;
};

class TerminalOperator : public Operator {
 public:
  enum class Answer { kAsk, kYes, kNo };
  void SetAnswer(Answer answer) { answer_ = answer; }
  int MessageCount() const { return messages_; }

  void ShowMessage(const std::string& text) override;
  void ShowDetailedMessage(const std::string& text, const std::string& detail) override;
  bool AskYesNo(const std::string& text, const std::string& caption = {}) override;
  std::optional<std::string> ChooseFileToOpen(const std::string& filter) override;
  std::optional<std::string> ChooseFileToSave(const std::string& filter,
                                              const std::string& suggestedName) override;
  void OpenDocument(const std::string& path) override;
  void BeginWait() override {}
  void EndWait() override {}

 private:
  std::mutex mutex_;
  Answer answer_ = Answer::kAsk;
  std::atomic<int> messages_{0};
};

}  // namespace zendra::cli
