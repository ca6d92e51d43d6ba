// SPDX-License-Identifier: MIT
// helperGroups: the helper's groups as its record and the group file show them, read-only, so
// that a caller refused for its quota sees which groups count against it.
#include <algorithm>

#include <fmt/format.h>

#include "daemon/caller.h"
#include "daemon/daemon_zel_helper.h"
#include "daemon/group_step.h"
#include "platform/identity_authority.h"
#include "protocol/helper_group_listing.h"
#include "protocol/wire.h"

namespace zel {
namespace {

// Who asked for `group`, as far as `caller` may know: names and members are public in the group
// file, who asked is not. Root knows every asker; another caller knows itself and root, whose
// groups the rules tell apart anyway (they are not open).
std::string askedBy(const GroupIdentity& group, uid_t caller, const IdentityAuthority& identities) {
  if (caller != 0 && group.requestedBy != caller && group.requestedBy != 0)
    return "another user";
  const UserIdentity* user = identities.identityWithUid(group.requestedBy);
  return user ? user->name : fmt::format("uid {}", group.requestedBy);
}

std::string summary(uid_t caller, const IdentityAuthority& identities) {
  if (caller == 0)
    return fmt::format("the helper holds {} groups; users can make new ones until it holds {}",
                       identities.helperGroupCount(), kHelperGroupLimit);
  return fmt::format("you asked for {} of at most {} helper groups",
                     identities.helperGroupsRequestedBy(caller), kGroupsPerCaller);
}

}  // namespace

std::string DaemonZelHelper::helperGroups(uint32_t fromGid) {
  const uid_t caller = currentCaller().uid;
  const IdentityAuthority identities = IdentityAuthority::localIdentityAuthority();
  const std::vector<const GroupIdentity*>& groups = identities.helperGroups();
  std::string page = summary(caller, identities) + "\n";
  auto group = std::lower_bound(groups.begin(), groups.end(), fromGid,
                                [](const GroupIdentity* g, uint32_t gid) { return g->gid < gid; });
  for (; group != groups.end(); ++group) {
    const std::string line =
        helperGroupLine({(*group)->gid, (*group)->name, (*group)->fullName,
                         askedBy(**group, caller, identities), (*group)->isOpen()});
    if (page.size() + line.size() > wire::kMaxString)
      break;
    page += line;
  }
  return page;
}

}  // namespace zel
