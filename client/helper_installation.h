// SPDX-License-Identifier: MIT
// The steps of ZelHelper::install that follow its AuthorizationCreate, for a caller that made
// the authorization itself with createHelperAuthorization (the command line, which tells the
// user why there is none): logs `status` as install does, then with a reference removes the
// installed job, blesses the helper and connects (getHelper); answers null when any of that
// failed. The caller keeps the reference.
#pragma once

#include <memory>

#include "platform/authorization.h"
#include "protocol/zel_helper.h"

namespace zel {

std::shared_ptr<ZelHelper> installWithAuthorization(OSStatus status, const Authorization* authRef);

}  // namespace zel
