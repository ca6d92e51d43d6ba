// SPDX-License-Identifier: MIT
// The checks a conversion makes before it reads its value. Each throws InconsistencyException
// with the system's message naming the value's class when the value lacks what is needed.
// Internal to the library.
#pragma once

#include "values/value.h"

namespace zel {

void requireIntValue(const Value& value);
void requireFloatValue(const Value& value);
void requireComponentsSeparatedByString(const Value& value);
void requireDate(const Value& value);

}  // namespace zel
