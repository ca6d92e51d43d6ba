// SPDX-License-Identifier: MIT
#include "client/helper_rights.h"

#include "platform/service_management.h"

namespace zel {
namespace {

const AuthorizationItem kRightItems[] = {
    {kSMRightBlessPrivilegedHelper, 0, nullptr, 0},
    {kSMRightModifySystemDaemons, 0, nullptr, 0},
};
const AuthorizationRights kRights = {2, kRightItems};
constexpr AuthorizationFlags kFlags = kAuthorizationFlagInteractionAllowed |
                                      kAuthorizationFlagExtendRights |
                                      kAuthorizationFlagPreAuthorize;
static_assert(kFlags == 19);

}  // namespace

OSStatus createHelperAuthorization(std::unique_ptr<Authorization>* authRef) {
  return AuthorizationCreate(&kRights, kAuthorizationEmptyEnvironment, kFlags, authRef);
}

}  // namespace zel
