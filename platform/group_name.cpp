// SPDX-License-Identifier: MIT
#include "platform/group_name.h"

#include <fmt/format.h>

namespace zel {
namespace {

constexpr size_t kMaximumLength = 32;
constexpr std::string_view kPrefix = "zel-";
constexpr int kMaximumTries = 1000;

bool isAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isAsciiDigit(char c) {
  return c >= '0' && c <= '9';
}

std::string derivedName(std::string_view fullName) {
  std::string name;
  for (char c : fullName) {
    if (isAsciiLetter(c) || isAsciiDigit(c) || c == '_') {
      name += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    } else if (!name.empty() && name.back() != '-') {
      name += '-';
    }
  }
  while (!name.empty() && name.back() == '-')
    name.pop_back();
  return name.empty() ? "group" : name;
}

}  // namespace

bool isValidGroupName(std::string_view name) {
  if (name.empty() || name.size() > kMaximumLength)
    return false;
  if (!isAsciiLetter(name.front()) && name.front() != '_')
    return false;
  for (char c : name) {
    if (!isAsciiLetter(c) && !isAsciiDigit(c) && c != '_' && c != '.' && c != '-')
      return false;
  }
  return true;
}

std::optional<std::string> helperGroupName(std::string_view fullName,
                                           const std::function<bool(std::string_view)>& taken) {
  std::string base = isValidGroupName(fullName) ? std::string(fullName) : derivedName(fullName);
  if (!base.starts_with(kPrefix))
    base = std::string(kPrefix) + base;
  std::string name = base.substr(0, kMaximumLength);
  while (name.back() == '-')
    name.pop_back();
  for (int suffix = 2; taken(name); ++suffix) {
    // Every name a lookup cannot answer counts as taken, so the search must end somewhere.
    if (suffix > kMaximumTries)
      return std::nullopt;
    std::string tail = fmt::format("-{}", suffix);
    std::string stem = base.substr(0, kMaximumLength - tail.size());
    while (stem.size() > kPrefix.size() && stem.back() == '-')
      stem.pop_back();
    name = stem + tail;
  }
  return name;
}

}  // namespace zel
