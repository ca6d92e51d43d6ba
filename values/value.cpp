// SPDX-License-Identifier: MIT
#include "values/value.h"

#include <locale.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <limits>

#include <fmt/format.h>

namespace zel {
namespace {

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

size_t skipSpace(std::string_view text, size_t i) {
  while (i < text.size() && isSpace(text[i]))
    ++i;
  return i;
}
size_t skipDigits(std::string_view text, size_t i) {
  while (i < text.size() && isDigit(text[i]))
    ++i;
  return i;
}

// Truncation toward zero that saturates instead of leaving the result undefined.
int32_t saturatingInt32(double x) {
  if (std::isnan(x))
    return 0;
  if (x >= 2147483647.0)
    return std::numeric_limits<int32_t>::max();
  if (x <= -2147483648.0)
    return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(x);
}

locale_t cLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", nullptr);
  return locale;
}

}  // namespace

int32_t intValueOfText(std::string_view text) {
  size_t i = skipSpace(text, 0);
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-'))
    negative = text[i++] == '-';
  int64_t magnitude = 0;
  const int64_t limit = negative ? 2147483648 : 2147483647;
  for (; i < text.size() && isDigit(text[i]); ++i) {
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude >= limit) {
      magnitude = limit;
      break;
    }
  }
  return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

float floatValueOfText(std::string_view text) {
  // Only the leading decimal number counts: no hexadecimal, infinity or NaN spellings.
  const size_t start = skipSpace(text, 0);
  size_t i = start;
  if (i < text.size() && (text[i] == '+' || text[i] == '-'))
    ++i;
  const size_t integerEnd = skipDigits(text, i);
  size_t end = integerEnd;
  bool hasDigits = integerEnd > i;
  if (end < text.size() && text[end] == '.') {
    const size_t fractionEnd = skipDigits(text, end + 1);
    hasDigits = hasDigits || fractionEnd > end + 1;
    end = fractionEnd;
  }
  if (!hasDigits)
    return 0;
  if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
    size_t e = end + 1;
    if (e < text.size() && (text[e] == '+' || text[e] == '-'))
      ++e;
    const size_t exponentEnd = skipDigits(text, e);
    if (exponentEnd > e)
      end = exponentEnd;
  }
  const std::string number(text.substr(start, end - start));
  return strtof_l(number.c_str(), nullptr, cLocale());
}

std::vector<std::string_view> componentsSeparatedByString(std::string_view text,
                                                          std::string_view separator) {
  std::vector<std::string_view> parts;
  size_t from = 0;
  for (size_t at; (at = text.find(separator, from)) != std::string_view::npos;
       from = at + separator.size())
    parts.push_back(text.substr(from, at - from));
  parts.push_back(text.substr(from));
  return parts;
}

Value Value::numberWithInt(int32_t number) {
  return Value(Number{NumberType::kInt, number, 0});
}
Value Value::numberWithLong(int64_t number) {
  return Value(Number{NumberType::kLong, number, 0});
}
Value Value::numberWithFloat(float number) {
  return Value(Number{NumberType::kFloat, 0, number});
}
Value Value::numberWithDouble(double number) {
  return Value(Number{NumberType::kDouble, 0, number});
}
Value Value::stringWithUTF8String(std::string text) {
  return Value(std::move(text));
}
Value Value::dateWithTimeIntervalSince1970(double seconds) {
  return Value(Date{seconds});
}

bool Value::respondsToSelector(Selector selector) const {
  switch (valueClass()) {
    case ValueClass::kNumber:
      return selector != Selector::kComponentsSeparatedByString;
    case ValueClass::kString:
      return true;
    case ValueClass::kNil:
    case ValueClass::kDate:
      break;
  }
  return false;
}

int32_t Value::intValue() const {
  if (const auto* number = std::get_if<Number>(&mStorage)) {
    if (number->type == NumberType::kInt || number->type == NumberType::kLong)
      return static_cast<int32_t>(static_cast<uint32_t>(number->integer));
    return saturatingInt32(number->real);
  }
  if (const auto* text = std::get_if<std::string>(&mStorage))
    return intValueOfText(*text);
  return 0;
}

float Value::floatValue() const {
  if (const auto* number = std::get_if<Number>(&mStorage)) {
    if (number->type == NumberType::kInt || number->type == NumberType::kLong)
      return static_cast<float>(number->integer);
    return static_cast<float>(number->real);
  }
  if (const auto* text = std::get_if<std::string>(&mStorage))
    return floatValueOfText(*text);
  return 0;
}

NumberType Value::numberType() const {
  return std::get<Number>(mStorage).type;
}
const std::string& Value::string() const {
  return std::get<std::string>(mStorage);
}
double Value::timeIntervalSince1970() const {
  return std::get<Date>(mStorage).seconds;
}

std::string_view Value::className() const {
  switch (valueClass()) {
    case ValueClass::kNumber:
      return "NSNumber";
    case ValueClass::kString:
      return "NSString";
    case ValueClass::kDate:
      return "NSDate";
    case ValueClass::kNil:
      break;
  }
  return "(null)";
}

std::string Value::description() const {
  switch (valueClass()) {
    case ValueClass::kNumber: {
      const Number& number = std::get<Number>(mStorage);
      switch (number.type) {
        case NumberType::kInt:
        case NumberType::kLong:
          return fmt::format("{}", number.integer);
        case NumberType::kFloat:
          return fmt::format("{}", static_cast<float>(number.real));
        case NumberType::kDouble:
          break;
      }
      return fmt::format("{}", number.real);
    }
    case ValueClass::kString:
      return string();
    case ValueClass::kDate: {
      const double seconds = std::floor(timeIntervalSince1970());
      tm utc{};
      const auto whole = static_cast<time_t>(std::clamp(seconds, -1e15, 1e15));
      if (!gmtime_r(&whole, &utc))
        return fmt::format("{} seconds since 1970", seconds);
      char text[64];
      strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S +0000", &utc);
      return text;
    }
    case ValueClass::kNil:
      break;
  }
  return "(null)";
}

bool operator==(const Value& a, const Value& b) {
  if (a.valueClass() != b.valueClass())
    return false;
  switch (a.valueClass()) {
    case ValueClass::kNumber: {
      const auto& x = std::get<Value::Number>(a.mStorage);
      const auto& y = std::get<Value::Number>(b.mStorage);
      return x.type == y.type && x.integer == y.integer &&
             (x.real == y.real || (std::isnan(x.real) && std::isnan(y.real)));
    }
    case ValueClass::kString:
      return a.string() == b.string();
    case ValueClass::kDate:
      return a.timeIntervalSince1970() == b.timeIntervalSince1970();
    case ValueClass::kNil:
      break;
  }
  return true;
}

}  // namespace zel
