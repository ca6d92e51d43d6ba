#include "platform/group_name.h"

#include <fmt/format.h>

namespace zel {
namespace {

constexpr size_t kMaximumLength = 32;

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
  if (name.empty())
    return "group";
  if (isAsciiDigit(name.front()))
    name = "g" + name;
  if (name.size() > kMaximumLength)
    name.resize(kMaximumLength);
  while (name.back() == '-')
    name.pop_back();
  return name;
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

std::string posixNameForFullName(std::string_view fullName,
                                 const std::function<bool(std::string_view)>& taken) {
  std::string base = isValidGroupName(fullName) ? std::string(fullName) : derivedName(fullName);
  std::string name = base;
  for (int suffix = 2; taken(name); ++suffix) {
    std::string tail = fmt::format("-{}", suffix);
    std::string stem = base.substr(0, kMaximumLength - tail.size());
    while (stem.size() > 1 && stem.back() == '-')
      stem.pop_back();
    name = stem + tail;
  }
  return name;
}

}  // namespace zel
