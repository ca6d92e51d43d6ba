// SPDX-License-Identifier: MIT
#include "daemon/daemon_log.h"

#include <string>

namespace zel::log_field {

LogEvent callerEvent(const Caller& caller, std::string_view messageId, int priority,
                     std::string_view operation) {
  return LogEvent{messageId,
                  priority,
                  {{kOperation, std::string(operation)},
                   {kCallerUid, std::to_string(caller.uid)},
                   {kCallerPid, std::to_string(caller.pid)}}};
}

}  // namespace zel::log_field
