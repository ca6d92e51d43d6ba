// SPDX-License-Identifier: MIT
// The time and tick transformers. A tick is a hundredth of a second; stored durations are ticks
// or whole seconds, read with intValue or floatValue; reverse results are numbers made with
// numberWithInt. Products wrap in 32 bits.
//
// TicksStringSeconds  ticks <-> "12.34" (seconds, two decimals); nil shows "0.00", a nil reverse
//                     gives nil. The reverse rounds to the nearest tick ("0.53" gives 53),
//                     halves to the even one ("1.005", 100.5 ticks, gives 100).
// TicksStringMinutes  ticks <-> "1" (whole minutes, fraction dropped); nil shows "0", a nil
//                     reverse gives 0. The reverse rounds to the nearest tick ("0.53" is 3180),
//                     halves to the even one ("0.00075", 4.5 ticks, gives 4).
// TicksMinutes        ticks <-> whole minutes as a number (signed, truncated toward zero).
// TicksTime           ticks <-> clock-style text ("01:02:03", "02:05", "45").
// SecondsTime         seconds <-> clock-style text.
// HHMMToSeconds       seconds <-> "08:30" (hours and minutes; a bare number reads as minutes).
//
// The first two throw InconsistencyException for a date (neither can read it as a number).
// The last four give nil for nil and throw InconsistencyException for a value without intValue
// (forward, and the TicksMinutes reverse) or a value that is not a text (the text reverses).
// Negative counts shown as text are read as unsigned 32-bit numbers. No state; any thread.
#pragma once

#include "values/value_transformer.h"

namespace zel {

class TicksStringSecondsTransformer final : public ValueTransformerOf<ValueClass::kString, true> {
 public:
  Value transformedValue(const Value& value) const override;
  Value reverseTransformedValue(const Value& value) const override;
};

class TicksStringMinutesTransformer final : public ValueTransformerOf<ValueClass::kString, true> {
 public:
  Value transformedValue(const Value& value) const override;
  Value reverseTransformedValue(const Value& value) const override;
};

class TicksMinutesTransformer final : public ValueTransformerOf<ValueClass::kNumber, true> {
 public:
  Value transformedValue(const Value& value) const override;
  Value reverseTransformedValue(const Value& value) const override;
};

class TicksTimeTransformer final : public ValueTransformerOf<ValueClass::kString, true> {
 public:
  Value transformedValue(const Value& value) const override;
  Value reverseTransformedValue(const Value& value) const override;
};

class SecondsTimeTransformer final : public ValueTransformerOf<ValueClass::kString, true> {
 public:
  Value transformedValue(const Value& value) const override;
  Value reverseTransformedValue(const Value& value) const override;
};

class HHMMToSecondsTransformer final : public ValueTransformerOf<ValueClass::kString, true> {
 public:
  Value transformedValue(const Value& value) const override;
  Value reverseTransformedValue(const Value& value) const override;
};

}  // namespace zel
