// SPDX-License-Identifier: MIT
#include "transformers/code_text.h"

namespace zel {
namespace {

char gCodeText[8];

void appendLatin1(std::string& text, unsigned char byte) {
  if (byte < 0x80) {
    text.push_back(static_cast<char>(byte));
  } else {
    text.push_back(static_cast<char>(0xC0 | (byte >> 6)));
    text.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
  }
}

}  // namespace

const char* FourCCToCString(uint32_t code) {
  for (int i = 0; i < 4; ++i)
    gCodeText[i] = static_cast<char>(code >> (24 - 8 * i));
  gCodeText[4] = gCodeText[5] = gCodeText[6] = gCodeText[7] = 0;
  return gCodeText;
}

std::string FourCCToString(uint32_t code) {
  std::string text;
  for (const char* c = FourCCToCString(code); *c; ++c)
    appendLatin1(text, static_cast<unsigned char>(*c));
  return text;
}

uint32_t StringToFourCC(std::string_view text) {
  uint32_t code = 0;
  int characters = 0;
  for (size_t i = 0; i < text.size(); ++characters) {
    const auto lead = static_cast<unsigned char>(text[i]);
    unsigned char byte;
    if (lead < 0x80) {
      byte = lead;
      i += 1;
    } else if ((lead == 0xC2 || lead == 0xC3) && i + 1 < text.size() &&
               (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80) {
      byte = static_cast<unsigned char>(((lead & 0x03) << 6) | (text[i + 1] & 0x3F));
      i += 2;
    } else {
      return 0;
    }
    if (characters == 4)
      return 0;
    code = code << 8 | byte;
  }
  return characters == 4 ? code : 0;
}

}  // namespace zel
