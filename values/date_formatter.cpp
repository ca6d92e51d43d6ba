// SPDX-License-Identifier: MIT
#include "values/date_formatter.h"

#include <stdexcept>

#include <unicode/datefmt.h>
#include <unicode/smpdtfmt.h>

#include "values/current_time_zone.h"

namespace zel {
namespace {

constexpr double kMillisecondsPerSecond = 1000;

std::string toUTF8(const icu::UnicodeString& text) {
  std::string result;
  text.toUTF8String(result);
  return result;
}

// ISO 8601 texts are the same in every locale and calendar: a fixed locale keeps them Gregorian.
std::unique_ptr<icu::SimpleDateFormat> isoFormat(const char* pattern) {
  UErrorCode status = U_ZERO_ERROR;
  auto format = std::make_unique<icu::SimpleDateFormat>(icu::UnicodeString(pattern),
                                                        icu::Locale("en_US_POSIX"), status);
  if (U_FAILURE(status))
    throw std::runtime_error(std::string("cannot make a date format: ") + u_errorName(status));
  format->adoptTimeZone(createCurrentTimeZone().release());
  format->setLenient(false);
  return format;
}

}  // namespace

DateFormatter::DateFormatter(const std::string& timeZoneID)
    : mFormat(icu::DateFormat::createDateTimeInstance(icu::DateFormat::kMedium,
                                                      icu::DateFormat::kMedium)) {
  if (!mFormat)
    throw std::runtime_error("cannot make a medium date and time format");
  mFormat->adoptTimeZone(icu::TimeZone::createTimeZone(icu::UnicodeString(timeZoneID.c_str())));
}

DateFormatter::~DateFormatter() = default;

std::string DateFormatter::stringFromDate(double date) const {
  icu::UnicodeString text;
  mFormat->format(date * kMillisecondsPerSecond, text);
  return toUTF8(text);
}

std::string iso8601StringFromDate(double date) {
  icu::UnicodeString text;
  isoFormat("yyyy-MM-dd'T'HH:mm:ssxxx")->format(date * kMillisecondsPerSecond, text);
  return toUTF8(text);
}

std::optional<double> dateFromISO8601String(std::string_view text) {
  const icu::UnicodeString input = icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
  for (const char* pattern : {"yyyy-MM-dd'T'HH:mm:ssXXX", "yyyy-MM-dd'T'HH:mm:ss.SSSXXX",
                              "yyyy-MM-dd'T'HH:mm:ss", "yyyy-MM-dd'T'HH:mm:ss.SSS"}) {
    icu::ParsePosition position(0);
    const UDate date = isoFormat(pattern)->parse(input, position);
    if (position.getErrorIndex() < 0 && position.getIndex() == input.length())
      return date / kMillisecondsPerSecond;
  }
  return std::nullopt;
}

}  // namespace zel
