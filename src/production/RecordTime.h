#pragma once
// The times of the production records: stored as UTC text in ISO 8601 with
// milliseconds ("2025-03-14T09:26:53.589Z"), which sorts and compares as time
// does, and the operator's --since, given as a date, a date and time (local time,
// or UTC with a "Z"), or an age ("30m", "8h", "7d").

#include <chrono>
#include <optional>
#include <string>

namespace zendra {

class RecordTime {
 public:
  using TimePoint = std::chrono::system_clock::time_point;

  // "YYYY-MM-DDTHH:MM:SS.mmmZ" of `at`.
  static std::string Format(TimePoint at);
  static std::string Now() { return Format(std::chrono::system_clock::now()); }

  // What `--since TEXT` means, as a point in time, or nullopt when the text is none
  // of: "YYYY-MM-DD", "YYYY-MM-DDTHH:MM[:SS]" or with a blank for the "T" (local
  // time; a trailing "Z" makes it UTC) in the years 1970 to 2199, or a number and
  // s, m, h or d (that long before `now`, at most a hundred years).
  static std::optional<TimePoint> ParseSince(const std::string& text, TimePoint now);
};

}  // namespace zendra
