// +putUser:inGroup: — makes sure the user belongs to the group that will own the provisioned
// items, creating the group when no group has that full name.
#include <fmt/printf.h>

#include "daemon/safety_rules.h"
#include "daemon/zel_helper.h"
#include "platform/identity_authority.h"
#include "platform/log.h"

namespace zel {
namespace {

constexpr size_t kNewGroupErrorLimit = 255;

// At most `limit` bytes, cut back to a whole UTF-8 character.
std::string truncated(std::string text, size_t limit) {
  if (text.size() <= limit)
    return text;
  size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
    --end;
  text.resize(end);
  return text;
}

}  // namespace

bool ZelHelper::putUser(const std::string& user, const std::string& group) {
  IdentityAuthority authority = IdentityAuthority::localIdentityAuthority();
  const UserIdentity* identity = authority.identityWithName(user);
  if (identity == nullptr) {
    systemLog("No identity");
    return false;
  }
  SafetyRules rules = SafetyRules::forCurrentCaller();
  std::string subject = fmt::format("{} in group {}", user, group);
  if (auto rule = rules.refusalToName(*identity)) {
    rules.logRefusal(LogChannel::kSystemLog, "putUser", subject, *rule);
    return false;
  }

  std::optional<GroupIdentity> created;
  const GroupIdentity* found = authority.groupWithFullName(group);
  if (found == nullptr) {
    systemLog("ZelHelper group not found");
    created = authority.newGroup(group);
    if (!created) {
      systemLog("ZelHelper putUser could not create group");
      return false;
    }
    if (auto error = authority.commitNewGroup(*created)) {
      systemLog(fmt::sprintf("ZelHelper error committing new group %s code %ld",
                             truncated(error->description, kNewGroupErrorLimit), error->code));
      return false;
    }
    found = &*created;
  }
  // A user read from the user file always has its identity, so there is no "No identityRef".
  if (authority.isMemberOfGroup(*identity, *found))
    return true;
  if (auto rule = rules.refusalToAdd(*found)) {
    rules.logRefusal(LogChannel::kSystemLog, "putUser", subject, *rule);
    return false;
  }
  if (auto error = authority.addMember(*found, *identity)) {
    systemLog(
        fmt::sprintf("ZelHelper error committing %s code %ld", error->description, error->code));
    return false;
  }
  return true;
}

}  // namespace zel
