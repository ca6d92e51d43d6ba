// SPDX-License-Identifier: MIT
#include "transformers/measurement_transformers.h"

#include <fmt/format.h>

#include "transformers/transformers.h"
#include "transformers/value_checks.h"

namespace zel {
namespace {

constexpr float kHundred = 100;
constexpr double kFahrenheitPerCelsius = 1.8;
constexpr double kFahrenheitAtZeroCelsius = 32;
constexpr double kCubicFeetPerCubicMetre = 35.31466672148859;

bool celsiusNow() {
  const auto shared = Transformers::shared();
  return shared && shared->celsius();
}

bool metricNow() {
  const auto shared = Transformers::shared();
  return shared && shared->metric();
}

// The common frame of the float conversions: nil stays nil, the value must have a floatValue,
// and the result is a float number.
template <typename Convert>
Value convertFloat(const Value& value, Convert convert) {
  if (value.isNil())
    return {};
  requireFloatValue(value);
  return Value::numberWithFloat(convert(value.floatValue()));
}

float toFahrenheit(float celsius) {
  return static_cast<float>(celsius * kFahrenheitPerCelsius + kFahrenheitAtZeroCelsius);
}

Value temperatureText(float celsius) {
  // "%2.1f °C" and "%2.1f °F" of the single-precision degrees widened to double.
  if (celsiusNow())
    return Value::stringWithUTF8String(fmt::format("{:2.1f} °C", static_cast<double>(celsius)));
  return Value::stringWithUTF8String(
      fmt::format("{:2.1f} °F", static_cast<double>(toFahrenheit(celsius))));
}

}  // namespace

Value HundredDividerTransformer::transformedValue(const Value& value) const {
  return convertFloat(value, [](float x) { return x / kHundred; });
}

Value HundredDividerTransformer::reverseTransformedValue(const Value& value) const {
  return convertFloat(value, [](float x) { return x * kHundred; });
}

Value TemperatureTransformer::transformedValue(const Value& value) const {
  return convertFloat(value, [](float x) {
    const float celsius = x / kHundred;
    return celsiusNow() ? celsius : toFahrenheit(celsius);
  });
}

Value TemperatureTransformer::reverseTransformedValue(const Value& value) const {
  return convertFloat(value, [](float x) {
    if (celsiusNow())
      return x * kHundred;
    return static_cast<float>((x - kFahrenheitAtZeroCelsius) / kFahrenheitPerCelsius * kHundred);
  });
}

Value TemperatureDeltaTransformer::transformedValue(const Value& value) const {
  return convertFloat(value, [](float x) {
    const float celsius = x / kHundred;
    return celsiusNow() ? celsius : static_cast<float>(celsius * kFahrenheitPerCelsius);
  });
}

Value TemperatureDeltaTransformer::reverseTransformedValue(const Value& value) const {
  return convertFloat(value, [](float x) {
    const float hundredths = x * kHundred;
    return celsiusNow() ? hundredths : static_cast<float>(hundredths / kFahrenheitPerCelsius);
  });
}

Value TemperatureStringTransformer::transformedValue(const Value& value) const {
  return temperatureText(static_cast<float>(value.intValue()) / kHundred);
}

Value FloatTemperatureStringTransformer::transformedValue(const Value& value) const {
  return temperatureText(value.floatValue());
}

Value FlowTransformer::transformedValue(const Value& value) const {
  return convertFloat(value, [](float x) {
    return metricNow() ? x : static_cast<float>(x * kCubicFeetPerCubicMetre);
  });
}

Value FlowTransformer::reverseTransformedValue(const Value& value) const {
  return convertFloat(value, [](float x) {
    return metricNow() ? x : static_cast<float>(x / kCubicFeetPerCubicMetre);
  });
}

}  // namespace zel
