#pragma once
// Plays the module's bootloader for the transfer engine, byte by byte, without a
// port: what the engine writes is parsed as the bootloader would see it (blocks,
// EOT, CAN, text), and its answers are queued for the engine's reads. While no
// block has come yet, a read that would time out gets a 'C' instead, as the
// bootloader repeats its start request every second.
//
// Wire constants are written out here on purpose rather than taken from the
// engine, so that a changed constant on either side is caught.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "firmware/TransferChannel.h"

namespace zendra::test {

// CRC-16/XMODEM computed bit by bit, independently of the engine's table.
inline std::uint16_t BitwiseCrc(const std::uint8_t* data, std::size_t n) {
  std::uint16_t crc = 0;
  for (std::size_t i = 0; i < n; ++i) {
    crc ^= static_cast<std::uint16_t>(data[i] << 8);
    for (int bit = 0; bit < 8; ++bit)
      crc = (crc & 0x8000) ? static_cast<std::uint16_t>((crc << 1) ^ 0x1021)
                           : static_cast<std::uint16_t>(crc << 1);
  }
  return crc;
}

class ScriptedBootloader : public TransferChannel {
 public:
  // The answer to attempt `attempt` (1-based) of block `ordinal` (1-based);
  // nullopt: silence. Default: ACK.
  std::function<std::optional<std::uint8_t>(int ordinal, int attempt)> answerBlock =
      [](int, int) { return std::optional<std::uint8_t>(0x06); };
  // The answer to the first EOT; nullopt: silence.
  std::optional<std::uint8_t> eotAnswer = 0x06;
  // Printed after the second EOT.
  std::string completionText = "\r\nSerial upload complete\r\n";
  bool sendsStartRequest = true;
  // Printed once, right before the first start request (the line of the menu choice).
  std::string textBeforeStart;
  // Called (on the engine's thread) after each block was received.
  std::function<void(int ordinal)> onBlock;

  // Bytes waiting for the engine before the run starts (leftovers the drain takes).
  void Preload(const std::string& bytes) {
    std::lock_guard lock(mutex_);
    for (char c : bytes) input_.push_back(static_cast<std::uint8_t>(c));
  }

  void Write(const std::uint8_t* bytes, int length) override {
    std::unique_lock lock(mutex_);
    writes_.emplace_back(bytes, bytes + length);
    if (length == 133 && bytes[0] == 0x01) {
      packets_.emplace_back(bytes, bytes + length);
      const int ordinal = CurrentOrdinal();
      const int attempt = ++attemptsSeenForOrdinal_[ordinal];
      const auto answer = answerBlock(ordinal, attempt);
      if (answer && *answer == 0x06) {
        accepted_.insert(accepted_.end(), bytes + 3, bytes + 131);
        ++acceptedBlocks_;
      }
      if (answer) input_.push_back(*answer);
      changed_.notify_all();
      if (onBlock) {
        lock.unlock();
        onBlock(ordinal);
      }
      return;
    }
    if (length == 1 && bytes[0] == 0x04) {
      ++eots_;
      if (eots_ == 1 && eotAnswer) input_.push_back(*eotAnswer);
      if (eots_ == 2) {
        input_.push_back(0x06);
        for (char c : completionText) input_.push_back(static_cast<std::uint8_t>(c));
      }
    }
    if (length == 1 && bytes[0] == 0x18) ++cans_;
    changed_.notify_all();
  }

  int ReadByte(int polls, std::stop_token stop) override {
    std::unique_lock lock(mutex_);
    if (input_.empty() && packets_.empty() && eots_ == 0 && sendsStartRequest &&
        polls > 1) {
      for (char c : textBeforeStart) input_.push_back(static_cast<std::uint8_t>(c));
      textBeforeStart.clear();
      input_.push_back('C');
    }
    if (input_.empty()) {
      timedOutBudgets_.push_back(polls);
      // Honest silence: the budget's worth of (scaled) time, or until a stop.
      changed_.wait_for(lock, stop, Clock::Scaled(polls), [] { return false; });
      return kTimeOut;
    }
    const int byte = input_.front();
    input_.pop_front();
    return byte;
  }

  const std::string& CollectReply() override {
    std::lock_guard lock(mutex_);
    for (std::uint8_t b : input_) reply_.push_back(static_cast<char>(b));
    input_.clear();
    return reply_;
  }

  void WaitForBytes(int ms, std::stop_token stop) override {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, stop, Clock::Scaled(ms), [this] { return !input_.empty(); });
  }

  void ResetReceive() override {
    std::lock_guard lock(mutex_);
    input_.clear();
  }

  // What the engine did.
  std::vector<std::vector<std::uint8_t>> Packets() const { return Locked(packets_); }
  std::vector<std::vector<std::uint8_t>> Writes() const { return Locked(writes_); }
  std::vector<std::uint8_t> Accepted() const { return Locked(accepted_); }
  std::vector<int> TimedOutBudgets() const { return Locked(timedOutBudgets_); }
  int Cans() const { return Locked(cans_); }
  int Eots() const { return Locked(eots_); }
  bool WaitForPackets(std::size_t n, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return packets_.size() >= n; });
  }

 private:
  // The block the engine is sending: one past the blocks accepted so far.
  int CurrentOrdinal() const { return acceptedBlocks_ + 1; }
  template <typename T>
  T Locked(const T& value) const {
    std::lock_guard lock(mutex_);
    return value;
  }

  mutable std::mutex mutex_;
  std::condition_variable_any changed_;
  std::deque<std::uint8_t> input_;
  std::vector<std::vector<std::uint8_t>> writes_;
  std::vector<std::vector<std::uint8_t>> packets_;
  std::vector<std::uint8_t> accepted_;
  std::vector<int> timedOutBudgets_;
  std::map<int, int> attemptsSeenForOrdinal_;
  std::string reply_;
  int acceptedBlocks_ = 0;
  int eots_ = 0;
  int cans_ = 0;
};

}  // namespace zendra::test
