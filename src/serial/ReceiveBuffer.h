#pragma once
// The receive ring between the port's reader thread (the only producer) and the
// one consumer that polls it at a time: an AT transaction, the handshake, the scan
// or a firmware transfer.
//
// 8192 bytes of storage, at most 8191 stored (one slot stays free so that a full
// ring and an empty one differ). NUL bytes never get in: the reader drops them.
// Every operation is atomic with respect to the others; TakeText reads the text and
// resets the ring in one step, so bytes that arrive after the read stay for the
// next poll. Consumers may wait for "new bytes or the poll interval" instead of
// sleeping blindly; that is what lets a transaction return as soon as its answer
// is complete.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <stop_token>
#include <string>

#include "base/Clock.h"

namespace zendra {

class ReceiveBuffer {
 public:
  static constexpr int kSize = 8192;

  ReceiveBuffer();

  // false when the ring is full (Count() == 8191); stores the byte otherwise.
  bool Put(std::uint8_t byte);
  // false when empty; otherwise the oldest byte.
  bool Get(std::uint8_t& byte);
  int Count() const;
  // Empties the ring: storage zero-filled, head and tail 0.
  void Reset();

  // The bytes stored, oldest first, as text.
  std::string Text() const;
  // Text() and Reset() as one step.
  std::string TakeText();

  // The reader thread's way in: when the chunk fits whole (8192 - Count() > n),
  // its bytes are stored in order with NUL bytes skipped; otherwise the ring is
  // emptied and the chunk is lost.
  void PutChunk(const std::uint8_t* data, std::size_t n);

  // Blocks until the ring holds a byte, the deadline passes or a stop is requested.
  // Returns true when bytes are there.
  bool WaitForBytes(Clock::TimePoint deadline) const;
  bool WaitForBytes(Clock::TimePoint deadline, std::stop_token stop) const;

  // What a wait for input ended with.
  enum class Wait { kBytes, kDeadline, kLineLost, kStopped };
  // As WaitForBytes, but it also ends at once when the line is lost (the reader
  // saw the port hang up), which a deadline of seconds should not have to wait out.
  Wait WaitForInput(Clock::TimePoint deadline, std::stop_token stop) const;

  // The reader marks the line lost when the port vanishes under it, and an Open
  // marks it present again. Bytes already stored stay readable.
  void SetLineLost(bool lost);
  bool LineLost() const;

  // Wakes every waiter (used when the port closes).
  void Notify() const;

 private:
  int CountLocked() const { return (head_ - tail_ + kSize) % kSize; }
  bool PutLocked(std::uint8_t byte);
  void ResetLocked();

  mutable std::mutex mutex_;
  mutable std::condition_variable_any arrived_;
  std::uint8_t storage_[kSize];
  int head_ = 0;
  int tail_ = 0;
  bool lineLost_ = false;
};

}  // namespace zendra
