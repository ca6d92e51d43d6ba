// SPDX-License-Identifier: MIT
#include "daemon/safety_rules.h"

#include <sys/stat.h>

#include <algorithm>

#include <fmt/format.h>

#include "daemon/request.h"

namespace zel {
namespace {

constexpr mode_t kSharedBits = 0770;

bool ownsItem(const Request& request, const struct stat& status) {
  return status.st_uid == request.caller().uid;
}

bool isHome(const Request& request, const PathWalk& walk) {
  std::string path = walk.path();
  const std::optional<UserIdentity>& entry = request.account().entry;
  return walk.components.empty() || request.identities().isHomeDirectory(path) ||
         (entry && entry->home == path);
}

}  // namespace

std::optional<Refusal> refusalOfWalk(const PathWalk& walk) {
  switch (walk.stop) {
    case WalkStop::kInvalidPath:
      return Refusal{"rule:path", "paths must be absolute, without . or .. components"};
    case WalkStop::kLink:
      return Refusal{"rule:link",
                     "the path goes through a symbolic link that is not followed (only links "
                     "that root made in a directory only root can write to are)"};
    case WalkStop::kSearch:
      return Refusal{"rule:search",
                     "the path goes through a directory you cannot search, so nothing below it "
                     "is reached for you"};
    case WalkStop::kFileSystem:
      return Refusal{"rule:file-system",
                     "the path leads into a FUSE, network or automount file system, which the "
                     "helper does not enter for you"};
    default:
      return std::nullopt;
  }
}

bool isSharedItem(const Request& request, const struct stat& status) {
  if (status.st_uid != 0)
    return false;
  const std::vector<GroupIdentity>& groups = request.identities().groups();
  return std::any_of(groups.begin(), groups.end(), [&](const GroupIdentity& group) {
    return group.gid == status.st_gid && group.isOpen();
  });
}

std::optional<Refusal> refusalToTakeOver(const Request& request, const PathWalk& walk,
                                         const WalkedItem& item, gid_t groupId) {
  if (request.unrestricted())
    return std::nullopt;
  if (isHome(request, walk))
    return Refusal{"rule:home", "the helper does not take over / or a user's home directory"};
  if (ownsItem(request, item.status))
    return std::nullopt;
  if (!isSharedItem(request, item.status) || item.status.st_gid != groupId)
    return Refusal{"rule:take-over",
                   "an existing item is taken over only when you own it, or when it is a shared "
                   "item of the request's group"};
  if (item.acl)
    return Refusal{"rule:acl", "items with an access control list are changed only by their owner"};
  return std::nullopt;
}

std::optional<Refusal> refusalToCreateIn(const AccessSubject& subject,
                                         const WalkedItem& directory) {
  if (mayAccess(subject, directory.status, directory.acl, kMayWrite | kMaySearch))
    return std::nullopt;
  return Refusal{"rule:create-in", "new items are created only below a directory you can write to"};
}

std::optional<Refusal> refusalToSetPermissions(const Request& request, const AccessSubject& subject,
                                               const WalkedItem& item, mode_t asked) {
  if (request.unrestricted())
    return std::nullopt;
  const struct stat& status = item.status;
  bool owner = ownsItem(request, status);
  if (!owner && !(isSharedItem(request, status) && subject.belongsTo(status.st_gid)))
    return Refusal{"rule:set-permissions",
                   "permissions are set only on items you own, or on shared items of a group "
                   "you belong to"};
  if (!owner && item.acl)
    return Refusal{"rule:acl", "items with an access control list are changed only by their owner"};
  mode_t gained = asked & ~status.st_mode & 07777;
  bool groupIdAllowed = S_ISDIR(status.st_mode) && subject.belongsTo(status.st_gid);
  if ((gained & S_ISUID) != 0 || ((gained & S_ISGID) != 0 && !groupIdAllowed))
    return Refusal{"rule:set-id",
                   "the helper never sets the set-user-ID bit for you, and the set-group-ID bit "
                   "only on a directory whose group you belong to"};
  if (!owner && gained != 0)
    return Refusal{"rule:shared-mode",
                   "a new mode of a shared item adds no permission the item does not have, and "
                   "changes nothing outside 0770"};
  return std::nullopt;
}

mode_t modeWithinRules(const Request& request, const WalkedItem& item, mode_t asked) {
  const struct stat& status = item.status;
  if (request.unrestricted() || ownsItem(request, status))
    return asked;
  mode_t current = status.st_mode & 07777;
  return (current & ~kSharedBits) | (asked & kSharedBits & current);
}

Refusal keptModeReason(mode_t mode) {
  return Refusal{"rule:shared-mode",
                 fmt::format("the shared item keeps its mode {:04o}: the helper adds no "
                             "permission to a shared item and keeps its bits outside 0770",
                             mode)};
}

}  // namespace zel
