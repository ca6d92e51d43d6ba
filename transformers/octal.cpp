// SPDX-License-Identifier: MIT
#include "transformers/octal.h"

#include <fmt/printf.h>

#include "platform/log.h"

namespace zel {

uint32_t DecimalToOctal(uint32_t n) {
  uint32_t result = 0;
  uint32_t place = 1;
  for (; n != 0; n /= 8, place *= 10)
    result += (n % 8) * place;
  return result;
}

uint32_t OctalToDecimal(uint32_t n) {
  const std::string digits = fmt::sprintf("%lu", n);
  if (digits.find_first_of("98") != std::string::npos) {
    NSLog(fmt::sprintf("OctalToDecimal converting non Octal number: %lu", n));
    return 0;
  }
  uint32_t result = 0;
  uint32_t place = 1;
  for (; n != 0; n /= 10, place *= 8)
    result += (n % 10) * place;
  return result;
}

}  // namespace zel
