// The records' times: the stored text, and what --since takes.

#include <gmock/gmock.h>

#include <chrono>

#include "production/RecordTime.h"
#include "support/ScopedEnvironment.h"

namespace zendra::test {
namespace {

using namespace std::chrono;

RecordTime::TimePoint Utc(int y, unsigned mo, unsigned d, int h, int mi, int s, int ms = 0) {
  return sys_days(year_month_day(year(y), month(mo), day(d))) + hours(h) + minutes(mi) +
         seconds(s) + milliseconds(ms);
}

TEST(RecordTime, WritesUtcWithMillisecondsThatSortsAsTimeDoes) {
  EXPECT_EQ(RecordTime::Format(Utc(2025, 3, 14, 9, 26, 53, 589)), "2025-03-14T09:26:53.589Z");
  EXPECT_EQ(RecordTime::Format(Utc(1999, 12, 31, 23, 59, 59, 999)), "1999-12-31T23:59:59.999Z");
  EXPECT_LT(RecordTime::Format(Utc(2025, 3, 14, 9, 59, 59, 999)),
            RecordTime::Format(Utc(2025, 3, 14, 10, 0, 0)));
}

TEST(RecordTime, SinceTakesAgesDatesAndTimesInUtcOrLocalTime) {
  const auto now = Utc(2025, 3, 14, 12, 0, 0);
  EXPECT_EQ(RecordTime::ParseSince("30m", now), now - minutes(30));
  EXPECT_EQ(RecordTime::ParseSince("8h", now), now - hours(8));
  EXPECT_EQ(RecordTime::ParseSince("7d", now), now - days(7));
  EXPECT_EQ(RecordTime::ParseSince("90s", now), now - seconds(90));
  EXPECT_EQ(RecordTime::ParseSince("2025-03-14T09:30Z", now), Utc(2025, 3, 14, 9, 30, 0));
  EXPECT_EQ(RecordTime::ParseSince("2025-03-14 09:30:15Z", now), Utc(2025, 3, 14, 9, 30, 15));
  EXPECT_EQ(RecordTime::ParseSince("2025-02-28Z", now), Utc(2025, 2, 28, 0, 0, 0));

  // Without a Z: this computer's time zone (one hour east of UTC here).
  ScopedEnvironment zone("TZ", "CET-1");
  EXPECT_EQ(RecordTime::ParseSince("2025-01-14T09:30", now), Utc(2025, 1, 14, 8, 30, 0));
  EXPECT_EQ(RecordTime::ParseSince("2025-01-14", now), Utc(2025, 1, 13, 23, 0, 0));
}

TEST(RecordTime, SinceRefusesWhatIsNoTime) {
  const auto now = system_clock::now();
  for (const char* text : {"", "yesterday", "8", "h", "8x", "-8h", "2025-3-14", "2025-02-30",
                           "2025-03-14T25:00", "2025-03-14T09", "2025-03-14T09:30:61",
                           "2025-03-14T09:30ZZ", "2025/03/14", "2025-03-14X09:30",
                           // beyond what the clock holds
                           "1025-03-14T09:30:15Z", "9999-01-01", "999999999d", "36600000h"})
    EXPECT_EQ(RecordTime::ParseSince(text, now), std::nullopt) << "\"" << text << "\"";
}

}  // namespace
}  // namespace zendra::test
