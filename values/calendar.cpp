// SPDX-License-Identifier: MIT
#include "values/calendar.h"

#include <chrono>
#include <stdexcept>

#include <unicode/calendar.h>
#include <unicode/locid.h>

#include "values/current_time_zone.h"

namespace zel {
namespace {

constexpr double kMillisecondsPerSecond = 1000;

struct Field {
  unsigned unit;
  UCalendarDateFields field;
  int32_t DateComponents::*component;
  int32_t offset;  // ICU's value + offset = the platform's value
};

constexpr Field kFields[] = {
    {kCalendarUnitEra, UCAL_ERA, &DateComponents::era, 0},
    {kCalendarUnitYear, UCAL_YEAR, &DateComponents::year, 0},
    {kCalendarUnitMonth, UCAL_MONTH, &DateComponents::month, 1},
    {kCalendarUnitDay, UCAL_DATE, &DateComponents::day, 0},
    {kCalendarUnitHour, UCAL_HOUR_OF_DAY, &DateComponents::hour, 0},
    {kCalendarUnitMinute, UCAL_MINUTE, &DateComponents::minute, 0},
    {kCalendarUnitSecond, UCAL_SECOND, &DateComponents::second, 0},
};

}  // namespace

double currentDate() {
  using namespace std::chrono;
  return duration<double>(system_clock::now().time_since_epoch()).count();
}

Calendar& Calendar::currentCalendar() {
  // Making an ICU calendar costs far more than a conversion, so each thread keeps one and only
  // replaces it when TZ changes.
  thread_local Calendar calendar;
  calendar.followTimeZone();
  return calendar;
}

Calendar::~Calendar() = default;

void Calendar::followTimeZone() {
  std::string key = currentTimeZoneKey();
  if (mCalendar && key == mZoneKey)
    return;
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::Calendar> calendar(
      icu::Calendar::createInstance(createCurrentTimeZone().release(), status));
  if (U_FAILURE(status) || !calendar)
    throw std::runtime_error(std::string("cannot make a calendar: ") + u_errorName(status));
  mCalendar = std::move(calendar);
  mZoneKey = std::move(key);
}

DateComponents Calendar::components(unsigned unitFlags, double date) {
  UErrorCode status = U_ZERO_ERROR;
  mCalendar->setTime(date * kMillisecondsPerSecond, status);
  DateComponents result;
  for (const Field& f : kFields)
    if (unitFlags & f.unit)
      result.*f.component = mCalendar->get(f.field, status) + f.offset;
  return result;
}

double Calendar::dateFromComponents(const DateComponents& components) {
  mCalendar->clear();
  for (const Field& f : kFields)
    if (components.*f.component != DateComponents::kUndefined)
      mCalendar->set(f.field, components.*f.component - f.offset);
  UErrorCode status = U_ZERO_ERROR;
  return mCalendar->getTime(status) / kMillisecondsPerSecond;
}

}  // namespace zel
