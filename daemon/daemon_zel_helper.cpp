// SPDX-License-Identifier: MIT
#include "daemon/daemon_zel_helper.h"

#include "daemon/caller.h"

namespace zel {

uint32_t DaemonZelHelper::version() {
  return kInterfaceVersion;
}

std::string DaemonZelHelper::lastReason() {
  return lastNotedReason();
}

}  // namespace zel
