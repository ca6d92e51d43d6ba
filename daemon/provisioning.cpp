// SPDX-License-Identifier: MIT
// createFile, createDirectory and permitAccessToPath: items that belong to the request's group
// with mode 0770 (directories 02770, so that new entries keep the group), for users who reach
// them through that group.
//
// Each request walks its path once (platform/path_walk.h) and acts on the descriptors of that
// walk. For callers other than root, every check on the item comes before the group step, which
// then runs only for a request that will change something; the item is checked again through
// its descriptor right before the change. Root keeps the operations' own order, except that a
// path refused by rule 1 changes nothing.
#include <cerrno>

#include <fmt/format.h>
#include <fmt/printf.h>

#include "daemon/daemon_zel_helper.h"
#include "daemon/group_step.h"
#include "daemon/request.h"
#include "daemon/safety_rules.h"
#include "platform/file_manager.h"
#include "platform/identity_authority.h"
#include "platform/log.h"
#include "platform/message_ids.h"
#include "platform/path_walk.h"
#include "platform/volume_path.h"

namespace zel {
namespace {

constexpr mode_t kFileMode = 0770;  // 504
constexpr mode_t kDirectoryMode = 02770;

// The messages an operation gives when it takes over an existing item.
struct TakeOverMessages {
  const char* readFailure;
  const char* announcement;  // or null
  const char* setFailure;
};

// A request whose group step is planned, with the caller as the rules judge it.
class Provisioning {
 public:
  Provisioning(const Request& request, GroupStep step)
      : mRequest(&request), mStep(std::move(step)) {}

  const Request& request() const { return *mRequest; }
  bool restricted() const { return !mRequest->unrestricted(); }
  // The caller, counted as a member of the group the step would add it to. A group the step
  // creates has no items yet, so membership in it decides nothing before the step.
  AccessSubject subject() const {
    bool joins = mStep.addsMember && (mPerformed || !mStep.createsGroup);
    return mRequest->subject(joins ? std::optional<gid_t>(mStep.group.gid) : std::nullopt);
  }
  gid_t groupId() const { return mStep.group.gid; }

  // Performs the step once; a group it creates gets the gid chosen when it was planned.
  bool performStep() {
    if (!mPerformed && !performGroupStep(*mRequest, mStep))
      return false;
    mPerformed = true;
    return true;
  }

