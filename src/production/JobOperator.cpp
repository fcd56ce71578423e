#include "production/JobOperator.h"

namespace zendra {

namespace {
// A message box's lines, as one line of the port's display and record.
std::string OneLine(const std::string& text) {
  std::string line;
  for (char c : text) {
    if (c == '\r') continue;
    if (c == '\n') {
      if (!line.empty() && line.back() != ' ') line += ' ';
      continue;
    }
    line += c;
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}
}  // namespace

void JobOperator::ShowMessage(const std::string& text) {
  std::lock_guard lock(mutex_);
  messages_.push_back(OneLine(text));
}

void JobOperator::ShowDetailedMessage(const std::string& text, const std::string& detail) {
  std::lock_guard lock(mutex_);
  messages_.push_back(detail.empty() ? OneLine(text) : OneLine(text) + " " + OneLine(detail));
}

bool JobOperator::AskYesNo(const std::string&, const std::string&) { return answerYes_; }

std::size_t JobOperator::Count() const {
  std::lock_guard lock(mutex_);
  return messages_.size();
}

std::string JobOperator::FirstSince(std::size_t mark) const {
  std::lock_guard lock(mutex_);
  return mark < messages_.size() ? messages_[mark] : std::string();
}

}  // namespace zendra
