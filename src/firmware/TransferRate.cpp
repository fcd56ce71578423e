#include "firmware/TransferRate.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace zendra {

void TransferRate::Reset() {
  samples_.clear();
  sent_ = 0;
  total_ = 0;
}

void TransferRate::Add(std::int64_t sent, std::int64_t total, TimePoint at) {
  if (!samples_.empty() && (sent < sent_ || total != total_)) Reset();
  sent_ = sent;
  total_ = total;
  samples_.push_back({at, sent});
  // The oldest count kept is the last one at or before the window's start, so that
  // the rate spans the whole window once the transfer is that old.
  const TimePoint windowStart = at - kWindow;
  while (samples_.size() > 2 && samples_[1].at <= windowStart) samples_.pop_front();
}

std::optional<double> TransferRate::BytesPerSecond() const {
  if (samples_.size() < 2) return std::nullopt;
  const double seconds =
      std::chrono::duration<double>(samples_.back().at - samples_.front().at).count();
  if (seconds <= 0) return std::nullopt;
  return static_cast<double>(samples_.back().sent - samples_.front().sent) / seconds;
}

std::optional<double> TransferRate::SecondsLeft() const {
  const auto rate = BytesPerSecond();
  if (!rate || *rate <= 0) return std::nullopt;
  return static_cast<double>(total_ - sent_) / *rate;
}

std::string TransferRate::Text() const {
  if (samples_.empty()) return {};
  return Text(sent_, total_, BytesPerSecond(), SecondsLeft());
}

std::string TransferRate::Text(std::int64_t sent, std::int64_t total,
                               std::optional<double> bytesPerSecond,
                               std::optional<double> secondsLeft) {
  std::string text = Grouped(sent) + " of " + Grouped(total) + " bytes";
  if (bytesPerSecond) text += " \u00b7 " + Rate(*bytesPerSecond);
  if (sent < total && secondsLeft) text += " \u00b7 " + Duration(*secondsLeft) + " left";
  return text;
}

std::string TransferRate::Grouped(std::int64_t value) {
  const bool negative = value < 0;
  std::string digits = std::to_string(negative ? -value : value);
  std::string grouped;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  return negative ? "-" + grouped : grouped;
}

std::string TransferRate::Rate(double bytesPerSecond) {
  char text[32];
  if (bytesPerSecond >= 999500.0) {
    std::snprintf(text, sizeof text, "%.2f MB/s", bytesPerSecond / 1e6);
  } else if (bytesPerSecond >= 999.5) {
    std::snprintf(text, sizeof text, "%.1f kB/s", bytesPerSecond / 1e3);
  } else {
    std::snprintf(text, sizeof text, "%.0f B/s", bytesPerSecond);
  }
  return text;
}

std::string TransferRate::Duration(double seconds) {
  // Rounded up: "0:00 left" only when nothing is left.
  const auto whole = static_cast<long long>(std::ceil(std::max(0.0, seconds)));
  char text[32];
  if (whole >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60,
                  whole % 60);
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
  }
  return text;
}

}  // namespace zendra
