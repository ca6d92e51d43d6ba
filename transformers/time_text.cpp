// SPDX-License-Identifier: MIT
#include "transformers/time_text.h"

#include <fmt/format.h>

#include "values/value.h"

namespace zel {

std::string SecondsToTimeString(uint32_t seconds) {
  std::string text;
  text.reserve(8);
  uint32_t rest = seconds;
  if (seconds >= 3600) {
    fmt::format_to(std::back_inserter(text), "{:02}:", seconds / 3600);
    rest = seconds % 3600;
  }
  if (rest >= 60)
    fmt::format_to(std::back_inserter(text), "{:02}:{:02}", rest / 60, rest % 60);
  else if (seconds >= 3600)
    fmt::format_to(std::back_inserter(text), "00:{:02}", rest);
  else
    fmt::format_to(std::back_inserter(text), "{}", seconds);
  return text;
}

uint32_t TimeStringToSeconds(std::string_view text) {
  const auto parts = componentsSeparatedByString(text, ":");
  auto field = [&](size_t i) { return static_cast<uint32_t>(intValueOfText(parts[i])); };
  if (parts.size() >= 3)
    return field(0) * 3600 + field(1) * 60 + field(2);
  if (parts.size() == 2)
    return field(0) * 60 + field(1);
  return field(0);
}

}  // namespace zel
