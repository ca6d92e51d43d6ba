// SPDX-License-Identifier: MIT
#include "daemon/zel_helper.h"

#include "daemon/caller.h"

namespace zel {

uint32_t ZelHelper::version() {
  return kInterfaceVersion;
}

std::string ZelHelper::lastReason() {
  return lastNotedReason();
}

}  // namespace zel
