// SPDX-License-Identifier: MIT
// DateToDaySeconds in two time zones, checked against the C library's own calendar so that the
// test holds on any day, around midnight and across daylight-saving changes.
#include <gtest/gtest.h>

#include <cmath>
#include <ctime>

#include "conversion_test_support.h"
#include "transformers/date_to_day_seconds_transformer.h"
#include "values/calendar.h"

namespace zel::test {
namespace {

tm localTime(double seconds) {
  const auto whole = static_cast<time_t>(seconds);
  tm local{};
  localtime_r(&whole, &local);
  return local;
}

bool sameDay(const tm& a, const tm& b) {
  return a.tm_year == b.tm_year && a.tm_mon == b.tm_mon && a.tm_mday == b.tm_mday;
}

double localDate(int year, int month, int day, int hour, int minute, int second) {
  tm local{};
  local.tm_year = year - 1900, local.tm_mon = month - 1, local.tm_mday = day;
  local.tm_hour = hour, local.tm_min = minute, local.tm_sec = second;
  local.tm_isdst = -1;
  return static_cast<double>(mktime(&local));
}

class DateToDaySeconds : public testing::TestWithParam<const char*> {
 protected:
  ScopedEnv mZone{"TZ", GetParam()};
  DateToDaySecondsTransformer mTransformer;
};

TEST_P(DateToDaySeconds, GivesTodayAtTheLocalTime) {
  const struct {
    Value seconds;
    int hour, minute, second;
  } cases[] = {{number(0), 0, 0, 0},
               {number(3661), 1, 1, 1},
               {number(86399), 23, 59, 59},
               {text("3661"), 1, 1, 1}};
  for (const auto& c : cases) {
    const tm before = localTime(currentDate());
    const Value date = mTransformer.transformedValue(c.seconds);
    const tm after = localTime(currentDate());
    ASSERT_TRUE(date.isKindOfDate());
    const tm shown = localTime(date.timeIntervalSince1970());
    EXPECT_TRUE(sameDay(shown, before) || sameDay(shown, after)) << date.description();
    EXPECT_EQ(shown.tm_hour, c.hour);
    EXPECT_EQ(shown.tm_min, c.minute);
    EXPECT_EQ(shown.tm_sec, c.second);
    EXPECT_EQ(date.timeIntervalSince1970(), std::floor(date.timeIntervalSince1970()));
  }
}

TEST_P(DateToDaySeconds, ReadsTheLocalTimeOfAnyDay) {
  // 2026-03-08 and 2026-10-25 are daylight-saving change days in some zones.
  for (auto [month, day] : {std::pair{3, 8}, {3, 29}, {10, 25}, {12, 6}}) {
    const Value date =
        Value::dateWithTimeIntervalSince1970(localDate(2026, month, day, 13, 45, 30));
    EXPECT_EQ(mTransformer.reverseTransformedValue(date), Value::numberWithLong(49530));
  }
  EXPECT_EQ(mTransformer.reverseTransformedValue(Value()), Value());
  EXPECT_EQ(mTransformer.transformedValue(Value()), Value());
}

INSTANTIATE_TEST_SUITE_P(Zones, DateToDaySeconds,
                         testing::Values("UTC", "America/New_York", "Australia/Lord_Howe"));

TEST(DateToDaySecondsInUTC, ReadsANegativeCountAsUnsignedHours) {
  ScopedEnv zone("TZ", "UTC");
  const double midnight = std::floor(currentDate() / 86400) * 86400;
  const Value date = DateToDaySecondsTransformer().transformedValue(number(-1));
  const double expected = midnight + 4294967295.0;
  // Midnight may pass between the two readings of the clock.
  EXPECT_TRUE(date.timeIntervalSince1970() == expected ||
              date.timeIntervalSince1970() == expected + 86400)
      << date.description();
}

TEST(DateToDaySecondsZone, FollowsAChangedTZ) {
  DateToDaySecondsTransformer transformer;
  const Value epoch = Value::dateWithTimeIntervalSince1970(0);
  {
    ScopedEnv zone("TZ", "UTC");
    EXPECT_EQ(transformer.reverseTransformedValue(epoch), Value::numberWithLong(0));
  }
  ScopedEnv zone("TZ", "Asia/Kolkata");
  EXPECT_EQ(transformer.reverseTransformedValue(epoch), Value::numberWithLong(19800));
}

}  // namespace
}  // namespace zel::test
