// SPDX-License-Identifier: MIT
#include "values/current_time_zone.h"

#include <cstdlib>

namespace zel {

std::string currentTimeZoneKey() {
  const char* tz = std::getenv("TZ");
  // An empty key cannot collide with a set TZ, since "=" marks that one.
  return tz ? std::string("=") + tz : std::string();
}

std::unique_ptr<icu::TimeZone> createCurrentTimeZone() {
  return std::unique_ptr<icu::TimeZone>(icu::TimeZone::detectHostTimeZone());
}

}  // namespace zel
