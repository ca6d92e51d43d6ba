// SPDX-License-Identifier: MIT
// Calendar: the user's current calendar (the platform's NSCalendar currentCalendar), taking a date
// apart into components and making a date from components, in the current time zone and locale.
//
// Dates are seconds since 1970-01-01 00:00:00 UTC. Components follow the platform's numbering:
// month 1 to 12, hour 0 to 23, era 1 for AD in the Gregorian calendar. A component outside its
// range on input carries into the larger ones (an hour of 25 is 01:00 the next day). Where a local
// time does not exist or exists twice around a daylight-saving change, the underlying calendar
// decides.
//
// Thread: each thread has its own current calendar; the reference from currentCalendar() must
// stay on the thread that took it. The time zone is the one TZ names at the time of the call
// (the system's zone when TZ is unset), so a changed TZ applies from the next call on.
#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <string>

#include <unicode/uversion.h>

U_NAMESPACE_BEGIN
class Calendar;
U_NAMESPACE_END

namespace zel {

// The platform's unit flags.
enum CalendarUnit : unsigned {
  kCalendarUnitEra = 2,
  kCalendarUnitYear = 4,
  kCalendarUnitMonth = 8,
  kCalendarUnitDay = 16,
  kCalendarUnitHour = 32,
  kCalendarUnitMinute = 64,
  kCalendarUnitSecond = 128,
};

struct DateComponents {
  // A component that was not asked for, or is not to be set.
  static constexpr int32_t kUndefined = std::numeric_limits<int32_t>::max();
  int32_t era = kUndefined;
  int32_t year = kUndefined;
  int32_t month = kUndefined;
  int32_t day = kUndefined;
  int32_t hour = kUndefined;
  int32_t minute = kUndefined;
  int32_t second = kUndefined;
};

// Now, in seconds since 1970.
double currentDate();

class Calendar {
 public:
  static Calendar& currentCalendar();
  ~Calendar();
  Calendar(const Calendar&) = delete;
  Calendar& operator=(const Calendar&) = delete;

  // The components named in `unitFlags` (CalendarUnit values or-ed); the others stay undefined.
  DateComponents components(unsigned unitFlags, double date);
  // The date of the defined components; undefined ones take the calendar's defaults (the start of
  // the era, year, month or day). Fractions of a second are zero.
  double dateFromComponents(const DateComponents& components);

 private:
  Calendar() = default;
  void followTimeZone();

  std::unique_ptr<icu::Calendar> mCalendar;
  std::string mZoneKey;  // the TZ setting mCalendar was made for
};

}  // namespace zel
