// SPDX-License-Identifier: MIT
// The registry and the shared Transformers: names, replacement, unit preferences, notification.
#include <gtest/gtest.h>

#include "tests/values/value_test_support.h"
#include "transformers/transformers.h"
#include "values/notification_center.h"
#include "values/user_defaults.h"

namespace zel::test {
namespace {

class Registry : public testing::Test {
 protected:
  TemporaryConfigHome mConfigHome;
};

TEST_F(Registry, BeforeInitConvertsInFahrenheitAndCubicFeetAfterItHoldsEveryName) {
  if (Transformers::shared())
    GTEST_SKIP() << "needs a process of its own (ctest runs each test alone)";
  EXPECT_EQ(TemperatureTransformer().transformedValue(number(2000)), Value::numberWithFloat(68));
  EXPECT_EQ(FlowTransformer().transformedValue(number(1)), Value::numberWithFloat(35.314667f));
  Transformers::init();
  EXPECT_EQ(ValueTransformer::valueTransformerNames().size(), 17u);
}

// Every setter call posts, also without a change, after the flag changed; an object that a later
// init replaced still stores and posts, but no longer steers conversions.
TEST_F(Registry, ASetterPostsItsKeyAfterTheFlagChangedAndALaterInitTakesOver) {
  const auto first = Transformers::init();
  const auto second = Transformers::init();
  EXPECT_EQ(ValueTransformer::valueTransformerForName("Flow"), second->flow());
  std::vector<std::pair<std::string, Value>> seen;
  ScopedObserver observer("measurementUnitsChanged", [&](const Notification& n) {
    seen.emplace_back(
        n.object,
        ValueTransformer::valueTransformerForName("Temperature")->transformedValue(number(2000)));
  });
  second->setCelsius(true);
  second->setCelsius(true);
  second->setMetric(false);
  first->setCelsius(false);
  const Value celsius = Value::numberWithFloat(20);
  const std::vector<std::pair<std::string, Value>> expected = {
      {"celsius", celsius}, {"celsius", celsius}, {"metric", celsius}, {"celsius", celsius}};
  EXPECT_EQ(seen, expected);
  EXPECT_FALSE(UserDefaults::standardUserDefaults().boolForKey("celsius"));
}

}  // namespace
}  // namespace zel::test
