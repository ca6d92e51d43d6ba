// SPDX-License-Identifier: MIT
#include "transformers/text_fields.h"

namespace zel {
namespace {

std::string_view trimSpaces(std::string_view field) {
  const size_t first = field.find_first_not_of(' ');
  if (first == std::string_view::npos)
    return {};
  return field.substr(first, field.find_last_not_of(' ') - first + 1);
}

}  // namespace

std::optional<uint32_t> decimalField(std::string_view field, uint32_t maximum) {
  field = trimSpaces(field);
  if (field.empty())
    return std::nullopt;
  uint64_t value = 0;
  for (char c : field) {
    if (c < '0' || c > '9')
      return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(c - '0');
    if (value > maximum)
      return std::nullopt;
  }
  return static_cast<uint32_t>(value);
}

std::optional<std::string_view> hexByteField(std::string_view field) {
  field = trimSpaces(field);
  if (field.empty() || field.size() > 2)
    return std::nullopt;
  for (char c : field)
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f')))
      return std::nullopt;
  return field;
}

}  // namespace zel
