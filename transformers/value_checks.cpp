// SPDX-License-Identifier: MIT
#include "transformers/value_checks.h"

#include "values/inconsistency_exception.h"

namespace zel {

void requireIntValue(const Value& value) {
  if (!value.respondsToSelector(Selector::kIntValue))
    raiseInconsistency("Value (%s) does not respond to -intValue.", value);
}

void requireFloatValue(const Value& value) {
  if (!value.respondsToSelector(Selector::kFloatValue))
    raiseInconsistency("Value (%s) does not respond to -floatValue.", value);
}

void requireComponentsSeparatedByString(const Value& value) {
  if (!value.respondsToSelector(Selector::kComponentsSeparatedByString))
    raiseInconsistency("Value (%s) does not respond to -componentsSeparatedByString.", value);
}

void requireDate(const Value& value) {
  if (!value.isKindOfDate())
    raiseInconsistency("Value (%s) is not an NSDate", value);
}

}  // namespace zel
