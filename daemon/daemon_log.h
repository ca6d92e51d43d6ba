// SPDX-License-Identifier: MIT
// The journal fields of the daemon's lines: each line carries what is known of the request or
// connection it is about (names from ZELHELPER_OPERATION to ZELHELPER_RULE); fields with empty
// values are not sent.
#pragma once

#include <string_view>

#include "daemon/caller.h"
#include "platform/log.h"

namespace zel::log_field {

inline constexpr std::string_view kOperation = "ZELHELPER_OPERATION";
inline constexpr std::string_view kPath = "ZELHELPER_PATH";
inline constexpr std::string_view kGroup = "ZELHELPER_GROUP";
inline constexpr std::string_view kUser = "ZELHELPER_USER";
inline constexpr std::string_view kCallerUid = "ZELHELPER_CALLER_UID";
inline constexpr std::string_view kCallerPid = "ZELHELPER_CALLER_PID";
inline constexpr std::string_view kRule = "ZELHELPER_RULE";

// An event of kind `messageId` at `priority` that names `caller` and, when given, the operation.
LogEvent callerEvent(const Caller& caller, std::string_view messageId, int priority,
                     std::string_view operation = {});

}  // namespace zel::log_field
