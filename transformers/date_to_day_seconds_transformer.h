// SPDX-License-Identifier: MIT
// DateToDaySecondsTransformer: seconds since local midnight <-> a date.
//
// Forward: today (in the user's current calendar and time zone) at the local time the count
// gives, read as an unsigned 32-bit number: hours = s ÷ 3600 (not reduced modulo 24), then
// minutes and seconds; no fraction of a second. A count of a day or more, or a local time that a
// daylight-saving change skips or repeats, is resolved by the calendar.
// Reverse: hour × 3600 + minute × 60 + second of the date's local time, a number made with
// numberWithLong.
// nil gives nil both ways; a value without intValue (forward) or that is not a date (reverse)
// throws InconsistencyException. transformedValueClass() answers kNumber, although the forward
// direction yields a date. Any thread.
#pragma once

#include "values/value_transformer.h"

namespace zel {

class DateToDaySecondsTransformer final : public ValueTransformerOf<ValueClass::kNumber, true> {
 public:
  Value transformedValue(const Value& value) const override;
  Value reverseTransformedValue(const Value& value) const override;
};

}  // namespace zel
