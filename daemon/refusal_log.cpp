#include "daemon/refusal_log.h"

namespace zel {

void logRefusalLine(LogChannel channel, uid_t, std::string_view line) {
  if (channel == LogChannel::kNSLog)
    NSLog(line);
  else
    systemLog(line);
}

}  // namespace zel
