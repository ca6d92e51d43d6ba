// SPDX-License-Identifier: MIT
// DateToDaySeconds in three time zones, checked against the C library's own calendar so that the
// test holds on any day, around midnight and across daylight-saving changes.
#include <gtest/gtest.h>

#include <cmath>
#include <ctime>

#include "tests/values/value_test_support.h"
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

class DateToDaySeconds : public testing::TestWithParam<const char*> {
 protected:
  ScopedEnv mZone{"TZ", GetParam()};
  DateToDaySecondsTransformer mTransformer;
};

TEST_P(DateToDaySeconds, GivesTodayAtTheLocalTimeAndReadsItBack) {
  for (int32_t seconds : {3661, 86399}) {
    const int before = localTime(currentDate()).tm_mday;  // midnight may pass in between
    const Value date = mTransformer.transformedValue(number(seconds));
    const tm shown = localTime(date.timeIntervalSince1970());
    EXPECT_TRUE(shown.tm_mday == before || shown.tm_mday == localTime(currentDate()).tm_mday);
    EXPECT_EQ(shown.tm_hour * 3600 + shown.tm_min * 60 + shown.tm_sec, seconds);
    EXPECT_EQ(date.timeIntervalSince1970(), std::floor(date.timeIntervalSince1970()));
  }
  // Days 67 and 298 of 2026 (8 March, 25 October) change daylight-saving time in some zones.
  for (int day : {67, 298, 340}) {
    tm local{};
    local.tm_sec = 30, local.tm_min = 45, local.tm_hour = 13, local.tm_mday = day;
    local.tm_year = 126, local.tm_isdst = -1;
    const Value date = Value::dateWithTimeIntervalSince1970(static_cast<double>(mktime(&local)));
    EXPECT_EQ(mTransformer.reverseTransformedValue(date), Value::numberWithLong(49530)) << day;
  }
}

INSTANTIATE_TEST_SUITE_P(Zones, DateToDaySeconds,
                         testing::Values("UTC", "America/New_York", "Australia/Lord_Howe"));

// A negative count reads as unsigned hours; the zone is looked up anew when TZ changes.
TEST(DateToDaySecondsInUTC, ReadsANegativeCountAsUnsignedHoursAndFollowsAChangedTZ) {
  DateToDaySecondsTransformer transformer;
  {
    ScopedEnv zone("TZ", "UTC");
    const double midnight = std::floor(currentDate() / 86400) * 86400;
    const double shown = transformer.transformedValue(number(-1)).timeIntervalSince1970();
    // Midnight may pass between the two readings of the clock.
    EXPECT_TRUE(shown - midnight == 4294967295.0 || shown - midnight == 4294967295.0 + 86400);
    EXPECT_EQ(transformer.reverseTransformedValue(Value::dateWithTimeIntervalSince1970(0)),
              Value::numberWithLong(0));
  }
  ScopedEnv zone("TZ", "Asia/Kolkata");
  EXPECT_EQ(transformer.reverseTransformedValue(Value::dateWithTimeIntervalSince1970(0)),
            Value::numberWithLong(19800));
}

}  // namespace
}  // namespace zel::test
