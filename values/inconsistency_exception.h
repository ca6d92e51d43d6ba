// SPDX-License-Identifier: MIT
// InconsistencyException: what a value transformer throws when it is handed a value of the
// wrong kind (the platform's NSInternalInconsistencyException). The message is one of the
// system's fixed texts with the class name of the offending value in place of its placeholder,
// e.g. "Value (NSDate) does not respond to -floatValue.".
#pragma once

#include <stdexcept>
#include <string>

#include "values/value.h"

namespace zel {

class InconsistencyException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
  static constexpr const char* kName = "NSInternalInconsistencyException";
};

// Throws an InconsistencyException whose message is `format` (printf-style, with one "%s" where
// the system's text has "%@") applied to the class name of `value`.
[[noreturn]] void raiseInconsistency(const char* format, const Value& value);

}  // namespace zel
