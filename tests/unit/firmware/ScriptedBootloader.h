#pragma once
// Plays the module's bootloader for the transfer engine, without a port: what the
// engine writes is parsed as the bootloader sees it (blocks, EOT, CAN), and its
// answers are queued for the engine's reads. While no block has come, a read that
// would time out gets a 'C' instead, as the bootloader repeats its start request.
// Silence is honest: a read with nothing to take waits its (scaled) budget.
// Wire constants are written out, not taken from the engine.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "firmware/TransferChannel.h"

namespace zendra::test {

// CRC-16/XMODEM bit by bit, independently of the engine's table.
inline std::uint16_t BitwiseCrc(const std::uint8_t* data, std::size_t n) {
  std::uint16_t crc = 0;
  for (std::size_t i = 0; i < n; ++i) {
    crc ^= static_cast<std::uint16_t>(data[i] << 8);
    for (int bit = 0; bit < 8; ++bit)
      crc = static_cast<std::uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
  }
  return crc;
}

using Bytes = std::vector<std::uint8_t>;

class ScriptedBootloader : public TransferChannel {
 public:
  // Answer to attempt `attempt` of block `ordinal` (both from 1); nullopt: silence.
  std::function<std::optional<std::uint8_t>(int ordinal, int attempt)> answerBlock =
      [](int, int) { return std::optional<std::uint8_t>(0x06); };
  std::optional<std::uint8_t> eotAnswer = 0x06;
  std::string completionText = "\r\nSerial upload complete\r\n";
  bool sendsStartRequest = true;
  std::string textBeforeStart;              // printed once before the first 'C'
  std::function<void(int ordinal)> onBlock;  // after each block, on the engine's thread

  void Preload(const std::string& bytes) {
    std::lock_guard lock(mutex_);
    input_.insert(input_.end(), bytes.begin(), bytes.end());
  }

  void Write(const std::uint8_t* bytes, int length) override {
    std::unique_lock lock(mutex_);
    writes.emplace_back(bytes, bytes + length);
    if (length == 133 && bytes[0] == 0x01) {
      packets.emplace_back(bytes, bytes + length);
      const int ordinal = acceptedBlocks_ + 1;
      const auto answer = answerBlock(ordinal, ++attempts_[ordinal]);
      if (answer == 0x06) {
        accepted.insert(accepted.end(), bytes + 3, bytes + 131);
        ++acceptedBlocks_;
      }
      if (answer) input_.push_back(*answer);
      changed_.notify_all();
      lock.unlock();
      if (onBlock) onBlock(ordinal);
      return;
    }
    if (length == 1 && bytes[0] == 0x04 && ++eots == 1 && eotAnswer) input_.push_back(*eotAnswer);
    if (length == 1 && bytes[0] == 0x04 && eots == 2) {
      input_.push_back(0x06);
      input_.insert(input_.end(), completionText.begin(), completionText.end());
    }
    if (length == 1 && bytes[0] == 0x18) ++cans;
    changed_.notify_all();
  }

  int ReadByte(int polls, std::stop_token stop) override {
    std::unique_lock lock(mutex_);
    if (input_.empty() && packets.empty() && eots == 0 && sendsStartRequest && polls > 1) {
      input_.insert(input_.end(), textBeforeStart.begin(), textBeforeStart.end());
      textBeforeStart.clear();
      input_.push_back('C');
    }
    if (input_.empty()) {
      timedOutBudgets.push_back(polls);
      changed_.wait_for(lock, stop, Clock::Scaled(polls), [] { return false; });
      return kTimeOut;
    }
    const int byte = input_.front();
    input_.pop_front();
    return byte;
  }

  const std::string& CollectReply() override {
    std::lock_guard lock(mutex_);
    reply_.append(input_.begin(), input_.end());
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
  bool WaitForPackets(std::size_t n, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return packets.size() >= n; });
  }

  // What the engine did. Read them once the run has ended.
  std::vector<Bytes> writes, packets;
  Bytes accepted;  // payloads of the acknowledged blocks, padding included
  std::vector<int> timedOutBudgets;
  int eots = 0, cans = 0;

 private:
  std::mutex mutex_;
  std::condition_variable_any changed_;
  std::deque<std::uint8_t> input_;
  std::map<int, int> attempts_;
  std::string reply_;
  int acceptedBlocks_ = 0;
};

}  // namespace zendra::test
