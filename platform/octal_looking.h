// SPDX-License-Identifier: MIT
// Octal-looking numbers: decimal numerals whose digits are read as octal digits, the form in
// which POSIX permissions travel (770 stands for 0770, which is 504). The one conversion for the
// daemon, the command line and the value transformers; it never logs, so each caller says in
// its own words what it makes of a number that is not octal-looking.
#pragma once

#include <cstdint>
#include <optional>

namespace zel {

// The value `octalLooking` stands for (770 gives 504), or nothing when it has an 8 or a 9.
constexpr std::optional<uint32_t> valueOfOctalLooking(uint32_t octalLooking) {
  uint32_t value = 0;
  for (uint32_t rest = octalLooking, weight = 1; rest != 0; rest /= 10, weight *= 8) {
    if (rest % 10 > 7)
      return std::nullopt;
    value += (rest % 10) * weight;
  }
  return value;
}

// `n` written in octal and read as a decimal numeral (504 gives 770); wraps modulo 2^32 where
// it would not fit.
constexpr uint32_t octalLookingOf(uint32_t n) {
  uint32_t result = 0;
  for (uint32_t place = 1; n != 0; n /= 8, place *= 10)
    result += (n % 8) * place;
  return result;
}

}  // namespace zel
