#include "firmware/RemoteSequence.h"

#include <algorithm>
#include <utility>

namespace zendra {

void RemoteSequence::Reset(std::vector<std::string> addresses) {
  std::lock_guard lock(mutex_);
  addresses_ = std::move(addresses);
  pendingRows_.assign(addresses_.size(), 0);
  chosenRows_.assign(addresses_.size(), 0);
  nodeNames_.assign(addresses_.size(), std::string());
  outcomes_.assign(addresses_.size(), std::nullopt);
}

void RemoteSequence::Mark(int row) {
  std::lock_guard lock(mutex_);
  if (row >= 0 && row < static_cast<int>(pendingRows_.size())) pendingRows_[row] = 1;
}

void RemoteSequence::Arm() {
  std::lock_guard lock(mutex_);
  selectedCount_ = static_cast<int>(std::count(pendingRows_.begin(), pendingRows_.end(), 1));
  chosenRows_ = pendingRows_;
  startedCount_ = 0;
}

void RemoteSequence::ClearMarks() {
  std::lock_guard lock(mutex_);
  std::fill(pendingRows_.begin(), pendingRows_.end(), 0);
}

std::vector<int> RemoteSequence::TakePending() {
  std::lock_guard lock(mutex_);
  std::vector<int> rows;
  for (int row = 0; row < static_cast<int>(pendingRows_.size()); ++row)
    if (pendingRows_[row]) rows.push_back(row);
  std::fill(pendingRows_.begin(), pendingRows_.end(), 0);
  return rows;
}

std::optional<int> RemoteSequence::Tick(const std::function<bool()>& cloneBox,
                                        const std::function<bool()>& workerRunning,
                                        const std::function<void(const Start&)>& start,
                                        std::stop_token stop) {
  for (int row = 0;; ++row) {
    if (stop.stop_requested()) return std::nullopt;
    {
      std::lock_guard lock(mutex_);
      while (row < static_cast<int>(pendingRows_.size()) && !pendingRows_[row]) ++row;
      if (row >= static_cast<int>(pendingRows_.size())) return std::nullopt;
    }
    const bool clone = cloneBox();
    if (workerRunning()) return kNextLookMs;
    Start next;
    {
      std::lock_guard lock(mutex_);
      // A press in between may have emptied the table.
      if (row >= static_cast<int>(pendingRows_.size()) || !pendingRows_[row]) continue;
      // Counted before the start, not after it: the worker it starts reads the
      // counts at its end, which a quick failure may reach before the start returns.
      currentRow_ = row;
      pendingRows_[row] = 0;
      ++startedCount_;
      next = Start{row, addresses_[row], clone};
    }
    start(next);
  }
}

bool RemoteSequence::Pending() const {
  std::lock_guard lock(mutex_);
  return std::find(pendingRows_.begin(), pendingRows_.end(), 1) != pendingRows_.end();
}

int RemoteSequence::RowCount() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(addresses_.size());
}

int RemoteSequence::SelectedCount() const {
  std::lock_guard lock(mutex_);
  return selectedCount_;
}

int RemoteSequence::StartedCount() const {
  std::lock_guard lock(mutex_);
  return startedCount_;
}

bool RemoteSequence::AllStarted() const {
  std::lock_guard lock(mutex_);
  return startedCount_ >= selectedCount_;
}

int RemoteSequence::CurrentRow() const {
  std::lock_guard lock(mutex_);
  return currentRow_;
}

std::string RemoteSequence::Address(int row) const {
  std::lock_guard lock(mutex_);
  if (row < 0 || row >= static_cast<int>(addresses_.size())) return {};
  return addresses_[row];
}

void RemoteSequence::RecordOutcome(int row, FirmwareOutcome outcome) {
  std::lock_guard lock(mutex_);
  if (row >= 0 && row < static_cast<int>(outcomes_.size())) outcomes_[row] = outcome;
}

std::vector<std::optional<FirmwareOutcome>> RemoteSequence::Outcomes() const {
  std::lock_guard lock(mutex_);
  return outcomes_;
}

void RemoteSequence::SetNodeName(int row, std::string name) {
  std::lock_guard lock(mutex_);
  if (row >= 0 && row < static_cast<int>(nodeNames_.size())) nodeNames_[row] = std::move(name);
}

