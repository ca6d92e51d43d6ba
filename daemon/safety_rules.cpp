#include "daemon/safety_rules.h"

#include <sys/stat.h>

#include <algorithm>

#include <fmt/format.h>

#include "platform/path_walk.h"

namespace zel {

SafetyRules::SafetyRules(const Caller& caller, std::vector<gid_t> callerGroups)
    : mCaller(caller), mCallerGroups(std::move(callerGroups)) {}

SafetyRules SafetyRules::forCurrentCaller() {
  Caller caller = currentCaller();
  if (caller.uid == 0)
    return SafetyRules(caller, {});
  IdentityAuthority authority = IdentityAuthority::localIdentityAuthority();
  return SafetyRules(caller, authority.groupsOfProcess(caller.uid, caller.gid));
}

bool SafetyRules::isCallerGroup(gid_t gid) const {
  return std::find(mCallerGroups.begin(), mCallerGroups.end(), gid) != mCallerGroups.end();
}

std::optional<std::string> SafetyRules::refusalOfPath(const std::string& path) {
  if (!absolutePathComponents(path))
    return "paths must be absolute, without . or .. components";
  if (std::optional<std::string> link = FileManager::defaultManager().symbolicLinkInPath(path))
    return fmt::format("no symbolic link is followed in a path, and {} is one", *link);
  return std::nullopt;
}

std::optional<std::string> SafetyRules::refusalToName(const UserIdentity& user) const {
  if (unrestricted() || user.uid == mCaller.uid)
    return std::nullopt;
  return "a caller other than root may name only itself as the user";
}

std::optional<std::string> SafetyRules::refusalToAdd(const GroupIdentity& group) const {
  if (unrestricted() || group.createdByHelper)
    return std::nullopt;
  return "a caller other than root is added only to a group it already belongs to or that this "
         "helper created";
}

std::optional<std::string> SafetyRules::refusalToTakeOver(const ItemAttributes& item,
                                                          std::optional<gid_t> requestGroup) const {
  if (unrestricted() || item.ownerAccountID == mCaller.uid ||
      (requestGroup && item.groupOwnerAccountID == *requestGroup))
    return std::nullopt;
  return "an existing item is taken over only for its owner, or when it already belongs to the "
         "request's group";
}

std::optional<std::string> SafetyRules::refusalToCreateIn(const ItemAttributes& directory,
                                                          std::optional<gid_t> requestGroup) const {
  if (unrestricted() || (requestGroup && directory.groupOwnerAccountID == *requestGroup))
    return std::nullopt;
  // Write and search permission, judged as the kernel judges the caller's class.
  uint32_t mode = directory.posixPermissions;
  bool canWrite = false;
  if (directory.ownerAccountID == mCaller.uid) {
    canWrite = (mode & (S_IWUSR | S_IXUSR)) == (S_IWUSR | S_IXUSR);
  } else if (!directory.hasAccessControlList) {  // named ACL entries may deny this caller
    mode_t bits =
        isCallerGroup(directory.groupOwnerAccountID) ? (S_IWGRP | S_IXGRP) : (S_IWOTH | S_IXOTH);
    canWrite = (mode & bits) == bits;
  }
  if (canWrite)
    return std::nullopt;
  return "new items are created only below a directory the caller can write to, or that belongs "
         "to the request's group";
}

std::optional<std::string> SafetyRules::refusalToSetPermissions(const ItemAttributes& item,
                                                                uint32_t permissions) const {
  if (unrestricted() || item.ownerAccountID == mCaller.uid)
    return std::nullopt;
  if (!isCallerGroup(item.groupOwnerAccountID))
    return "permissions are set only on items the caller owns or whose group it is a member of";
  if ((permissions & (S_ISUID | S_ISGID)) != 0)
    return "set-user-ID and set-group-ID bits are set only on items the caller owns";
  return std::nullopt;
}

void SafetyRules::logRefusal(LogChannel channel, std::string_view operation,
                             std::string_view subject, std::string_view rule) const {
  std::string line =
      fmt::format("ZelHelper refused {} {} for uid {}: {}", operation, subject, mCaller.uid, rule);
  if (channel == LogChannel::kNSLog)
    NSLog(line);
  else
    systemLog(line);
}

}  // namespace zel
