// SPDX-License-Identifier: MIT
#include "daemon/group_step.h"

#include <fmt/format.h>
#include <fmt/printf.h>

#include "platform/log.h"
#include "platform/message_ids.h"

namespace zel {
namespace {

// The rules for naming the user, for callers other than root.
std::optional<Refusal> refusalToName(const Request& request, const UserIdentity& user) {
  if (user.uid != request.caller().uid)
    return Refusal{"rule:own-user", "you can name only yourself as the user"};
  if (!request.account().regular)
    return Refusal{"rule:regular-user",
                   "only regular users with a login shell are added to groups"};
  return std::nullopt;
}

// The rules for joining an existing group, for callers other than root.
std::optional<Refusal> refusalToJoin(const Request& request, const GroupIdentity& group) {
  if (!group.isOpen())
    return Refusal{"rule:open-group",
                   "you can join only a group the helper made at a user's request"};
  if (request.identities().isPrimaryGroupOfAnyone(group.gid))
    return Refusal{"rule:primary-group", "you cannot join a group that is a user's primary group"};
  return std::nullopt;
}

// The limits on new groups for callers other than root.
std::optional<Refusal> refusalToMake(const Request& request) {
  const IdentityAuthority& authority = request.identities();
  if (authority.helperGroupsRequestedBy(request.caller().uid) >= kGroupsPerCaller)
    return Refusal{
        "rule:group-quota",
        fmt::format("you already have {} groups that the helper made for you", kGroupsPerCaller)};
  if (authority.helperGroupCount() >= kHelperGroupLimit)
    return Refusal{"rule:group-limit",
                   fmt::format("the helper already holds {} groups; an administrator can delete "
                               "unused zel- groups",
                               kHelperGroupLimit)};
  return std::nullopt;
}

}  // namespace

std::optional<GroupStep> planGroupStep(const Request& request, const std::string& user,
                                       const std::string& group) {
  const IdentityAuthority& authority = request.identities();
  const UserIdentity* identity = authority.identityWithName(user);
  if (identity == nullptr) {
    request.log("No identity", message_id::kNoIdentity);
    noteReason("failed: no local user has that name");
    return std::nullopt;
  }
  std::string subject = fmt::format("{} in group {}", user, group);
  bool restricted = !request.unrestricted();
  if (restricted && request.refused(refusalToName(request, *identity), subject))
    return std::nullopt;

  GroupStep step{*identity, {}, false, false};
  if (const GroupIdentity* found = authority.groupForRequest(group)) {
    step.group = *found;
    step.addsMember = !authority.isMemberOfGroup(*identity, step.group);
    if (step.addsMember && restricted && request.refused(refusalToJoin(request, *found), subject))
      return std::nullopt;
    return step;
  }

  request.log("ZelHelper group not found", message_id::kGroupNotFound);
  if (restricted && request.refused(refusalToMake(request), subject))
    return std::nullopt;
  std::string problem;
  std::optional<GroupIdentity> created = authority.newGroup(group, request.caller().uid, &problem);
  if (!created && !authority.freeHelperGid()) {
    request.refused(Refusal{"rule:group-limit", problem}, subject);
    return std::nullopt;
  }
  if (!created) {
    request.log("ZelHelper putUser could not create group", message_id::kGroupNotCreated);
    noteReason(fmt::format("failed: {}", problem));
    return std::nullopt;
  }
  step.group = *created;
  step.createsGroup = true;
  step.addsMember = true;
  return step;
}

bool performGroupStep(const Request& request, const GroupStep& step) {
  const IdentityAuthority& authority = request.identities();
  if (step.createsGroup) {
    if (auto error = authority.commitNewGroup(step.group)) {
      request.log(fmt::sprintf("ZelHelper error committing new group %s code %ld",
                               error->description.substr(0, 255), error->code),
                  message_id::kNewGroupNotCommitted);
      noteReason("failed: the helper could not create the group");
      return false;
    }
    request.audit(fmt::format("created group {} (gid {}, full name \"{}\")", step.group.name,
                              step.group.gid, step.group.fullName));
  }
  if (step.addsMember) {
    if (auto error = authority.addMember(step.group, step.user)) {
      request.log(
          fmt::sprintf("ZelHelper error committing %s code %ld", error->description, error->code),
          message_id::kMembershipNotCommitted);
      noteReason("failed: the helper could not add the user to the group");
      return false;
    }
    request.audit(fmt::format("added user {} to group {} (gid {})", step.user.name, step.group.name,
                              step.group.gid));
  }
  return true;
}

}  // namespace zel
