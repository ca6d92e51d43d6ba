// SPDX-License-Identifier: MIT
// The current time zone for ICU, as TZ names it now (ICU's own default is fixed at first use and
// would not follow a changed TZ). Internal to the platform library.
#pragma once

#include <memory>
#include <string>

#include <unicode/timezone.h>

namespace zel {

// Identifies the current TZ setting cheaply, so that a cached zone can tell it is still current.
std::string currentTimeZoneKey();

std::unique_ptr<icu::TimeZone> createCurrentTimeZone();

}  // namespace zel
