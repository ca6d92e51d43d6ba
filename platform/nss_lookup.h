// SPDX-License-Identifier: MIT
// Users and groups as the system's name service (NSS) gives them, directory services included.
// Each call asks afresh; safe from any thread (the reentrant C library calls).
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/identity_authority.h"

namespace zel {

// The user entry of `uid`; nothing when there is none or the lookup fails.
std::optional<UserIdentity> nssUserWithUid(uid_t uid);
// getgrouplist: `gid` first, then every other group listing `user`.
std::vector<gid_t> nssGroupList(const std::string& user, gid_t gid);
// True when a user or a group has that name, or when a lookup cannot tell.
bool nssNameTaken(const std::string& name);
// True when a group has that gid, or when the lookup cannot tell.
bool nssGidTaken(gid_t gid);

}  // namespace zel
