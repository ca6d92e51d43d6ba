// SPDX-License-Identifier: MIT
#include "transformers/date_to_day_seconds_transformer.h"

#include "transformers/value_checks.h"
#include "values/calendar.h"

namespace zel {

Value DateToDaySecondsTransformer::transformedValue(const Value& value) const {
  if (value.isNil())
    return {};
  const double now = currentDate();
  requireIntValue(value);
  Calendar& calendar = Calendar::currentCalendar();
  DateComponents today = calendar.components(
      kCalendarUnitEra | kCalendarUnitYear | kCalendarUnitMonth | kCalendarUnitDay |
          kCalendarUnitHour | kCalendarUnitMinute | kCalendarUnitSecond,
      now);
  const auto seconds = static_cast<uint32_t>(value.intValue());
  today.hour = static_cast<int32_t>(seconds / 3600);
  today.minute = static_cast<int32_t>(seconds % 3600 / 60);
  today.second = static_cast<int32_t>(seconds % 60);
  return Value::dateWithTimeIntervalSince1970(calendar.dateFromComponents(today));
}

Value DateToDaySecondsTransformer::reverseTransformedValue(const Value& value) const {
  if (value.isNil())
    return {};
  requireDate(value);
  const DateComponents time = Calendar::currentCalendar().components(
      kCalendarUnitHour | kCalendarUnitMinute | kCalendarUnitSecond, value.timeIntervalSince1970());
  return Value::numberWithLong(int64_t{time.hour} * 3600 + int64_t{time.minute} * 60 + time.second);
}

}  // namespace zel
