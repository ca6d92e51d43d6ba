// SPDX-License-Identifier: MIT
#include "platform/authorization.h"

#include <unistd.h>

#include <algorithm>

#include "platform/consent_channel.h"

namespace zel {

Authorization::Authorization(std::vector<std::string> rights) : mRights(std::move(rights)) {}

Authorization::Authorization(std::vector<std::string> rights,
                             std::unique_ptr<ConsentChannel> rootSide)
    : mRights(std::move(rights)), mRootSide(std::move(rootSide)) {}

Authorization::~Authorization() = default;

bool Authorization::holds(std::string_view right) const {
  return std::find(mRights.begin(), mRights.end(), right) != mRights.end();
}

OSStatus AuthorizationCreate(const AuthorizationRights* rights,
                             const AuthorizationEnvironment* /*environment*/,
                             AuthorizationFlags flags,
                             std::unique_ptr<Authorization>* authorization) {
  authorization->reset();
  std::unique_ptr<ConsentChannel> rootSide;
  if (geteuid() != 0) {
    if (OSStatus status = ConsentChannel::open(flags, &rootSide); status != errAuthorizationSuccess)
      return status;
  }
  std::vector<std::string> granted;
  for (uint32_t i = 0; rights != nullptr && i < rights->count; ++i)
    granted.emplace_back(rights->items[i].name);
  *authorization = std::make_unique<Authorization>(std::move(granted), std::move(rootSide));
  return errAuthorizationSuccess;
}

}  // namespace zel
