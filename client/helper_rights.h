// SPDX-License-Identifier: MIT
// The authorization that installing, re-installing and removing the helper need: both
// service rights (blessing a helper, modifying system daemons), asked for at once so that the
// user is asked at most once, with interaction allowed, rights extended and pre-authorized
// (flags 19). Granted to root at once, and to an ordinary user once an administrator consents
// through polkit (platform/authorization.h).
#pragma once

#include <memory>

#include "platform/authorization.h"

namespace zel {

OSStatus createHelperAuthorization(std::unique_ptr<Authorization>* authRef);

}  // namespace zel
