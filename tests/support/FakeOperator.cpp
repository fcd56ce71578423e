#include "support/FakeOperator.h"

namespace zendra::test {

void FakeOperator::ShowMessage(const std::string& text) {
  std::lock_guard lock(mutex_);
  events_.push_back({Event::kMessage, text, {}});
  changed_.notify_all();
}

void FakeOperator::ShowDetailedMessage(const std::string& text, const std::string& detail) {
  {
    std::lock_guard lock(mutex_);
    events_.push_back({Event::kMessage, text, {}, detail});
  }
  changed_.notify_all();
}

bool FakeOperator::AskYesNoDefaultNo(const std::string& text, const std::string& caption) {
  std::lock_guard lock(mutex_);
  events_.push_back({Event::kQuestion, text, caption, {}, true});
  changed_.notify_all();
  if (answers_.empty()) return false;
  const bool yes = answers_.front();
  answers_.pop_front();
  return yes;
}

bool FakeOperator::AskYesNo(const std::string& text, const std::string& caption) {
  std::lock_guard lock(mutex_);
  events_.push_back({Event::kQuestion, text, caption});
  changed_.notify_all();
  if (answers_.empty()) return false;
  const bool yes = answers_.front();
  answers_.pop_front();
  return yes;
}

std::optional<std::string> FakeOperator::ChooseFileToOpen(const std::string& filter) {
  std::lock_guard lock(mutex_);
  events_.push_back({Event::kOpenFile, filter, {}});
  if (files_.empty()) return std::nullopt;
  auto path = files_.front();
  files_.pop_front();
  return path;
}

std::optional<std::string> FakeOperator::ChooseFileToSave(const std::string& filter,
                                                          const std::string& suggestedName) {
  std::lock_guard lock(mutex_);
  events_.push_back({Event::kSaveFile, filter, suggestedName});
  if (files_.empty()) return std::nullopt;
  auto path = files_.front();
  files_.pop_front();
  return path;
}

void FakeOperator::OpenDocument(const std::string& path) {
  std::lock_guard lock(mutex_);
  events_.push_back({Event::kOpenDocument, path, {}});
}

void FakeOperator::BeginWait() {
  std::function<void()> hook;
  {
    std::lock_guard lock(mutex_);
    ++waitDepth_;
    ++waitCount_;
    hook = onBeginWait_;
  }
  if (hook) hook();
}

void FakeOperator::SetOnBeginWait(std::function<void()> hook) {
  std::lock_guard lock(mutex_);
  onBeginWait_ = std::move(hook);
}

void FakeOperator::EndWait() {
  std::lock_guard lock(mutex_);
  --waitDepth_;
}

void FakeOperator::QueueAnswer(bool yes) {
  std::lock_guard lock(mutex_);
  answers_.push_back(yes);
}

void FakeOperator::QueueFile(std::optional<std::string> path) {
  std::lock_guard lock(mutex_);
  files_.push_back(std::move(path));
}

std::vector<std::string> FakeOperator::Details() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> details;
  for (const auto& e : events_)
    if (e.kind == Event::kMessage) details.push_back(e.detail);
  return details;
}

std::vector<FakeOperator::Event> FakeOperator::Events() const {
  std::lock_guard lock(mutex_);
  return events_;
}

std::vector<std::string> FakeOperator::Messages() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> texts;
  for (const auto& e : events_)
    if (e.kind == Event::kMessage) texts.push_back(e.text);
  return texts;
}

std::vector<std::string> FakeOperator::Questions() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> texts;
  for (const auto& e : events_)
    if (e.kind == Event::kQuestion) texts.push_back(e.text);
  return texts;
}

void FakeOperator::Clear() {
  std::lock_guard lock(mutex_);
  events_.clear();
  waitCount_ = 0;
}

int FakeOperator::WaitDepth() const {
  std::lock_guard lock(mutex_);
  return waitDepth_;
}

int FakeOperator::WaitCount() const {
  std::lock_guard lock(mutex_);
  return waitCount_;
}

bool FakeOperator::WaitForMessages(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] {
    std::size_t n = 0;
    for (const auto& e : events_)
      if (e.kind == Event::kMessage) ++n;
    return n >= count;
  });
}

}  // namespace zendra::test
