// SPDX-License-Identifier: MIT
#include "transformers/octal.h"

#include <fmt/printf.h>

#include "platform/log.h"
#include "platform/octal_looking.h"

namespace zel {

uint32_t DecimalToOctal(uint32_t n) {
  return octalLookingOf(n);
}

uint32_t OctalToDecimal(uint32_t n) {
  const std::optional<uint32_t> value = valueOfOctalLooking(n);
  if (!value)
    NSLog(fmt::sprintf("OctalToDecimal converting non Octal number: %lu", n));
  return value.value_or(0);
}

}  // namespace zel
