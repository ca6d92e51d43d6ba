#include "daemon/daemon_main.h"

#include <fmt/format.h>

#include "platform/log.h"
#include "resources/labels.h"

namespace zel {

int runDaemon() {
  systemLog(fmt::format("ZelHelper started without a listening socket named {}", kMachServiceName));
  return 78;
}

}  // namespace zel
