// SPDX-License-Identifier: MIT
#include "transformers/display_text.h"

#include <fmt/printf.h>

#include "values/date_formatter.h"

namespace zel {

std::string SecondsToDateString(uint32_t secondsSince1970) {
  static const DateFormatter formatter("GMT");
  return formatter.stringFromDate(static_cast<double>(secondsSince1970));
}

std::string TimeToTimecodeString(TimeRecord time) {
  if (time.timeScale == 0)
    return "";
  const uint64_t frames =
      time.timeValue * 30 / static_cast<uint64_t>(static_cast<int64_t>(time.timeScale));
  return fmt::sprintf("%02lu:%02lu:%02lu.%02lu", frames / 108000, frames % 108000 / 1800,
                      frames % 1800 / 30, frames % 30);
}

std::string ByteSizeToString(double size) {
  constexpr double kPerUnit = 0.0009765625;  // exactly 1/1024
  if (size < 1024)
    return fmt::sprintf("%1.0f bytes", size);
  const double kilobytes = size * kPerUnit;
  if (kilobytes < 1024)
    return fmt::sprintf("%1.1f KB", kilobytes);
  const double megabytes = kilobytes * kPerUnit;
  if (megabytes < 1024)
    return fmt::sprintf("%1.1f MB", megabytes);
  return fmt::sprintf("%1.1f GB", megabytes * kPerUnit);
}

}  // namespace zel
