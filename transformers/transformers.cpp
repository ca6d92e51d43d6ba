// SPDX-License-Identifier: MIT
// The registry half of Transformers: one instance of each transformer, registered by name.
#include "transformers/transformers.h"

namespace zel {
namespace {

// Creates the field's instance and registers that same instance under `name`.
template <typename T>
void make(std::shared_ptr<T>& field, const std::string& name) {
  field = std::make_shared<T>();
  ValueTransformer::setValueTransformer(field, name);
}

}  // namespace

void Transformers::registerTransformers() {
  make(mTicksStringSeconds, "TicksStringSeconds");
  make(mTicksStringMinutes, "TicksStringMinutes");
  make(mTicksMinutes, "TicksMinutes");
  make(mTicksTime, "TicksTime");
  make(mSecondsTime, "SecondsTime");
  make(mHHMMToSeconds, "HHMMToSeconds");
  make(mHundredDivider, "HundredDivider");
  make(mDateToDaySeconds, "DateToDaySeconds");
  make(mTemperature, "Temperature");
  make(mTemperatureDelta, "TemperatureDelta");
  make(mTemperatureString, "TemperatureString");
  make(mFloatTemperatureString, "FloatTemperatureString");
  make(mInsteonAddr, "InsteonAddr");
  make(mKNXAddr, "KNXAddr");
  make(mIPAddr, "IPAddr");
  make(mType, "Type");
  make(mFlow, "Flow");
}

}  // namespace zel
