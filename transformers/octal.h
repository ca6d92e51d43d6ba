// SPDX-License-Identifier: MIT
// Octal-looking decimal numbers: a number whose decimal digits are read as octal digits, the form
// in which POSIX permissions travel (770 stands for 0770, which is 504).
#pragma once

#include <cstdint>

namespace zel {

// `n` written in octal and read as a decimal numeral (504 gives 770). The result wraps modulo
// 2^32 where it would not fit. Never logs.
uint32_t DecimalToOctal(uint32_t n);

// The value of an octal-looking number (770 gives 504). A number with a digit 8 or 9 gives 0 and
// logs "OctalToDecimal converting non Octal number: <n>" through NSLog.
uint32_t OctalToDecimal(uint32_t n);

}  // namespace zel
