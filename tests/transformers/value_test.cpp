// SPDX-License-Identifier: MIT
// The dynamic value: what intValue, floatValue and respondsToSelector answer for each kind.
#include <gtest/gtest.h>

#include <cmath>

#include "conversion_test_support.h"

namespace zel::test {
namespace {

TEST(TextValue, ReadsTheLeadingDecimalNumber) {
  struct Case {
    const char* text;
    int32_t intValue;
    float floatValue;
  };
  const Case cases[] = {
      {"42", 42, 42},
      {"  \t\n-17abc", -17, -17},
      {"+8", 8, 8},
      {"12.75", 12, 12.75f},
      {" .5", 0, 0.5f},
      {"1e3", 1, 1000},
      {"2.5e", 2, 2.5f},
      {"abc", 0, 0},
      {"", 0, 0},
      {"-", 0, 0},
      {"0x1A", 0, 0},  // decimal only
      {"inf", 0, 0},
      {"99999999999", INT32_MAX, 99999999999.0f},  // saturates
      {"-99999999999", INT32_MIN, -99999999999.0f},
      {"0.53", 0, 0.53f},
  };
  for (const Case& c : cases) {
    const Value value = text(c.text);
    EXPECT_EQ(value.intValue(), c.intValue) << '"' << c.text << '"';
    EXPECT_EQ(value.floatValue(), c.floatValue) << '"' << c.text << '"';
  }
}

TEST(NumberValue, ConvertsByTheTypeItWasMadeWith) {
  EXPECT_EQ(Value::numberWithLong(0x1'0000'0005).intValue(), 5);  // low 32 bits
  EXPECT_EQ(Value::numberWithFloat(-2.9f).intValue(), -2);        // toward zero
  EXPECT_EQ(Value::numberWithDouble(1e20).intValue(), INT32_MAX);
  EXPECT_EQ(Value::numberWithDouble(std::nan("")).intValue(), 0);
  EXPECT_EQ(Value::numberWithDouble(0.1).floatValue(), 0.1f);
  EXPECT_EQ(Value::numberWithInt(16777217).floatValue(), 16777216.0f);
  EXPECT_NE(Value::numberWithInt(1), Value::numberWithFloat(1));
  EXPECT_EQ(Value::numberWithFloat(70.69999695f).description(), "70.7");
  EXPECT_EQ(Value::numberWithLong(1234).description(), "1234");
}

TEST(Values, AnswerOnlyTheSelectorsTheirKindHas) {
  const Value date = Value::dateWithTimeIntervalSince1970(86400);
  for (Selector selector : {Selector::kIntValue, Selector::kFloatValue}) {
    EXPECT_TRUE(number(1).respondsToSelector(selector));
    EXPECT_TRUE(text("1").respondsToSelector(selector));
    EXPECT_FALSE(date.respondsToSelector(selector));
    EXPECT_FALSE(Value().respondsToSelector(selector));
  }
  EXPECT_TRUE(text("1").respondsToSelector(Selector::kComponentsSeparatedByString));
  EXPECT_FALSE(number(1).respondsToSelector(Selector::kComponentsSeparatedByString));
  EXPECT_EQ(date.intValue(), 0);
  EXPECT_EQ(date.description(), "1970-01-02 00:00:00 +0000");
  EXPECT_EQ(number(1).className(), "NSNumber");
  EXPECT_EQ(text("").className(), "NSString");
  EXPECT_EQ(date.className(), "NSDate");
}

TEST(Components, SplitOnEveryOccurrence) {
  using Parts = std::vector<std::string_view>;
  EXPECT_EQ(componentsSeparatedByString("1::3", ":"), (Parts{"1", "", "3"}));
  EXPECT_EQ(componentsSeparatedByString("", ":"), (Parts{""}));
  EXPECT_EQ(componentsSeparatedByString("..", "."), (Parts{"", "", ""}));
}

}  // namespace
}  // namespace zel::test
