// SPDX-License-Identifier: MIT
// Value: the dynamic value that value transformers take and give: nil, a number, a text or a
// date (what NSNumber, NSString, NSDate and nil stand for).
//
// What callers may rely on:
// - intValue(): a number truncated toward zero to a signed 32-bit integer (a long keeps its low
//   32 bits; a float or double outside the 32-bit range saturates, NaN gives 0); a text's leading
//   decimal integer (leading white space skipped, optional sign, 0 without digits, saturating at
//   the 32-bit limits); 0 for nil and for a date.
// - floatValue(): a number narrowed to a 32-bit float; a text's leading decimal number, read as
//   strtof reads it in the "C" locale (0 without one); 0 for nil and for a date.
// - respondsToSelector(): numbers and texts answer intValue and floatValue, only texts answer
//   componentsSeparatedByString, and a date and nil answer nothing.
// - A number remembers how it was made (numberWithInt, numberWithLong, numberWithFloat,
//   numberWithDouble) so that it prints in its own precision; two values are equal only when
//   kind, number type and value agree (NaN equals NaN here).
//
// Values are immutable and may be copied and read from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace zel {

enum class ValueClass { kNil, kNumber, kString, kDate };
enum class NumberType { kInt, kLong, kFloat, kDouble };
enum class Selector { kIntValue, kFloatValue, kComponentsSeparatedByString };

class Value {
 public:
  Value() = default;  // nil

  static Value numberWithInt(int32_t number);
  static Value numberWithLong(int64_t number);
  static Value numberWithFloat(float number);
  static Value numberWithDouble(double number);
  static Value stringWithUTF8String(std::string text);
  static Value dateWithTimeIntervalSince1970(double seconds);

  ValueClass valueClass() const { return static_cast<ValueClass>(mStorage.index()); }
  bool isNil() const { return valueClass() == ValueClass::kNil; }
  bool isKindOfDate() const { return valueClass() == ValueClass::kDate; }
  bool respondsToSelector(Selector selector) const;

  int32_t intValue() const;
  float floatValue() const;

  // Preconditions: valueClass() is kNumber, kString or kDate respectively.
  NumberType numberType() const;
  const std::string& string() const;
  double timeIntervalSince1970() const;

  // The name of the value's class as the platform prints it: "NSNumber", "NSString", "NSDate",
  // or "(null)" for nil.
  std::string_view className() const;
  // A number in its shortest round-trip decimal form for its own precision (a float 70.69999695
  // is "70.7"), a text as it is, a date as "1970-01-01 00:00:00 +0000" (UTC), nil as "(null)".
  std::string description() const;

  friend bool operator==(const Value& a, const Value& b);

 private:
  struct Number {
    NumberType type;
    int64_t integer;  // kInt and kLong
    double real;      // kFloat (widened, exactly) and kDouble
  };
  struct Date {
    double seconds;
  };
  using Storage = std::variant<std::monostate, Number, std::string, Date>;

  // Built in place: moving a whole variant trips a false uninitialised warning in GCC 12.
  template <typename Alternative>
  explicit Value(Alternative alternative)
      : mStorage(std::in_place_type<Alternative>, std::move(alternative)) {}

  Storage mStorage;
};

// A text's intValue and floatValue, for callers that hold a part of a text.
int32_t intValueOfText(std::string_view text);
float floatValueOfText(std::string_view text);

// The parts of `text` between occurrences of `separator` (non-empty); a text without the
// separator is one part, and the empty text is one empty part. The views point into `text`.
std::vector<std::string_view> componentsSeparatedByString(std::string_view text,
                                                          std::string_view separator);

}  // namespace zel
