// Refusal lines, limited per uid so that no caller can flood the log: at most 10 a minute for
// each uid, then one summary line a minute saying how many were left out.
// Thread: the daemon's serving thread.
#pragma once

#include <sys/types.h>

#include <string_view>

#include "platform/log.h"

namespace zel {

// Logs `line` (a complete "ZelHelper refused ..." line) in `channel` unless `uid` is over its
// allowance.
void logRefusalLine(LogChannel channel, uid_t uid, std::string_view line);

}  // namespace zel