 private:
  const Request* mRequest;
  GroupStep mStep;
  bool mPerformed = false;
};

mode_t provisionedMode(const WalkedItem& item) {
  return item.isDirectory() ? kDirectoryMode : kFileMode;
}

// The group step planned (and, for root, performed after the walk passed rule 1), then the walk
// for the caller; nothing when the request ends there.
std::optional<Provisioning> prepare(const Request& request, const std::string& user,
                                    const std::string& group, PathWalk* walk) {
  if (!absolutePathComponents(request.path())) {
    request.refused(refusalOfWalk(walkPath(request.path(), nullptr)));
    return std::nullopt;
  }
  std::optional<GroupStep> step = planGroupStep(request, user, group);
  if (!step)
    return std::nullopt;
  Provisioning provisioning(request, std::move(*step));
  AccessSubject subject = provisioning.subject();
  *walk = walkPath(request.path(), provisioning.restricted() ? &subject : nullptr);
  if (request.refused(refusalOfWalk(*walk)))
    return std::nullopt;
  if (!provisioning.restricted() && !provisioning.performStep())
    return std::nullopt;
  return provisioning;
}

// Gives the walked, existing item the group and its provisioned mode, with the operation's own
// messages.
bool takeOver(Provisioning& provisioning, PathWalk& walk, const TakeOverMessages& messages) {
  const Request& request = provisioning.request();
  WalkedItem& item = *walk.item;
  if (provisioning.restricted() &&
      request.refused(refusalToTakeOver(request, walk, item, provisioning.groupId())))
    return false;
  if (!provisioning.performStep())
    return false;
  const FileManager& files = FileManager::defaultManager();
  FileError error;
  if (!files.attributesOfFileSystem(item, walk.path(), &error)) {
    request.log(messages.readFailure, message_id::kFileSystemUnreadable);
    return false;
  }
  if (messages.announcement != nullptr)
    request.log(messages.announcement, message_id::kChangingFileAttributes);
  if (provisioning.restricted()) {
    if (!refreshItem(item, true, &error))
      return request.failed(error, messages.setFailure, message_id::kPrivilegesNotSet);
    if (request.refused(refusalToTakeOver(request, walk, item, provisioning.groupId())))
      return false;
  }
  mode_t asked = provisionedMode(item);
  mode_t mode = modeWithinRules(request, item, asked);
  const struct stat before = item.status;
  if (!files.setAttributes(item, ItemChange{provisioning.groupId(), mode}, walk.path(), &error))
    return request.failed(error, messages.setFailure, message_id::kPrivilegesNotSet);
  request.auditChange(walk.path(), before, item.status);
  if (mode != asked)
    request.kept(keptModeReason(mode));
  return true;
}

// For a caller other than root: may the missing items be made in the deepest directory?
bool mayCreate(Provisioning& provisioning, PathWalk& walk) {
  if (!provisioning.restricted())
    return true;
  return !provisioning.request().refused(
      refusalToCreateIn(provisioning.subject(), walk.directories.back()));
}

// The group step, then the same check again through the directory's descriptor.
bool performStepAndRecheck(Provisioning& provisioning, PathWalk& walk, FileError* error) {
  if (!provisioning.performStep())
    return false;
  if (!provisioning.restricted())
    return true;
  if (!refreshItem(walk.directories.back(), true, error)) {
    provisioning.request().failed(
        *error,
        fmt::format("ZelHelper {}: could not read {} again: {}", provisioning.request().operation(),
                    walk.path(walk.missingIndex()), error->description));
    return false;
  }
  return mayCreate(provisioning, walk);
}

std::string creationFailure(const Request& request, const FileError& error) {
  return fmt::sprintf("ZelHelper %s: could not create %s: %s", std::string(request.operation()),
                      request.path(), error.description);
}

}  // namespace

bool DaemonZelHelper::createFile(const std::string& path, const std::string& user,
                                 const std::string& group) {
  Request request("createFile", LogChannel::kSystemLog, path, user, group);
  PathWalk walk;
  std::optional<Provisioning> provisioning = prepare(request, user, group, &walk);
  if (!provisioning)
    return false;
  if (walk.stop == WalkStop::kComplete) {
    if (walk.item->isDirectory())
      return false;
    return takeOver(*provisioning, walk,
                    {"ZelHelper Error getting file privileges",
                     "ZelHelper changing file attributes", "Error setting file privileges"});
  }
  bool missingItself =
      walk.stop == WalkStop::kMissing && walk.missingIndex() + 1 == walk.components.size();
  if (missingItself && !mayCreate(*provisioning, walk))
    return false;
  request.log("ZelHelper createFile: file doesn't exist", message_id::kItemMissing);
  if (!missingItself)
    return request.failed(walk.error, creationFailure(request, walk.error));
  FileError error;
  if (!performStepAndRecheck(*provisioning, walk, &error))
    return false;
  if (!FileManager::defaultManager().createFile(walk.directories.back(), walk.components.back(),
                                                ItemChange{provisioning->groupId(), kFileMode},
                                                walk.path(), &error))
    return request.failed(error, creationFailure(request, error));
  request.audit(fmt::format("created file {} group {} mode {:#o}", walk.path(),
                            provisioning->groupId(), kFileMode));
  return true;
}

bool DaemonZelHelper::createDirectory(const std::string& path, const std::string& user,
                                      const std::string& group) {
  Request request("createDirectory", LogChannel::kSystemLog, path, user, group);
  PathWalk walk;
  std::optional<Provisioning> provisioning = prepare(request, user, group, &walk);
  if (!provisioning)
    return false;
  if (walk.stop == WalkStop::kComplete)
    return takeOver(*provisioning, walk,
                    {"ZelHelper Error getting dir privileges", nullptr,
                     "ZelHelper Error setting dir privileges"});
  bool missing = walk.stop == WalkStop::kMissing;
  if (missing && !mayCreate(*provisioning, walk))
    return false;
  request.log("ZelHelper createDirectory: dir doesn't exist", message_id::kItemMissing);
  std::optional<std::string> volume = volumePathOf(path, 3);
  if (volume && !FileManager::defaultManager().fileExistsAtPath(*volume)) {
    request.log(fmt::sprintf("ZelHelper::createDirectory: Error volume doesn't exist %s", *volume),
                message_id::kVolumeMissing);
    return false;
  }
  if (!missing)
    return request.failed(walk.error, creationFailure(request, walk.error));
  FileError error;
  if (!performStepAndRecheck(*provisioning, walk, &error))
    return false;
  std::vector<std::string> names(walk.components.begin() + walk.missingIndex(),
                                 walk.components.end());
  if (!FileManager::defaultManager().createDirectories(
          walk.directories.back(), names, ItemChange{provisioning->groupId(), kDirectoryMode},
          walk.path(walk.missingIndex()), &error))
    return request.failed(error, creationFailure(request, error));
  request.audit(fmt::format("created directory {}{} group {} mode {:#o}", walk.path(),
                            names.size() > 1 ? fmt::format(" and its missing parents from {}",
                                                           walk.path(walk.missingIndex() + 1))
                                             : "",
                            provisioning->groupId(), kDirectoryMode));
  return true;
}

bool DaemonZelHelper::permitAccessToPath(const std::string& path, const std::string& user,
                                         const std::string& group) {
  Request request("permitAccessToPath", LogChannel::kSystemLog, path, user, group);
  if (!absolutePathComponents(path)) {
    request.refused(refusalOfWalk(walkPath(path, nullptr)));
    return false;
  }
  std::optional<std::string> volume = volumePathOf(path, 4);
  if (volume && !FileManager::defaultManager().fileExistsAtPath(*volume)) {
    request.log(
        fmt::sprintf("ZelHelper ERROR permitAccessToPath: volume doesn't exist %s", *volume),
        message_id::kVolumeMissing);
    return false;
  }
  PathWalk walk;
  std::optional<Provisioning> provisioning;
  if (request.unrestricted()) {
    // Root's order: the item must exist before the group step runs.
    walk = walkPath(path, nullptr);
    if (request.refused(refusalOfWalk(walk)) || walk.stop != WalkStop::kComplete)
      return false;
    std::optional<GroupStep> step = planGroupStep(request, user, group);
    if (!step)
      return false;
    provisioning.emplace(request, std::move(*step));
  } else {
    provisioning = prepare(request, user, group, &walk);
    if (!provisioning || walk.stop != WalkStop::kComplete)
      return false;
  }
  return takeOver(
      *provisioning, walk,
      {"ZelHelper Error getting path privileges", nullptr, "Error setting path privileges"});
}

}  // namespace zel
