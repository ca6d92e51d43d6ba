// SPDX-License-Identifier: MIT
// Strict readers for the fields of address texts, where a malformed field must never turn into
// another valid address. Spaces around a field are allowed. Internal to the library.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace zel {

// A field of decimal digits whose value is at most `maximum`.
std::optional<uint32_t> decimalField(std::string_view field, uint32_t maximum);

// The digits of a field of one or two hexadecimal digits (either case), without the spaces.
std::optional<std::string_view> hexByteField(std::string_view field);

}  // namespace zel
