// SPDX-License-Identifier: MIT
// Inside the identity authority: the files as read once, and the indexes built from them when
// they are read. Immutable once built; the indexes point into `users` and `groups`.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/identity_authority.h"
#include "platform/login_defs.h"

namespace zel {

struct IdentityAuthority::Snapshot {
  std::vector<UserIdentity> users;
  std::vector<GroupIdentity> groups;
  RegularUidRange regularUids;
  gid_t highestRecordedGid = 0;

  // The first of each name, uid and full name, in file order.
  std::unordered_map<std::string_view, const UserIdentity*> usersByName;
  std::unordered_map<uid_t, const UserIdentity*> usersByUid;
  std::unordered_map<std::string_view, const GroupIdentity*> groupsByName;
  std::unordered_map<std::string_view, const GroupIdentity*> groupsByFullName;
  std::unordered_set<gid_t> usedGids;
  std::unordered_set<gid_t> primaryGids;
  std::unordered_set<std::string> homes;  // without trailing slashes
  // The gids of the groups listing each user name, in file order.
  std::unordered_map<std::string_view, std::vector<gid_t>> listedGids;
  std::unordered_map<uid_t, std::size_t> helperGroupsByRequester;
  std::vector<const GroupIdentity*> helperGroups;  // in gid order

  Snapshot(const Snapshot&) = delete;
  Snapshot& operator=(const Snapshot&) = delete;
  Snapshot() = default;
};

}  // namespace zel
