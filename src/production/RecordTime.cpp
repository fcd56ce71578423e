#include "production/RecordTime.h"

#include <cctype>
#include <cstdio>
#include <ctime>

namespace zendra {

namespace {

using namespace std::chrono;

// Reads `count` digits at `pos`; -1 when they are not all digits.
int Digits(const std::string& text, std::size_t pos, std::size_t count) {
  if (pos + count > text.size()) return -1;
  int value = 0;
  for (std::size_t i = pos; i < pos + count; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

// Times the records can hold: the system clock counts nanoseconds, about 292 years
// either side of 1970; a record is of this age or the next.
constexpr int kFirstYear = 1970;
constexpr int kLastYear = 2199;
constexpr long long kLongestAgeSeconds = 100LL * 366 * 24 * 3600;

std::optional<RecordTime::TimePoint> Age(const std::string& text, RecordTime::TimePoint now) {
  if (text.size() < 2 || text.size() > 10) return std::nullopt;
  long long number = 0;
  for (std::size_t i = 0; i + 1 < text.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
    number = number * 10 + (text[i] - '0');
  }
  long long unit = 0;
  switch (text.back()) {
    case 's':
      unit = 1;
      break;
    case 'm':
      unit = 60;
      break;
    case 'h':
      unit = 3600;
      break;
    case 'd':
      unit = 24 * 3600;
      break;
    default:
      return std::nullopt;
  }
  if (number > kLongestAgeSeconds / unit) return std::nullopt;
  return now - seconds(number * unit);
}

}  // namespace

std::string RecordTime::Format(TimePoint at) {
  const auto ms = floor<milliseconds>(at);
  const auto day = floor<days>(ms);
  const year_month_day date{day};
  const hh_mm_ss time{ms - day};
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ",
                static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                static_cast<unsigned>(date.day()), static_cast<int>(time.hours().count()),
                static_cast<int>(time.minutes().count()), static_cast<int>(time.seconds().count()),
                static_cast<int>(time.subseconds().count()));
  return text;
}

std::optional<RecordTime::TimePoint> RecordTime::ParseSince(const std::string& text,
                                                            TimePoint now) {
  if (auto age = Age(text, now)) return age;
  const int y = Digits(text, 0, 4), mo = Digits(text, 5, 2), d = Digits(text, 8, 2);
  if (y < 0 || mo < 0 || d < 0 || text.size() < 10 || text[4] != '-' || text[7] != '-')
    return std::nullopt;
  int h = 0, mi = 0, s = 0;
  std::size_t end = 10;
  if (text.size() > 10 && text[10] != 'Z') {
    if (text[10] != 'T' && text[10] != ' ') return std::nullopt;
    h = Digits(text, 11, 2);
    mi = Digits(text, 14, 2);
    if (h < 0 || mi < 0 || text.size() < 16 || text[13] != ':') return std::nullopt;
    end = 16;
    if (text.size() > 16 && text[16] == ':') {
      s = Digits(text, 17, 2);
      if (s < 0) return std::nullopt;
      end = 19;
    }
  }
  const bool utc = end < text.size() && text[end] == 'Z';
  if (end + (utc ? 1 : 0) != text.size()) return std::nullopt;
  const year_month_day date{year(y), month(static_cast<unsigned>(mo)),
                            day(static_cast<unsigned>(d))};
  if (!date.ok() || y < kFirstYear || y > kLastYear || h > 23 || mi > 59 || s > 59)
    return std::nullopt;
  if (utc) return sys_days(date) + hours(h) + minutes(mi) + seconds(s);
  // Local time: the C library knows this computer's zone and its summer time.
  std::tm local{};
  local.tm_year = y - 1900;
  local.tm_mon = mo - 1;
  local.tm_mday = d;
  local.tm_hour = h;
  local.tm_min = mi;
  local.tm_sec = s;
  local.tm_isdst = -1;
  const std::time_t t = std::mktime(&local);
  if (t == static_cast<std::time_t>(-1)) return std::nullopt;
  return system_clock::from_time_t(t);
}

}  // namespace zendra
