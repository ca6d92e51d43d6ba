// SPDX-License-Identifier: MIT
#include "transformers/time_transformers.h"

#include <fmt/format.h>

#include "transformers/numeric.h"
#include "transformers/time_text.h"
#include "transformers/value_checks.h"

namespace zel {
namespace {

constexpr float kTicksPerSecond = 100;
constexpr float kSecondsPerMinute = 60;
constexpr int32_t kTicksPerMinute = 6000;

Value text(std::string string) {
  return Value::stringWithUTF8String(std::move(string));
}

Value wrappedInt(uint64_t n) {
  return Value::numberWithInt(low32(n));
}

// The tick text transformers read nil as 0; any other value must be readable as a number.
void requireNilOrFloatValue(const Value& value) {
  if (!value.isNil())
    requireFloatValue(value);
}

}  // namespace

Value TicksStringSecondsTransformer::transformedValue(const Value& value) const {
  requireNilOrFloatValue(value);
  const float seconds = value.floatValue() / kTicksPerSecond;
  return text(fmt::format("{:.2f}", static_cast<double>(seconds)));  // "%1.2f"
}

Value TicksStringSecondsTransformer::reverseTransformedValue(const Value& value) const {
  if (value.isNil())
    return {};
  requireFloatValue(value);
  // Rounded, not truncated: the single-precision product of what the user typed lands just below
  // the whole tick they meant as often as above it (0.53 × 100 is 52.999996).
  const float ticks = value.floatValue() * kTicksPerSecond;
  return wrappedInt(static_cast<uint64_t>(roundToLong(ticks)));
}

Value TicksStringMinutesTransformer::transformedValue(const Value& value) const {
  if (!value.isNil())
    requireIntValue(value);
  const auto ticks = static_cast<uint64_t>(static_cast<int64_t>(value.intValue()));
  return text(fmt::format("{}", ticks / kTicksPerMinute));
}

Value TicksStringMinutesTransformer::reverseTransformedValue(const Value& value) const {
  requireNilOrFloatValue(value);
  const float ticks = value.floatValue() * kTicksPerSecond * kSecondsPerMinute;
  return wrappedInt(static_cast<uint64_t>(roundToLong(ticks)));
}

Value TicksMinutesTransformer::transformedValue(const Value& value) const {
  if (value.isNil())
    return {};
  requireIntValue(value);
  return Value::numberWithInt(value.intValue() / kTicksPerMinute);
}

Value TicksMinutesTransformer::reverseTransformedValue(const Value& value) const {
  if (value.isNil())
    return {};
  requireIntValue(value);
  return wrappedInt(static_cast<uint32_t>(value.intValue()) * uint32_t{kTicksPerMinute});
}

Value TicksTimeTransformer::transformedValue(const Value& value) const {
  if (value.isNil())
    return {};
  requireIntValue(value);
  const int32_t seconds = value.intValue() / static_cast<int32_t>(kTicksPerSecond);
  return text(SecondsToTimeString(static_cast<uint32_t>(seconds)));
}

Value TicksTimeTransformer::reverseTransformedValue(const Value& value) const {
  if (value.isNil())
    return {};
  requireComponentsSeparatedByString(value);
  return wrappedInt(TimeStringToSeconds(value.string()) * uint32_t{100});
}

Value SecondsTimeTransformer::transformedValue(const Value& value) const {
  if (value.isNil())
    return {};
  requireIntValue(value);
  return text(SecondsToTimeString(static_cast<uint32_t>(value.intValue())));
}

Value SecondsTimeTransformer::reverseTransformedValue(const Value& value) const {
  if (value.isNil())
    return {};
  requireComponentsSeparatedByString(value);
  return wrappedInt(TimeStringToSeconds(value.string()));
}

Value HHMMToSecondsTransformer::transformedValue(const Value& value) const {
  if (value.isNil())
    return {};
  requireIntValue(value);
  const auto seconds = static_cast<uint32_t>(value.intValue());
  return text(fmt::format("{:02}:{:02}", seconds / 3600, seconds % 3600 / 60));
}

Value HHMMToSecondsTransformer::reverseTransformedValue(const Value& value) const {
  if (value.isNil())
    return {};
  requireComponentsSeparatedByString(value);
  const auto parts = componentsSeparatedByString(value.string(), ":");
  auto field = [&](size_t i) { return static_cast<uint32_t>(intValueOfText(parts[i])); };
  if (parts.size() >= 2)
    return wrappedInt(field(0) * 3600 + field(1) * 60);
  return wrappedInt(field(0) * 60);  // a bare number means minutes
}

}  // namespace zel
