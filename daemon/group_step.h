// SPDX-License-Identifier: MIT
// The group step of a provisioning request (+putUser:inGroup:): the named user made a member of
// the request's group, the group created first when no group has that name. Planned before any
// change, with every rule for it checked; performed only once every check on the item passed.
//
// For callers other than root: only the caller itself may be named (rule:own-user), and only if
// it is a regular user (rule:regular-user); it is added only to an open helper group
// (rule:open-group) that is nobody's primary group (rule:primary-group); it makes a new group
// only while it has made fewer than 8 that still exist (rule:group-quota) and the helper holds
// fewer than 600 (rule:group-limit). Every caller, root too, gets a new group with a "zel-" name
// and a gid of the helper's range; when the range is used up, the step refuses (rule:group-limit).
// Thread: the daemon's serving thread.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "daemon/request.h"
#include "platform/identity_authority.h"

namespace zel {

// The limits on new groups for callers other than root: the existing groups that one caller
// asked for, and the helper's groups in all.
inline constexpr std::size_t kGroupsPerCaller = 8;
inline constexpr std::size_t kHelperGroupLimit = 600;

struct GroupStep {
  UserIdentity user;    // the named user
  GroupIdentity group;  // the request's group: the existing one, or the one the step creates
  bool createsGroup = false;
  bool addsMember = false;
};

// The plan for the step, or nothing when a rule refuses it or it cannot be done (logged with
// the system's messages, and noted for the caller); nothing is changed. A plan that creates a
// group has its gid and POSIX name chosen already, and adds the user.
std::optional<GroupStep> planGroupStep(const Request& request, const std::string& user,
                                       const std::string& group);

// Creates the group and adds the member as planned; false, logged and noted, when a tool fails.
bool performGroupStep(const Request& request, const GroupStep& step);

}  // namespace zel
