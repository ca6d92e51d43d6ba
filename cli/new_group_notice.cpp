// SPDX-License-Identifier: MIT
#include "cli/new_group_notice.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <fmt/core.h>

#include "platform/identity_authority.h"

namespace zel::cli {
namespace {

std::vector<gid_t> sessionGroups() {
  std::vector<gid_t> groups(static_cast<size_t>(std::max(getgroups(0, nullptr), 0)));
  const int count = getgroups(static_cast<int>(groups.size()), groups.data());
  groups.resize(static_cast<size_t>(std::max(count, 0)));
  groups.push_back(getgid());
  groups.push_back(getegid());
  return groups;
}

}  // namespace

void tellAboutGroupsOutsideThisSession() {
  const IdentityAuthority identities = IdentityAuthority::localIdentityAuthority();
  const Account account = identities.accountOf(getuid());
  const std::vector<gid_t> session = sessionGroups();
  for (const GroupIdentity& group : identities.groups()) {
    if (!group.name.starts_with("zel-") || !account.belongsTo(group.gid) ||
        std::find(session.begin(), session.end(), group.gid) != session.end())
      continue;
    fmt::print(stderr,
               "zelhelper: you are now in the group {0}, which this session does not have yet: "
               "log in again, or run 'newgrp {0}', to use it here\n",
               group.name);
  }
}

}  // namespace zel::cli
