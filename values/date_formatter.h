// SPDX-License-Identifier: MIT
// Date texts (the platform's NSDateFormatter and ISO 8601 date formatter). Dates are seconds
// since 1970-01-01 00:00:00 UTC.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <unicode/uversion.h>

U_NAMESPACE_BEGIN
class DateFormat;
U_NAMESPACE_END

namespace zel {

// Medium date and medium time in the words and order of the current locale (as it is when the
// formatter is made), always shown in one fixed time zone.
//
// Thread: not safe for concurrent use of one formatter; make one per thread or guard it.
class DateFormatter {
 public:
  // `timeZoneID` is an ICU zone name or abbreviation, such as "GMT".
  explicit DateFormatter(const std::string& timeZoneID);
  ~DateFormatter();
  DateFormatter(const DateFormatter&) = delete;
  DateFormatter& operator=(const DateFormatter&) = delete;

  std::string stringFromDate(double date) const;

 private:
  std::unique_ptr<icu::DateFormat> mFormat;
};

// "2026-12-06T01:01:01+00:00": the date in the current time zone (TZ honoured) with its offset,
// whole seconds.
std::string iso8601StringFromDate(double date);

// Reads "YYYY-MM-DDThh:mm:ss", optionally with a fraction of a second and with "Z" or an offset
// "+hh:mm"; without an offset the time is local. Nothing else is accepted: nullopt.
std::optional<double> dateFromISO8601String(std::string_view text);

}  // namespace zel
