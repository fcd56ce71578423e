#pragma once
// What a person plans with while an image goes out: the bytes sent of the total,
// the rate, and the time left, as one line of text under the progress bar (the
// firmware page, the reload dialog) or beside it (the command line).
//
// It is fed the engine's byte counts, which come after every acknowledged block,
// each with the moment it came. The rate is taken over the last few seconds: it
// follows a change (a run of refused blocks, a slower line) within that time, and
// one slow block does not make it jump. The first count is the start: the wait for
// the start request and the pause before the first block are no part of the rate.
// A count lower than the last one, or another total, starts a new transfer.

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

namespace zendra {

class TransferRate {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  // How far back the rate looks.
  static constexpr std::chrono::milliseconds kWindow{3000};

  void Reset();
  // `sent` of `total` image bytes acknowledged at `at`.
  void Add(std::int64_t sent, std::int64_t total, TimePoint at);

  std::int64_t Sent() const { return sent_; }
  std::int64_t Total() const { return total_; }
  // Bytes per second over the window; nullopt until two counts some time apart.
  std::optional<double> BytesPerSecond() const;
  // Seconds until the rest has gone at that rate; nullopt while the rate is not
  // known or is zero.
  std::optional<double> SecondsLeft() const;

  // "12,800 of 262,144 bytes · 11.2 kB/s · 0:22 left"; the rate and the time left
  // only once they are known, the time left not once everything has gone. Empty
  // before the first count.
  std::string Text() const;
  // The same line for counts taken elsewhere (a progress event): `sent` of `total`,
  // then the rate and the time left when given, the time left not once `sent`
  // reaches `total`.
  static std::string Text(std::int64_t sent, std::int64_t total,
                          std::optional<double> bytesPerSecond, std::optional<double> secondsLeft);

  // 262144 -> "262,144".
  static std::string Grouped(std::int64_t value);
  // 11215.0 -> "11.2 kB/s", 512.0 -> "512 B/s", 1.5e6 -> "1.50 MB/s".
  static std::string Rate(double bytesPerSecond);
  // Whole seconds, rounded up: 22.1 -> "0:23", 3725 -> "1:02:05".
  static std::string Duration(double seconds);

 private:
  struct Sample {
    TimePoint at;
    std::int64_t sent;
  };
  std::deque<Sample> samples_;
  std::int64_t sent_ = 0;
  std::int64_t total_ = 0;
};

}  // namespace zendra
