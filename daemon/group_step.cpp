#include "daemon/group_step.h"

#include <fmt/printf.h>

#include "platform/log.h"

namespace zel {

std::optional<GroupStep> planGroupStep(const Request& request, const std::string& user,
                                       const std::string& group) {
  const IdentityAuthority& authority = request.identities();
  const UserIdentity* identity = authority.identityWithName(user);
  if (identity == nullptr) {
    systemLog("No identity");
    return std::nullopt;
  }
  std::string subject = fmt::format("{} in group {}", user, group);
  if (request.refused(request.rules().refusalToName(*identity)))
    return std::nullopt;
  GroupStep step{*identity, {}, false, false};
  if (const GroupIdentity* found = authority.groupForRequest(group)) {
    step.group = *found;
  } else {
    systemLog("ZelHelper group not found");
    std::string problem;
    std::optional<GroupIdentity> created =
        authority.newGroup(group, request.caller().uid, &problem);
    if (!created) {
      systemLog("ZelHelper putUser could not create group");
      return std::nullopt;
    }
    step.group = *created;
    step.createsGroup = true;
  }
  step.addsMember = !authority.isMemberOfGroup(*identity, step.group);
  if (step.addsMember && request.refused(request.rules().refusalToAdd(step.group)))
    return std::nullopt;
  return step;
}

bool performGroupStep(const Request& request, const GroupStep& step) {
  const IdentityAuthority& authority = request.identities();
  GroupIdentity group = step.group;
  if (step.createsGroup) {
    if (auto error = authority.commitNewGroup(group)) {
      systemLog(fmt::sprintf("ZelHelper error committing new group %s code %ld",
                             error->description.substr(0, 255), error->code));
      return false;
    }
  }
  if (step.addsMember) {
    if (auto error = authority.addMember(group, step.user)) {
      systemLog(
          fmt::sprintf("ZelHelper error committing %s code %ld", error->description, error->code));
      return false;
    }
  }
  return true;
}

}  // namespace zel
