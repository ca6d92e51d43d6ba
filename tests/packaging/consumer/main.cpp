// SPDX-License-Identifier: MIT
#include <cstdio>

#include "transformers/ip_addr.h"
#include "transformers/transformers.h"

int main() {
  auto transformers = zel::Transformers::init();
  const auto shown = zel::ValueTransformer::valueTransformerForName("TemperatureString")
                         ->transformedValue(zel::Value::numberWithInt(2150));
  std::printf("%s %s\n", shown.string().c_str(), zel::IPAddrToString(0xC0A80101).c_str());
}
