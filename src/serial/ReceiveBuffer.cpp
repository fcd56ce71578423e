#include "serial/ReceiveBuffer.h"

#include <cstring>

namespace zendra {

ReceiveBuffer::ReceiveBuffer() { ResetLocked(); }

bool ReceiveBuffer::PutLocked(std::uint8_t byte) {
  if (CountLocked() == kSize - 1) return false;
  storage_[head_] = byte;
  head_ = (head_ + 1) % kSize;
  return true;
}

void ReceiveBuffer::ResetLocked() {
  std::memset(storage_, 0, sizeof storage_);
  head_ = 0;
  tail_ = 0;
}

bool ReceiveBuffer::Put(std::uint8_t byte) {
  bool stored;
  {
    std::lock_guard lock(mutex_);
    stored = PutLocked(byte);
  }
  if (stored) arrived_.notify_all();
  return stored;
}

bool ReceiveBuffer::Get(std::uint8_t& byte) {
  std::lock_guard lock(mutex_);
  if (head_ == tail_) return false;
  byte = storage_[tail_];
  tail_ = (tail_ + 1) % kSize;
  return true;
}

int ReceiveBuffer::Count() const {
  std::lock_guard lock(mutex_);
  return CountLocked();
}

void ReceiveBuffer::Reset() {
  std::lock_guard lock(mutex_);
  ResetLocked();
}

std::string ReceiveBuffer::Text() const {
  std::lock_guard lock(mutex_);
  std::string text;
  text.reserve(static_cast<std::size_t>(CountLocked()));
  for (int i = tail_; i != head_; i = (i + 1) % kSize) text.push_back(static_cast<char>(storage_[i]));
  return text;
}

std::string ReceiveBuffer::TakeText() {
  std::lock_guard lock(mutex_);
  std::string text;
  if (head_ == tail_) return text;  // nothing came: skip the zero fill
  text.reserve(static_cast<std::size_t>(CountLocked()));
  for (int i = tail_; i != head_; i = (i + 1) % kSize) text.push_back(static_cast<char>(storage_[i]));
  ResetLocked();
  return text;
}

void ReceiveBuffer::PutChunk(const std::uint8_t* data, std::size_t n) {
  {
    std::lock_guard lock(mutex_);
    if (static_cast<std::size_t>(kSize - CountLocked()) > n) {
      for (std::size_t i = 0; i < n; ++i) {
        if (data[i] != 0) PutLocked(data[i]);
      }
    } else {
      ResetLocked();
      return;
    }
  }
  arrived_.notify_all();
}

bool ReceiveBuffer::WaitForBytes(Clock::TimePoint deadline) const {
  std::unique_lock lock(mutex_);
  return arrived_.wait_until(lock, deadline, [this] { return head_ != tail_; });
}

bool ReceiveBuffer::WaitForBytes(Clock::TimePoint deadline, std::stop_token stop) const {
  std::unique_lock lock(mutex_);
  return arrived_.wait_until(lock, stop, deadline, [this] { return head_ != tail_; });
}

ReceiveBuffer::Wait ReceiveBuffer::WaitForInput(Clock::TimePoint deadline,
                                                std::stop_token stop) const {
  std::unique_lock lock(mutex_);
  arrived_.wait_until(lock, stop, deadline, [this] { return head_ != tail_ || lineLost_; });
  if (head_ != tail_) return Wait::kBytes;
  if (lineLost_) return Wait::kLineLost;
  if (stop.stop_requested()) return Wait::kStopped;
  return Wait::kDeadline;
}

void ReceiveBuffer::SetLineLost(bool lost) {
  {
    std::lock_guard lock(mutex_);
    lineLost_ = lost;
  }
  arrived_.notify_all();
}

bool ReceiveBuffer::LineLost() const {
  std::lock_guard lock(mutex_);
  return lineLost_;
}

void ReceiveBuffer::Notify() const { arrived_.notify_all(); }

}  // namespace zendra
