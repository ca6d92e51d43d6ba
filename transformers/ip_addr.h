// SPDX-License-Identifier: MIT
// IPv4 addresses as unsigned 32-bit numbers, the first octet of the dotted text in the most
// significant byte (192.168.0.1 is 0xC0A80001).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zel {

// "a.b.c.d", each part 0 to 255.
std::string IPAddrToString(uint32_t address);

// The address of a dotted quad: exactly four parts, each decimal digits (spaces around them
// allowed) with a value 0 to 255. Any other text gives 0, as does "0.0.0.0".
uint32_t StringToIPAddr(std::string_view text);

}  // namespace zel
