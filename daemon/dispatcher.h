// SPDX-License-Identifier: MIT
// Runs one decoded call on the daemon's root object, as the given caller, and encodes its
// reply. Derived from the remote interface table (protocol/remote_interface.h).
//
// Thread: the daemon's serving thread; the operation runs to completion before this returns.
#pragma once

#include <string>

#include "daemon/caller.h"
#include "protocol/remote_interface.h"
#include "protocol/zel_helper.h"

namespace zel {

// The reply frame for `call`. The operation sees `caller` through currentCaller(), and
// `lastReason`, the connection's reason slot, through noteReason and lastNotedReason: every call
// but lastReason starts with it empty.
std::string dispatchCall(ZelHelper& helper, const remote::AnyCall& call, const Caller& caller,
                         std::string& lastReason);

}  // namespace zel
