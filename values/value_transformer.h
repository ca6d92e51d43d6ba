// SPDX-License-Identifier: MIT
// ValueTransformer: the base of every named value transformer, and the process-wide registry
// that finds a transformer by name (the platform's NSValueTransformer).
//
// A transformer turns a stored value into a display value (transformedValue) and, where
// allowsReverseTransformation() is true, a display value back into a stored value
// (reverseTransformedValue). transformedValueClass() and allowsReverseTransformation() are
// fixed per class; they are virtual so that a transformer found by name can be asked. A
// conversion handed a value of the wrong kind throws InconsistencyException
// (values/inconsistency_exception.h); calling reverseTransformedValue on a transformer that
// does not allow it throws std::logic_error.
//
// The registry keeps its own strong reference to each registered transformer. Registering under
// a name that is already taken replaces the earlier transformer and keeps the name's place in
// the registration order. The registry may be used from any thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "values/value.h"

namespace zel {

class ValueTransformer {
 public:
  virtual ~ValueTransformer() = default;

  virtual ValueClass transformedValueClass() const = 0;
  virtual bool allowsReverseTransformation() const = 0;
  virtual Value transformedValue(const Value& value) const = 0;
  virtual Value reverseTransformedValue(const Value& value) const;

  // `transformer` must not be null.
  static void setValueTransformer(std::shared_ptr<ValueTransformer> transformer,
                                  const std::string& name);
  // Null when nothing is registered under `name`.
  static std::shared_ptr<ValueTransformer> valueTransformerForName(const std::string& name);
  // Every registered name, in the order of first registration.
  static std::vector<std::string> valueTransformerNames();
};

// The base of a transformer class whose two class operations answer constants.
template <ValueClass kTransformedValueClass, bool kAllowsReverseTransformation>
class ValueTransformerOf : public ValueTransformer {
 public:
  ValueClass transformedValueClass() const final { return kTransformedValueClass; }
  bool allowsReverseTransformation() const final { return kAllowsReverseTransformation; }
};

}  // namespace zel
