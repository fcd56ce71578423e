#pragma once
// The operator of one port of the production line. Nobody sits at a port to read
// its boxes: the core's messages (a module that does not answer, a refused value,
// a lost line) are kept as the port's reasons, and its questions are answered as
// the run was told to answer them (--yes). No file dialog opens, no document.

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "base/Operator.h"

namespace zendra {

class JobOperator : public Operator {
 public:
  explicit JobOperator(bool answerYes) : answerYes_(answerYes) {}

  void ShowMessage(const std::string& text) override;
  void ShowDetailedMessage(const std::string& text, const std::string& detail) override;
  bool AskYesNo(const std::string& text, const std::string& caption = {}) override;
  std::optional<std::string> ChooseFileToOpen(const std::string&) override { return std::nullopt; }
  std::optional<std::string> ChooseFileToSave(const std::string&, const std::string&) override {
    return std::nullopt;
  }
  void OpenDocument(const std::string&) override {}
  void BeginWait() override {}
  void EndWait() override {}

  // How many messages have been shown so far.
  std::size_t Count() const;
  // The first message shown after the first `mark` ones, on one line (its detail
  // after it); empty when there is none.
  std::string FirstSince(std::size_t mark) const;

 private:
  const bool answerYes_;
  mutable std::mutex mutex_;
  std::vector<std::string> messages_;
};

}  // namespace zendra
