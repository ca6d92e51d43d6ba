// SPDX-License-Identifier: MIT
// The address and type transformers: device identifiers stored as 32-bit numbers, shown as text.
// None throws; forward conversions read the value's intValue (nil and dates read as 0), reverse
// conversions give numbers made with numberWithInt.
//
// InsteonAddr  0x1A2B3C <-> "1A.2B.3C" (upper-case hex, high byte first; the high group is not
//              masked, so 0x1234567 shows "123.45.67" and -1 "FFFFFFFFFFFF.FF.FF"). The reverse
//              takes exactly three parts of one or two hex digits (either case), else nil.
// KNXAddr      0x1203 <-> "1/2/3" (4/4/8 bits; bits above 15 ignored). The reverse takes exactly
//              three decimal fields within 0-15, 0-15 and 0-255, else the number 0.
// IPAddr       0xC0A80101 <-> "192.168.1.1". The reverse takes what StringToIPAddr reads; an
//              unreadable text, and "0.0.0.0", give nil.
// Type         0x54454D50 <-> "TEMP" through the code text buffer (transformers/code_text.h); the
//              reverse of anything but four characters gives nil.
// Spaces around an address field are accepted. A reverse handed a value that is not a text
// gives nil (0 for KNXAddr).
//
// Type's forward conversion writes the shared code text buffer and must not run at the same time
// as another code conversion; the others keep no state and any thread may call them.
#pragma once

#include <cstdint>
#include <string_view>

#include "values/value_transformer.h"

namespace zel {

class InsteonAddrTransformer final : public ValueTransformerOf<ValueClass::kString, true> {
 public:
  Value transformedValue(const Value& value) const override;
  Value reverseTransformedValue(const Value& value) const override;

  // The digit value of a hex character, unchecked: c − 55 above '@', else c − 48, modulo 2^32
  // ('G' gives 16).
  uint32_t fromHexChar(char16_t c) const;
  // The value of the first two characters of `text` as hex digits (fromHexChar), the rest
  // ignored; "" gives 0. Unchecked.
  uint32_t fromHexStr(std::string_view text) const;
};

class KNXAddrTransformer final : public ValueTransformerOf<ValueClass::kString, true> {
 public:
  Value transformedValue(const Value& value) const override;
  Value reverseTransformedValue(const Value& value) const override;
};

class IPAddrTransformer final : public ValueTransformerOf<ValueClass::kString, true> {
 public:
  Value transformedValue(const Value& value) const override;
  Value reverseTransformedValue(const Value& value) const override;
};

class TypeTransformer final : public ValueTransformerOf<ValueClass::kString, true> {
 public:
  Value transformedValue(const Value& value) const override;
  Value reverseTransformedValue(const Value& value) const override;
};

}  // namespace zel
