// SPDX-License-Identifier: MIT
// Transformers: the unit preferences and the seventeen named value transformers of the client.
//
// init() makes a new Transformers the shared Transformers instance (replacing the one before),
// loads `celsius` and `metric` from the user defaults (keys "celsius", "metric"; missing reads
// NO), then creates one instance of each transformer class and registers it with
// ValueTransformer::setValueTransformer under its name, in this order: "TicksStringSeconds",
// "TicksStringMinutes", "TicksMinutes", "TicksTime", "SecondsTime", "HHMMToSeconds",
// "HundredDivider", "DateToDaySeconds", "Temperature", "TemperatureDelta", "TemperatureString",
// "FloatTemperatureString", "InsteonAddr", "KNXAddr", "IPAddr", "Type", "Flow". A later init
// registers its own instances under the same names; an earlier object's getters keep returning
// its own instances.
//
// setCelsius/setMetric set the flag, store it in the user defaults and post
// "measurementUnitsChanged" on the default notification centre with the key ("celsius" or
// "metric") as object, every time, also when the value does not change. The measurement
// transformers read the flags of the shared instance at every conversion, so an observer of the
// notification already converts with the new unit.
//
// The shared instance is held until the next init and never cleared. The transformer getters
// return instances fixed at init; flags may be read and set from any thread.
#pragma once

#include <atomic>
#include <memory>

#include "transformers/address_transformers.h"
#include "transformers/date_to_day_seconds_transformer.h"
#include "transformers/measurement_transformers.h"
#include "transformers/time_transformers.h"

namespace zel {

class Transformers {
 public:
  static std::shared_ptr<Transformers> init();
  // The most recently initialised Transformers, or null before the first init.
  static std::shared_ptr<Transformers> shared();

  bool celsius() const { return mCelsius.load(std::memory_order_relaxed); }
  void setCelsius(bool celsius);
  bool metric() const { return mMetric.load(std::memory_order_relaxed); }
  void setMetric(bool metric);

  std::shared_ptr<TicksStringSecondsTransformer> ticksStringSeconds() const {
    return mTicksStringSeconds;
  }
  std::shared_ptr<TicksMinutesTransformer> ticksMinutes() const { return mTicksMinutes; }
  std::shared_ptr<TicksStringMinutesTransformer> ticksStringMinutes() const {
    return mTicksStringMinutes;
  }
  std::shared_ptr<TicksTimeTransformer> ticksTime() const { return mTicksTime; }
  std::shared_ptr<SecondsTimeTransformer> secondsTime() const { return mSecondsTime; }
  std::shared_ptr<HHMMToSecondsTransformer> hhmmToSeconds() const { return mHHMMToSeconds; }
  std::shared_ptr<HundredDividerTransformer> hundredDivider() const { return mHundredDivider; }
  std::shared_ptr<DateToDaySecondsTransformer> dateToDaySeconds() const {
    return mDateToDaySeconds;
  }
  std::shared_ptr<FloatTemperatureStringTransformer> floatTemperatureString() const {
    return mFloatTemperatureString;
  }
  std::shared_ptr<TemperatureTransformer> temperature() const { return mTemperature; }
  std::shared_ptr<TemperatureDeltaTransformer> temperatureDelta() const {
    return mTemperatureDelta;
  }
  std::shared_ptr<TemperatureStringTransformer> temperatureString() const {
    return mTemperatureString;
  }
  std::shared_ptr<InsteonAddrTransformer> insteonAddr() const { return mInsteonAddr; }
  std::shared_ptr<KNXAddrTransformer> knxAddr() const { return mKNXAddr; }
  std::shared_ptr<IPAddrTransformer> ipAddr() const { return mIPAddr; }
  std::shared_ptr<TypeTransformer> type() const { return mType; }
  std::shared_ptr<FlowTransformer> flow() const { return mFlow; }

 private:
  Transformers() = default;
  void loadUnitPreferences();
  void registerTransformers();

  std::shared_ptr<TicksStringSecondsTransformer> mTicksStringSeconds;
  std::shared_ptr<TicksMinutesTransformer> mTicksMinutes;
  std::shared_ptr<TicksStringMinutesTransformer> mTicksStringMinutes;
  std::shared_ptr<TicksTimeTransformer> mTicksTime;
  std::shared_ptr<SecondsTimeTransformer> mSecondsTime;
  std::shared_ptr<HHMMToSecondsTransformer> mHHMMToSeconds;
  std::shared_ptr<HundredDividerTransformer> mHundredDivider;
  std::shared_ptr<DateToDaySecondsTransformer> mDateToDaySeconds;
  std::shared_ptr<TemperatureStringTransformer> mTemperatureString;
  std::shared_ptr<TemperatureTransformer> mTemperature;
  std::shared_ptr<TemperatureDeltaTransformer> mTemperatureDelta;
  std::shared_ptr<FloatTemperatureStringTransformer> mFloatTemperatureString;
  std::shared_ptr<KNXAddrTransformer> mKNXAddr;
  std::shared_ptr<InsteonAddrTransformer> mInsteonAddr;
  std::shared_ptr<IPAddrTransformer> mIPAddr;
  std::shared_ptr<TypeTransformer> mType;
  std::shared_ptr<FlowTransformer> mFlow;
  std::atomic<bool> mCelsius{false};
  std::atomic<bool> mMetric{false};
};

}  // namespace zel
