// SPDX-License-Identifier: MIT
#include "transformers/ip_addr.h"

#include <fmt/format.h>

#include "transformers/text_fields.h"
#include "values/value.h"

namespace zel {

std::string IPAddrToString(uint32_t address) {
  return fmt::format("{}.{}.{}.{}", address >> 24, (address >> 16) & 0xFF, (address >> 8) & 0xFF,
                     address & 0xFF);
}

uint32_t StringToIPAddr(std::string_view text) {
  const auto parts = componentsSeparatedByString(text, ".");
  if (parts.size() != 4)
    return 0;
  uint32_t address = 0;
  for (std::string_view part : parts) {
    const auto octet = decimalField(part, 255);
    if (!octet)
      return 0;
    address = address << 8 | *octet;
  }
  return address;
}

}  // namespace zel
