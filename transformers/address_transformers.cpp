// SPDX-License-Identifier: MIT
#include "transformers/address_transformers.h"

#include <fmt/format.h>

#include "transformers/code_text.h"
#include "transformers/ip_addr.h"
#include "transformers/text_fields.h"

namespace zel {
namespace {

bool isText(const Value& value) {
  return value.respondsToSelector(Selector::kComponentsSeparatedByString);
}

Value nonZeroNumberOrNil(uint32_t n) {
  return n == 0 ? Value() : Value::numberWithInt(static_cast<int32_t>(n));
}

}  // namespace

Value InsteonAddrTransformer::transformedValue(const Value& value) const {
  const int32_t n = value.intValue();
  const uint64_t high = static_cast<uint64_t>(static_cast<int64_t>(n)) >> 16;
  return Value::stringWithUTF8String(
      fmt::format("{:02X}.{:02X}.{:02X}", high, (n >> 8) & 0xFF, n & 0xFF));
}

Value InsteonAddrTransformer::reverseTransformedValue(const Value& value) const {
  if (!isText(value))
    return {};
  const auto parts = componentsSeparatedByString(value.string(), ".");
  if (parts.size() != 3)
    return {};
  uint32_t address = 0;
  for (std::string_view part : parts) {
    const auto digits = hexByteField(part);
    if (!digits)
      return {};
    std::string upper(*digits);
    for (char& c : upper)
      if (c >= 'a' && c <= 'f')
        c = static_cast<char>(c - 'a' + 'A');
    address = address << 8 | fromHexStr(upper);
  }
  return Value::numberWithInt(static_cast<int32_t>(address));
}

uint32_t InsteonAddrTransformer::fromHexChar(char16_t c) const {
  return c > u'@' ? uint32_t{c} - 55 : uint32_t{c} - 48;
}

uint32_t InsteonAddrTransformer::fromHexStr(std::string_view text) const {
  if (text.empty())
    return 0;
  const uint32_t first = fromHexChar(static_cast<unsigned char>(text[0]));
  if (text.size() == 1)
    return first;
  return first * 16 + fromHexChar(static_cast<unsigned char>(text[1]));
}

Value KNXAddrTransformer::transformedValue(const Value& value) const {
  const int32_t n = value.intValue();
  return Value::stringWithUTF8String(
      fmt::format("{}/{}/{}", (n >> 12) & 0xF, (n >> 8) & 0xF, n & 0xFF));
}

Value KNXAddrTransformer::reverseTransformedValue(const Value& value) const {
  const Value unreadable = Value::numberWithInt(0);
  if (!isText(value))
    return unreadable;
  const auto parts = componentsSeparatedByString(value.string(), "/");
  if (parts.size() != 3)
    return unreadable;
  const auto main = decimalField(parts[0], 15);
  const auto middle = decimalField(parts[1], 15);
  const auto group = decimalField(parts[2], 255);
  if (!main || !middle || !group)
    return unreadable;
  return Value::numberWithInt(static_cast<int32_t>(*main << 12 | *middle << 8 | *group));
}

Value IPAddrTransformer::transformedValue(const Value& value) const {
  return Value::stringWithUTF8String(IPAddrToString(static_cast<uint32_t>(value.intValue())));
}

Value IPAddrTransformer::reverseTransformedValue(const Value& value) const {
  if (!isText(value))
    return {};
  return nonZeroNumberOrNil(StringToIPAddr(value.string()));
}

Value TypeTransformer::transformedValue(const Value& value) const {
  return Value::stringWithUTF8String(FourCCToString(static_cast<uint32_t>(value.intValue())));
}

Value TypeTransformer::reverseTransformedValue(const Value& value) const {
  if (!isText(value))
    return {};
  return nonZeroNumberOrNil(StringToFourCC(value.string()));
}

}  // namespace zel
