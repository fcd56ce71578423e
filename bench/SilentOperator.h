#pragma once
// The operator of a benchmark: nobody is at the keyboard. Messages go to stderr
// (and are counted), questions are answered No, file dialogs are cancelled.

#include <atomic>
#include <cstdio>
#include <optional>
#include <string>

#include "base/Operator.h"

namespace zendra::bench {

class SilentOperator : public Operator {
 public:
  void ShowMessage(const std::string& text) override {
    std::fprintf(stderr, "message: %s\n", text.c_str());
    ++messages;
  }
  bool AskYesNo(const std::string&, const std::string&) override { return false; }
  std::optional<std::string> ChooseFileToOpen(const std::string&) override { return std::nullopt; }
  std::optional<std::string> ChooseFileToSave(const std::string&, const std::string&) override {
    return std::nullopt;
  }
  void OpenDocument(const std::string&) override {}
  void BeginWait() override {}
  void EndWait() override {}

  std::atomic<int> messages{0};
};

}  // namespace zendra::bench
