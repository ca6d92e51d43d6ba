// SPDX-License-Identifier: MIT
// The measurement transformers: hundredths, temperatures (stored in hundredths of a degree
// Celsius), temperature differences, temperature texts and volume flow (stored in cubic metres).
//
// Temperatures follow the shared Transformers instance's `celsius` preference and flow its
// `metric` preference, read at every conversion; with no Transformers initialised both read NO
// (Fahrenheit, cubic feet). Scaling by 100 is single precision; the factors 1.8, 32 and
// 35.31466672148859 are applied in double precision and the result narrowed to float once.
//
// HundredDivider, Temperature, TemperatureDelta, Flow: number <-> number made with
//   numberWithFloat; nil gives nil; a value without floatValue (a date) throws
//   InconsistencyException "Value (NSDate) does not respond to -floatValue.".
// TemperatureString (integer hundredths) and FloatTemperatureString (float degrees Celsius):
//   forward only, "21.5 °C" or "70.7 °F" ("%2.1f" of the single-precision degrees); any value
//   without a number in it, nil included, reads as 0.
//
// No state; any thread.
#pragma once

#include "values/value_transformer.h"

namespace zel {

class HundredDividerTransformer final : public ValueTransformerOf<ValueClass::kNumber, true> {
 public:
  Value transformedValue(const Value& value) const override;
  Value reverseTransformedValue(const Value& value) const override;
};

class TemperatureTransformer final : public ValueTransformerOf<ValueClass::kNumber, true> {
 public:
  Value transformedValue(const Value& value) const override;
  Value reverseTransformedValue(const Value& value) const override;
};

class TemperatureDeltaTransformer final : public ValueTransformerOf<ValueClass::kNumber, true> {
 public:
  Value transformedValue(const Value& value) const override;
  Value reverseTransformedValue(const Value& value) const override;
};

class TemperatureStringTransformer final : public ValueTransformerOf<ValueClass::kString, false> {
 public:
  Value transformedValue(const Value& value) const override;
};

class FloatTemperatureStringTransformer final
    : public ValueTransformerOf<ValueClass::kString, false> {
 public:
  Value transformedValue(const Value& value) const override;
};

class FlowTransformer final : public ValueTransformerOf<ValueClass::kNumber, true> {
 public:
  Value transformedValue(const Value& value) const override;
  Value reverseTransformedValue(const Value& value) const override;
};

}  // namespace zel
