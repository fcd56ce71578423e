#include "device/LineLease.h"

#include <utility>

#include "base/Clock.h"

namespace zendra {

std::optional<LineLease> LineGate::TryLease(std::string holder, std::stop_token stop) {
  std::function<void(bool)> observer;
  {
    std::lock_guard lock(mutex_);
    if (leased_) return std::nullopt;
    leased_ = true;
    holder_ = std::move(holder);
    observer = observer_;
  }
  // The transactions' waits follow the holder's stop from now on.
  link_.SetStopToken(stop);
  if (observer) observer(true);
  return LineLease(*this, std::move(stop));
}

bool LineGate::Leased() const {
  std::lock_guard lock(mutex_);
  return leased_;
}

std::string LineGate::Holder() const {
  std::lock_guard lock(mutex_);
  return holder_;
}

void LineGate::SetObserver(std::function<void(bool leased)> observer) {
  std::lock_guard lock(mutex_);
  observer_ = std::move(observer);
}

void LineGate::Release() {
  link_.SetStopToken({});
  std::function<void(bool)> observer;
  {
    std::lock_guard lock(mutex_);
    leased_ = false;
    holder_.clear();
    observer = observer_;
  }
  if (observer) observer(false);
}

LineLease::LineLease(LineGate& gate, std::stop_token stop) : gate_(&gate), stop_(std::move(stop)) {}

LineLease::LineLease(LineLease&& other) noexcept
    : gate_(std::exchange(other.gate_, nullptr)), stop_(std::move(other.stop_)) {}

LineLease& LineLease::operator=(LineLease&& other) noexcept {
  if (this != &other) {
    Release();
    gate_ = std::exchange(other.gate_, nullptr);
    stop_ = std::move(other.stop_);
  }
  return *this;
}

bool LineLease::Sleep(int ms) const { return Clock::Sleep(ms, stop_); }

void LineLease::FollowStop(std::stop_token stop) {
  stop_ = std::move(stop);
  if (gate_) gate_->link_.SetStopToken(stop_);
}

void LineLease::Release() {
  if (gate_) std::exchange(gate_, nullptr)->Release();
}

}  // namespace zendra
