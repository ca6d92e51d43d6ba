// SPDX-License-Identifier: MIT
// Transformers: the shared instance, its replacement and the unit preferences. (The names
// registered are listed end to end by `zelhelper convert --list`.)
#include <gtest/gtest.h>

#include "conversion_test_support.h"
#include "transformers/transformers.h"
#include "values/notification_center.h"
#include "values/user_defaults.h"

namespace zel::test {
namespace {

Value temperatureOf2000() {
  return ValueTransformer::valueTransformerForName("Temperature")->transformedValue(number(2000));
}

class Registry : public testing::Test {
 protected:
  TemporaryConfigHome mConfigHome;
};

TEST_F(Registry, BeforeAnyInitConversionsUseFahrenheitAndCubicFeet) {
  if (Transformers::shared())
    GTEST_SKIP() << "needs a process of its own (ctest runs each test alone)";
  EXPECT_EQ(TemperatureTransformer().transformedValue(number(2000)), Value::numberWithFloat(68));
  EXPECT_EQ(FlowTransformer().transformedValue(number(1)), Value::numberWithFloat(35.314667f));
}

TEST_F(Registry, ASecondInitTakesOverNamesAndTheSharedInstance) {
  const auto first = Transformers::init();
  const auto second = Transformers::init();
  EXPECT_EQ(Transformers::shared(), second);
  EXPECT_EQ(ValueTransformer::valueTransformerForName("Flow"), second->flow());
  EXPECT_EQ(ValueTransformer::valueTransformerNames().size(), 17u);

  // The first object's setter still stores and posts, but no longer steers conversions.
  int posts = 0;
  ScopedObserver observer("measurementUnitsChanged", [&](const Notification&) { ++posts; });
  first->setCelsius(true);
  EXPECT_EQ(posts, 1);
  EXPECT_TRUE(UserDefaults::standardUserDefaults().boolForKey("celsius"));
  EXPECT_EQ(temperatureOf2000(), Value::numberWithFloat(68));
}

TEST_F(Registry, PreferencesAreStoredAndLoadedByTheNextInit) {
  const auto transformers = Transformers::init();
  EXPECT_FALSE(transformers->celsius());
  EXPECT_FALSE(transformers->metric());
  transformers->setCelsius(true);
  transformers->setMetric(true);
  const auto next = Transformers::init();
  EXPECT_TRUE(next->celsius());
  EXPECT_TRUE(next->metric());
  EXPECT_EQ(temperatureOf2000(), Value::numberWithFloat(20));
}

TEST_F(Registry, EverySetterCallPostsOnceWithItsKeyAfterTheFlagChanged) {
  const auto transformers = Transformers::init();
  std::vector<std::pair<std::string, Value>> seen;
  ScopedObserver observer("measurementUnitsChanged", [&](const Notification& n) {
    seen.emplace_back(n.object, temperatureOf2000());
  });
  transformers->setCelsius(true);
  transformers->setCelsius(true);  // unchanged, still posted
  transformers->setMetric(false);
  const std::vector<std::pair<std::string, Value>> expected = {
      {"celsius", Value::numberWithFloat(20)},
      {"celsius", Value::numberWithFloat(20)},
      {"metric", Value::numberWithFloat(20)}};
  EXPECT_EQ(seen, expected);
}

}  // namespace
}  // namespace zel::test
