// SPDX-License-Identifier: MIT
#include "client/zel_helper_mgr.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>

#include <fmt/format.h>
#include <fmt/printf.h>

#include "platform/identity_files.h"
#include "platform/log.h"
#include "platform/message_ids.h"
#include "platform/system_root.h"
#include "platform/unique_fd.h"
#include "platform/volume_path.h"

namespace zel {
namespace {

std::atomic<std::shared_ptr<ZelHelperMgr>> gSharedHelperMgr;

// The login name of `uid`: the first user with that id in the local user file.
std::optional<std::string> posixNameOfUid(uid_t uid) {
  for (const UserIdentity& user : readUserFile(underSystemRoot("/etc/passwd"))) {
    if (user.uid == uid)
      return user.name;
  }
  return std::nullopt;
}

bool exists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

}  // namespace

void ZelHelperMgr::createWithGroupName(const std::string& groupName) {
  init();
  shared()->setupWithGroupName(groupName);
}

std::shared_ptr<ZelHelperMgr> ZelHelperMgr::init() {
  std::shared_ptr<ZelHelperMgr> manager(new ZelHelperMgr());
  gSharedHelperMgr.store(manager);
  manager->mHelper.store(ZelHelper::create());
  return manager;
}

std::shared_ptr<ZelHelperMgr> ZelHelperMgr::shared() {
  return gSharedHelperMgr.load();
}

void ZelHelperMgr::setupWithGroupName(const std::string& groupName) {
  mGroupName.store(std::make_shared<const std::string>(groupName));
  uid_t uid = getuid();
  if (std::optional<std::string> name = posixNameOfUid(uid)) {
    mPosixUserName.store(std::make_shared<const std::string>(std::move(*name)));
  } else {
    NSLog(fmt::sprintf("ZelHelper Error no identity for the current user (uid %u)", uid));
  }
}

void ZelHelperMgr::createDirectory(const std::string& path) {
  // A path under "/Volumes/" always splits into at least three components.
  std::optional<std::string> volume = volumePathOf(path, 3);
  if (volume && !exists(*volume)) {
    systemLog(fmt::sprintf("ZelHelper::createDirectory: Error volume doesn't exist %s", *volume),
              LogEvent{message_id::kVolumeMissing, LOG_NOTICE, {}});
    return;
  }
  std::error_code ignored;
  std::filesystem::create_directories(path, ignored);
}

void ZelHelperMgr::createFile(const std::string& path) {
  if (exists(path))
    return;
  const UniqueFd created(open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
}

bool ZelHelperMgr::permitAccessToPath(const std::string& /*path*/) {
  return true;
}

}  // namespace zel
