// SPDX-License-Identifier: MIT
#include "platform/login_defs.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <optional>

namespace zel {
namespace {

// As the shadow tools' getulong: strtoul in base 0, the whole value consumed.
std::optional<uid_t> uidValue(const std::string& value) {
  errno = 0;
  char* end = nullptr;
  unsigned long number = std::strtoul(value.c_str(), &end, 0);
  if (value.empty() || *end != '\0' || errno == ERANGE ||
      number > std::numeric_limits<uid_t>::max())
    return std::nullopt;
  return static_cast<uid_t>(number);
}

}  // namespace

RegularUidRange readRegularUidRange(const std::string& path) {
  RegularUidRange range;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    size_t last = line.find_last_not_of(" \t\r\n\v\f");
    line.resize(last == std::string::npos ? 0 : last + 1);
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#')
      continue;
    size_t nameEnd = line.find_first_of(" \t", start);
    std::string name = line.substr(start, nameEnd - start);
    std::string value;
    if (nameEnd != std::string::npos) {
      size_t valueStart = line.find_first_not_of(" \t\"", nameEnd);
      if (valueStart != std::string::npos)
        value = line.substr(valueStart, line.find('"', valueStart) - valueStart);
    }
    uid_t* field = name == "UID_MIN" ? &range.min : name == "UID_MAX" ? &range.max : nullptr;
    if (field == nullptr)
      continue;
    // A value the tools cannot parse makes them use the default.
    *field =
        uidValue(value).value_or(name == "UID_MIN" ? RegularUidRange{}.min : RegularUidRange{}.max);
  }
  return range;
}

}  // namespace zel