std::string RemoteSequence::NodeName(int row) const {
  std::lock_guard lock(mutex_);
  if (row < 0 || row >= static_cast<int>(nodeNames_.size())) return {};
  return nodeNames_[row];
}

std::vector<RemoteSequence::Failure> RemoteSequence::Failures() const {
  std::lock_guard lock(mutex_);
  std::vector<Failure> failures;
  for (int row = 0; row < static_cast<int>(chosenRows_.size()); ++row) {
    if (!chosenRows_[row] || outcomes_[row] == FirmwareOutcome::kCompleted) continue;
    failures.push_back(Failure{row, addresses_[row], nodeNames_[row], outcomes_[row]});
  }
  return failures;
}

std::vector<int> RemoteSequence::FailedRows() const {
  std::lock_guard lock(mutex_);
  std::vector<int> rows;
  for (int row = 0; row < static_cast<int>(chosenRows_.size()); ++row) {
    const auto& outcome = outcomes_[row];
    if (chosenRows_[row] && outcome && *outcome != FirmwareOutcome::kCompleted &&
        *outcome != FirmwareOutcome::kStopped)
      rows.push_back(row);
  }
  return rows;
}

std::vector<int> RemoteSequence::ChosenRows() const {
  std::lock_guard lock(mutex_);
  std::vector<int> rows;
  for (int row = 0; row < static_cast<int>(chosenRows_.size()); ++row)
    if (chosenRows_[row]) rows.push_back(row);
  return rows;
}

RemoteSequence::LineUse::LineUse(LineUse&& other) noexcept
    : owner_(std::exchange(other.owner_, nullptr)), lease_(other.lease_) {}

RemoteSequence::LineUse& RemoteSequence::LineUse::operator=(LineUse&& other) noexcept {
  if (this != &other) {
    if (owner_) owner_->EndUse();
    owner_ = std::exchange(other.owner_, nullptr);
    lease_ = other.lease_;
  }
  return *this;
}

RemoteSequence::LineUse::~LineUse() {
  if (owner_) owner_->EndUse();
}

void RemoteSequence::HoldLine(LineLease line) {
  std::optional<LineLease> old;
  {
    std::lock_guard lock(mutex_);
    // Only a sequence without a line takes one (the gate refuses a second lease
    // while this one is out), so nothing is in use here.
    old = std::move(line_);
    line_.emplace(std::move(line));
    lineGoing_ = false;
  }
}

bool RemoteSequence::HoldsLine() const {
  std::lock_guard lock(mutex_);
  return line_.has_value();
}

std::optional<RemoteSequence::LineUse> RemoteSequence::UseLine(std::stop_token stop) {
  std::unique_lock lock(mutex_);
  lineFree_.wait(lock, stop, [this] { return !line_ || lineGoing_ || lineUses_ == 0; });
  if (!line_ || lineGoing_ || lineUses_ > 0) return std::nullopt;
  line_->FollowStop(std::move(stop));
  ++lineUses_;
  return LineUse(*this, *line_);
}

std::optional<LineLease> RemoteSequence::TakeLineToRelease() {
  std::optional<LineLease> going;
  if (line_ && lineGoing_ && lineUses_ == 0) {
    going = std::move(line_);
    line_.reset();
    lineGoing_ = false;
  }
  return going;
}

void RemoteSequence::EndUse() {
  std::optional<LineLease> going;
  {
    std::lock_guard lock(mutex_);
    --lineUses_;
    going = TakeLineToRelease();
  }
  lineFree_.notify_all();
}

bool RemoteSequence::GiveLineBackIfDone() {
  std::optional<LineLease> going;
  {
    std::lock_guard lock(mutex_);
    if (std::find(pendingRows_.begin(), pendingRows_.end(), 1) != pendingRows_.end()) return false;
    if (line_) lineGoing_ = true;
    going = TakeLineToRelease();
  }
  lineFree_.notify_all();
  return true;
}

void RemoteSequence::GiveLineBack() {
  std::optional<LineLease> going;
  {
    std::lock_guard lock(mutex_);
    if (line_) lineGoing_ = true;
    going = TakeLineToRelease();
  }
  lineFree_.notify_all();
}

}  // namespace zendra
