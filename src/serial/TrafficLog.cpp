#include "serial/TrafficLog.h"

#include <cstring>
#include <string>

namespace zendra {

TrafficLog::TrafficLog(Sink sink) : TrafficLog(std::move(sink), Options{}) {}

TrafficLog::TrafficLog(Sink sink, Options options) : sink_(std::move(sink)), options_(options) {
  buffer_.reserve(options_.capacity);
  taken_.reserve(options_.capacity);
  consumer_ = std::jthread([this](std::stop_token stop) { Consume(stop); });
}

TrafficLog::~TrafficLog() {
  consumer_.request_stop();
  consumer_.join();
  Process(End::kEverything);
}

void TrafficLog::Record(Event event, const std::uint8_t* bytes, std::size_t length) {
  bool wake = false;
  {
    std::lock_guard lock(bufferMutex_);
    // The time is taken under the lock, so the log's order and its times agree.
    const auto now = std::chrono::steady_clock::now();
    const std::size_t used = buffer_.size();
    if (used + sizeof(Header) + length > options_.capacity) {
      dropped_ += length;
      return;
    }
    const Header header{now.time_since_epoch().count(), static_cast<std::uint32_t>(length), event};
    buffer_.resize(used + sizeof header + length);
    std::memcpy(buffer_.data() + used, &header, sizeof header);
    if (length > 0) std::memcpy(buffer_.data() + used + sizeof header, bytes, length);
    // The consumer sleeps without a timer while the line is quiet: the first bytes
    // wake it, and so does a buffer half full.
    wake = used == 0 || buffer_.size() > options_.capacity / 2;
  }
  if (wake) wake_.notify_one();
}

void TrafficLog::Note(std::string_view text) {
  Record(Event::kNote, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

void TrafficLog::Flush() { Process(End::kAllLines); }

std::uint64_t TrafficLog::DroppedBytes() const {
  std::lock_guard lock(bufferMutex_);
  return dropped_;
}

void TrafficLog::Consume(std::stop_token stop) {
  std::optional<TrafficFormatter::TimePoint> idleEnd;
  std::unique_lock lock(bufferMutex_);
  while (!stop.stop_requested()) {
    if (buffer_.empty()) {
      // Nothing new: wait for traffic, or for the moment an open line has been
      // quiet long enough to be shown.
      const auto arrived = [this] { return !buffer_.empty(); };
      if (idleEnd) {
        wake_.wait_until(lock, stop, *idleEnd, arrived);
      } else {
        wake_.wait(lock, stop, arrived);
      }
      if (stop.stop_requested()) break;
    }
    if (!buffer_.empty()) {
      // Gather a batch: what follows within a few milliseconds goes out with it.
      wake_.wait_until(lock, stop, std::chrono::steady_clock::now() + options_.batch,
                       [this] { return buffer_.size() > options_.capacity / 2; });
    }
    lock.unlock();
    idleEnd = Process(End::kIdleLines);
    lock.lock();
  }
}

std::optional<TrafficFormatter::TimePoint> TrafficLog::Process(End end) {
  std::lock_guard processing(processMutex_);
  std::uint64_t dropped = 0;
  {
    std::lock_guard lock(bufferMutex_);
    buffer_.swap(taken_);
    dropped = dropped_;
  }
  std::vector<TrafficEntry> entries;
  std::size_t at = 0;
  while (at + sizeof(Header) <= taken_.size()) {
    Header header;
    std::memcpy(&header, taken_.data() + at, sizeof header);
    at += sizeof header;
    const TrafficFormatter::TimePoint when{
        TrafficFormatter::TimePoint::duration(header.nanoseconds)};
    lastEvent_ = when;
    formatter_.Add(header.event, when, std::span(taken_.data() + at, header.length), entries);
    at += header.length;
  }
  taken_.clear();
  if (dropped != droppedReported_) {
    const std::string text = std::to_string(dropped - droppedReported_) +
                             " bytes of traffic are missing here: the log fell behind";
    droppedReported_ = dropped;
    // In its place: after the traffic that was recorded, before anything later.
    formatter_.Add(Event::kNote, lastEvent_,
                   std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()),
                   entries);
  }
  switch (end) {
    case End::kIdleLines:
      formatter_.EndIdleLines(std::chrono::steady_clock::now(), entries);
      break;
    case End::kAllLines:
      formatter_.EndLines(entries);
      break;
    case End::kEverything:
      formatter_.Finish(entries);
      break;
  }
  if (!entries.empty() && sink_) sink_(entries);
  return formatter_.NextIdleEnd();
}

}  // namespace zendra
