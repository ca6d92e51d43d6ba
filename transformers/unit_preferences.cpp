// SPDX-License-Identifier: MIT
// The unit-preference half of Transformers: the shared instance and the two flags.
#include <string>

#include "transformers/transformers.h"
#include "values/notification_center.h"
#include "values/user_defaults.h"

namespace zel {
namespace {

constexpr const char* kCelsiusKey = "celsius";
constexpr const char* kMetricKey = "metric";
constexpr const char* kUnitsChanged = "measurementUnitsChanged";

std::atomic<std::shared_ptr<Transformers>> gShared;

// The flag is written first, so that observers of the notification see the new unit.
void setPreference(std::atomic<bool>& flag, bool value, const std::string& key) {
  flag.store(value, std::memory_order_relaxed);
  UserDefaults::standardUserDefaults().setBool(value, key);
  NotificationCenter::defaultCenter().postNotificationName(kUnitsChanged, key);
}

}  // namespace

std::shared_ptr<Transformers> Transformers::init() {
  std::shared_ptr<Transformers> transformers(new Transformers);
  gShared.store(transformers);
  transformers->loadUnitPreferences();
  transformers->registerTransformers();
  return transformers;
}

std::shared_ptr<Transformers> Transformers::shared() {
  return gShared.load();
}

void Transformers::loadUnitPreferences() {
  UserDefaults& defaults = UserDefaults::standardUserDefaults();
  mCelsius.store(defaults.boolForKey(kCelsiusKey), std::memory_order_relaxed);
  mMetric.store(defaults.boolForKey(kMetricKey), std::memory_order_relaxed);
}

void Transformers::setCelsius(bool celsius) {
  setPreference(mCelsius, celsius, kCelsiusKey);
}

void Transformers::setMetric(bool metric) {
  setPreference(mMetric, metric, kMetricKey);
}

}  // namespace zel
