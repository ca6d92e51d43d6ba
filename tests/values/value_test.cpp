// SPDX-License-Identifier: MIT
// What intValue and floatValue answer for texts and numbers (other kinds: the refusals' rows).
#include <gtest/gtest.h>

#include <cmath>

#include "tests/values/value_test_support.h"

namespace zel::test {
namespace {

TEST(TextValue, ReadsTheLeadingDecimalNumber) {
  const struct {
    const char* text;
    int32_t intValue;
    float floatValue;
  } cases[] = {
      {"  \t\n-17abc", -17, -17},
      {"+8", 8, 8},
      {"1e3", 1, 1000},
      {"0x1A", 0, 0},  // decimal only
      {"inf", 0, 0},
      {"99999999999", INT32_MAX, 99999999999.0f},  // saturates
      {"-99999999999", INT32_MIN, -99999999999.0f},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(text(c.text).intValue(), c.intValue) << '"' << c.text << '"';
    EXPECT_EQ(text(c.text).floatValue(), c.floatValue) << '"' << c.text << '"';
  }
}

TEST(NumberValue, ConvertsByTheTypeItWasMadeWith) {
  EXPECT_EQ(Value::numberWithLong(0x1'0000'0005).intValue(), 5);  // low 32 bits
  EXPECT_EQ(Value::numberWithFloat(-2.9f).intValue(), -2);        // toward zero
  EXPECT_EQ(Value::numberWithDouble(1e20).intValue(), INT32_MAX);
  EXPECT_EQ(Value::numberWithDouble(std::nan("")).intValue(), 0);
  EXPECT_EQ(Value::numberWithInt(16777217).floatValue(), 16777216.0f);
  EXPECT_EQ(Value::numberWithFloat(70.69999695f).description(), "70.7");
}

}  // namespace
}  // namespace zel::test
