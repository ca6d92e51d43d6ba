// createFile, createDirectory and permitAccessToPath: items that belong to the request's group
// with mode 0770, for users who reach them through that group.
#include <cerrno>

#include <fmt/printf.h>

#include "daemon/group_step.h"
#include "daemon/request.h"
#include "daemon/volume_path.h"
#include "daemon/zel_helper.h"
#include "platform/file_manager.h"
#include "platform/identity_authority.h"
#include "platform/log.h"
#include "platform/path_walk.h"

namespace zel {
namespace {

constexpr uint32_t kProvisioningPermissions = 0770;  // 504

enum class Provisioning { kFile, kDirectory, kAccess };

FileAttributes provisioningAttributes(const std::string& group) {
  return FileAttributes{group, kProvisioningPermissions};
}

// Rule 3 for the item of a request, judged before the group step so that a refused request
// changes nothing at all; the change is judged again through its own descriptor. The request's
// group is the one that has the request's full name now, if any.
std::optional<std::string> preflightRefusal(const SafetyRules& rules, const std::string& path,
                                            const std::string& group, Provisioning kind) {
  if (rules.unrestricted())
    return std::nullopt;
  std::optional<gid_t> requestGroup;
  IdentityAuthority authority = IdentityAuthority::localIdentityAuthority();
  if (const GroupIdentity* found = authority.groupWithFullName(group))
    requestGroup = found->gid;

  const FileManager& files = FileManager::defaultManager();
  FileError error;
  if (std::optional<ItemAttributes> item = files.attributesOfItemAtPath(path, &error)) {
    if (kind == Provisioning::kFile && item->type == ItemType::kDirectory)
      return std::nullopt;  // refused without a change anyway
    return rules.refusalToTakeOver(*item, requestGroup);
  }
  std::vector<std::string> components = absolutePathComponents(path).value();
  size_t lowest =
      kind == Provisioning::kDirectory || components.empty() ? 0 : components.size() - 1;
  for (size_t count = components.size(); count-- > lowest && error.code == ENOENT;) {
    std::string parent = joinComponents(components, count);
    if (std::optional<ItemAttributes> directory = files.attributesOfItemAtPath(parent, &error))
      return rules.refusalToCreateIn(*directory, requestGroup);
  }
  return std::nullopt;  // the change fails on its own
}

ChangeCheck takeOverCheck(const SafetyRules& rules) {
  return [&rules](const ItemAttributes& item, const ResolvedAttributes& change) {
    return rules.refusalToTakeOver(item, change.groupOwnerAccountID);
  };
}

ChangeCheck creationCheck(const SafetyRules& rules) {
  return [&rules](const ItemAttributes& directory, const ResolvedAttributes& change) {
    return rules.refusalToCreateIn(directory, change.groupOwnerAccountID);
  };
}

// Rule 3 for the item, then the group step; false when the request ends there.
bool passesRulesAndGroupStep(const Request& request, const std::string& path,
                             const std::string& user, const std::string& group, Provisioning kind) {
  if (request.refused(preflightRefusal(request.rules(), path, group, kind)))
    return false;
  std::optional<GroupStep> step = planGroupStep(request, user, group);
  return step && performGroupStep(request, *step);
}

// Gives an existing item the group and mode 0770, with the operation's own messages
// (`announcement` only when it has one).
bool takeOver(const Request& request, const std::string& path, const std::string& group,
              const char* readFailure, const char* announcement, const char* setFailure) {
  const FileManager& files = FileManager::defaultManager();
  FileError error;
  if (!files.attributesOfFileSystemForPath(path, &error)) {
    systemLog(readFailure);
    return false;
  }
  if (announcement != nullptr)
    systemLog(announcement);
  if (!files.setAttributes(provisioningAttributes(group), path, &error,
                           takeOverCheck(request.rules())))
    return request.failed(error, setFailure);
  return true;
}

}  // namespace

bool ZelHelper::createFile(const std::string& path, const std::string& user,
                           const std::string& group) {
  Request request("createFile", path, LogChannel::kSystemLog);
  if (request.refused(SafetyRules::refusalOfPath(path)) ||
      !passesRulesAndGroupStep(request, path, user, group, Provisioning::kFile))
    return false;

  const FileManager& files = FileManager::defaultManager();
  bool isDirectory = false;
  bool exists = files.fileExistsAtPath(path, &isDirectory);
  if (exists && isDirectory)
    return false;
  if (exists)
    return takeOver(request, path, group, "ZelHelper Error getting file privileges",
                    "ZelHelper changing file attributes", "Error setting file privileges");
  systemLog("ZelHelper createFile: file doesn't exist");
  FileError error;
  if (!files.createFileAtPath(path, provisioningAttributes(group), &error,
                              creationCheck(request.rules())))
    return request.failed(error, fmt::sprintf("ZelHelper createFile: could not create %s: %s", path,
                                              error.description));
  return true;
}

bool ZelHelper::createDirectory(const std::string& path, const std::string& user,
                                const std::string& group) {
  Request request("createDirectory", path, LogChannel::kSystemLog);
  if (request.refused(SafetyRules::refusalOfPath(path)) ||
      !passesRulesAndGroupStep(request, path, user, group, Provisioning::kDirectory))
    return false;

  const FileManager& files = FileManager::defaultManager();
  if (files.fileExistsAtPath(path))
    return takeOver(request, path, group, "ZelHelper Error getting dir privileges", nullptr,
                    "ZelHelper Error setting dir privileges");
  systemLog("ZelHelper createDirectory: dir doesn't exist");
  std::optional<std::string> volume = volumePathOf(path, 3);
  if (volume && !files.fileExistsAtPath(*volume)) {
    systemLog(fmt::sprintf("ZelHelper::createDirectory: Error volume doesn't exist %s", *volume));
    return false;
  }
  FileError error;
  if (!files.createDirectoryAtPath(path, provisioningAttributes(group), &error,
                                   creationCheck(request.rules())))
    return request.failed(error, fmt::sprintf("ZelHelper createDirectory: could not create %s: %s",
                                              path, error.description));
  return true;
}

bool ZelHelper::permitAccessToPath(const std::string& path, const std::string& user,
                                   const std::string& group) {
  Request request("permitAccessToPath", path, LogChannel::kSystemLog);
  if (request.refused(SafetyRules::refusalOfPath(path)))
    return false;
  const FileManager& files = FileManager::defaultManager();
  std::optional<std::string> volume = volumePathOf(path, 4);
  if (volume && !files.fileExistsAtPath(*volume)) {
    systemLog(fmt::sprintf("ZelHelper ERROR permitAccessToPath: volume doesn't exist %s", *volume));
    return false;
  }
  if (!files.fileExistsAtPath(path) ||
      !passesRulesAndGroupStep(request, path, user, group, Provisioning::kAccess))
    return false;
  return takeOver(request, path, group, "ZelHelper Error getting path privileges", nullptr,
                  "Error setting path privileges");
}

}  // namespace zel
