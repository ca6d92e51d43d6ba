// SPDX-License-Identifier: MIT
#include "values/inconsistency_exception.h"

#include <fmt/printf.h>

namespace zel {

void raiseInconsistency(const char* format, const Value& value) {
  throw InconsistencyException(fmt::sprintf(format, value.className()));
}

}  // namespace zel
