// SPDX-License-Identifier: MIT
// Clock-style texts of second counts: hours, minutes and seconds separated by ":".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zel {

// Leading fields that are zero are left out and a count below a minute is bare: 3723 gives
// "01:02:03", 125 gives "02:05", 45 gives "45", 3600 gives "01:00:00". Hours are not limited to
// two digits and never roll over into days.
std::string SecondsToTimeString(uint32_t seconds);

// Reads "h:m:s" (further fields ignored), "m:s" or "s"; each field is read with intValue (0
// without digits). The sum wraps modulo 2^32.
uint32_t TimeStringToSeconds(std::string_view text);

}  // namespace zel
