// SPDX-License-Identifier: MIT
// The user id range of regular users, from a login.defs file read the way the shadow tools read
// it: "NAME value" lines, the last of a name winning; blanks and quotes around the value
// dropped; numbers in C notation (decimal, 0x hex, leading-0 octal). A missing file or a value
// that is not a whole number leaves the default (UID_MIN 1000, UID_MAX 60000).
#pragma once

#include <sys/types.h>

#include <string>

namespace zel {

struct RegularUidRange {
  uid_t min = 1000;
  uid_t max = 60000;

  bool contains(uid_t uid) const { return uid >= min && uid <= max; }
};

RegularUidRange readRegularUidRange(const std::string& path);

}  // namespace zel
