// SPDX-License-Identifier: MIT
// Four-character type codes and their text. A code is an unsigned 32-bit number whose four bytes,
// most significant first, are four 8-bit characters: "ABCD" is 0x41424344.
//
// Every code-to-text conversion (FourCCToCString, FourCCToString and the type transformer) writes
// the one process-wide code text buffer of 8 bytes: the code's four bytes and four zeros. The
// buffer is not guarded: these conversions must not run on several threads at once.
//
// Bytes above 0x7F are read as Latin-1 characters (and such characters written back as those
// bytes), so every code survives the round trip through its text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zel {

// The code text buffer, holding `code`'s text; it shows whichever code was converted last.
const char* FourCCToCString(uint32_t code);

// The code's text, ending early at a zero byte: 0x41004344 is "A", 0 is "".
std::string FourCCToString(uint32_t code);

// The code of a text of exactly four characters; 0 for any other length and for a text with a
// character that is not Latin-1.
uint32_t StringToFourCC(std::string_view text);

}  // namespace zel
