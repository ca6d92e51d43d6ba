// SPDX-License-Identifier: MIT
#include "platform/authorization.h"

#include <unistd.h>

#include <algorithm>

namespace zel {

bool Authorization::holds(std::string_view right) const {
  return std::find(mRights.begin(), mRights.end(), right) != mRights.end();
}

OSStatus AuthorizationCreate(const AuthorizationRights* rights,
                             const AuthorizationEnvironment* /*environment*/,
                             AuthorizationFlags /*flags*/,
                             std::unique_ptr<Authorization>* authorization) {
  authorization->reset();
  if (geteuid() != 0)
    return errAuthorizationDenied;
  std::vector<std::string> granted;
  for (uint32_t i = 0; rights != nullptr && i < rights->count; ++i)
    granted.emplace_back(rights->items[i].name);
  *authorization = std::make_unique<Authorization>(std::move(granted));
  return errAuthorizationSuccess;
}

}  // namespace zel
