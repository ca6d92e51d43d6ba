// SPDX-License-Identifier: MIT
// Display texts of dates, timecode and byte sizes.
#pragma once

#include <cstdint>
#include <string>

namespace zel {

// A time as a count of units and a number of units per second (the scale).
struct TimeRecord {
  uint64_t timeValue;
  int32_t timeScale;
};

// The medium date and medium time of the current locale, always shown in GMT. The formatter is
// made on the first call (with the locale of that moment) and kept for the life of the process;
// the function must not run on several threads at once.
std::string SecondsToDateString(uint32_t secondsSince1970);

// "hh:mm:ss.ff" at 30 frames per second (hours not limited to two digits), or "" when the scale
// is 0. frames = count × 30 ÷ scale in unsigned 64-bit arithmetic, the scale widened with its
// sign; a negative scale or a count above 2^64 ÷ 30 gives a number but no meaningful time.
std::string TimeToTimecodeString(TimeRecord time);

// "N bytes" below 1024, else "%1.1f" KB, MB or GB (no larger unit). Each step divides by 1024 and
// tests the unrounded quotient, so 1048575 bytes read "1024.0 KB". NaN ends in the GB branch.
std::string ByteSizeToString(double size);

}  // namespace zel
