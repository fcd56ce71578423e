#pragma once
// The traffic log: a LineTap that records every byte the port writes and receives
// and hands it, formatted (TrafficFormatter), to a sink — the desktop program's
// console, the command line's --trace file.
//
// Recording must never hold up the port's reader or a writer: Record only copies
// the bytes with their time into a bounded buffer under a short lock. A consumer
// thread of the log's own takes the buffer whole (the two buffers are swapped, no
// copy), formats it and calls the sink, in batches some milliseconds apart; it
// sleeps without a timer while the line is quiet. Should the consumer ever fall a
// whole buffer behind, the bytes that did not fit are counted and the log says how
// many are missing rather than stall the line.
//
// A log attached to a port (SerialPort::SetTap) must be detached before it goes.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string_view>
#include <thread>
#include <vector>

#include "serial/LineTap.h"
#include "serial/TrafficFormatter.h"

namespace zendra {

class TrafficLog : public LineTap {
 public:
  // Called with each batch of new entries, in order, one call at a time (on the
  // log's thread, or on the thread that calls Flush); `entries` may be taken.
  using Sink = std::function<void(std::vector<TrafficEntry>& entries)>;

  struct Options {
    std::size_t capacity = 1 << 20;       // bytes of traffic held for the consumer
    std::chrono::milliseconds batch{25};  // how long the consumer gathers a batch
  };

  explicit TrafficLog(Sink sink);
  TrafficLog(Sink sink, Options options);
  // Formats what is left and ends every open line and block before it returns.
  ~TrafficLog() override;
  TrafficLog(const TrafficLog&) = delete;
  TrafficLog& operator=(const TrafficLog&) = delete;

  void Record(Event event, const std::uint8_t* bytes, std::size_t length) override;
  // A line of the program's own in the log, in its place among the traffic.
  void Note(std::string_view text);

  // Formats everything recorded so far and hands it to the sink before it returns;
  // text lines still open are ended (a block waiting for its answer still waits).
  void Flush();

  // Bytes that did not fit while the consumer was behind.
  std::uint64_t DroppedBytes() const;

 private:
  enum class End { kIdleLines, kAllLines, kEverything };
  struct Header {
    std::int64_t nanoseconds;
    std::uint32_t length;
    Event event;
  };

  void Consume(std::stop_token stop);
  // Formats what the buffer holds; returns when an open line would end for idleness.
  std::optional<TrafficFormatter::TimePoint> Process(End end);

  Sink sink_;
  const Options options_;

  mutable std::mutex bufferMutex_;  // guards the three below
  std::condition_variable_any wake_;
  std::vector<std::uint8_t> buffer_;
  std::uint64_t dropped_ = 0;

  std::mutex processMutex_;  // one formatting pass at a time; guards the three below
  std::vector<std::uint8_t> taken_;
  std::uint64_t droppedReported_ = 0;
  TrafficFormatter::TimePoint lastEvent_{};
  TrafficFormatter formatter_;

  std::jthread consumer_;  // last: it starts once everything above is there
};

}  // namespace zendra
