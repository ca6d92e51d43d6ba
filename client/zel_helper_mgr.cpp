#include "client/zel_helper_mgr.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>

#include <fmt/format.h>
#include <fmt/printf.h>

#include "platform/log.h"
#include "platform/system_root.h"

namespace zel {
namespace {

std::atomic<std::shared_ptr<ZelHelperMgr>> gSharedHelperMgr;

// The login name of `uid` in the local user file, read in file order.
std::optional<std::string> posixNameOfUid(uid_t uid) {
  std::ifstream passwd(underSystemRoot("/etc/passwd"));
  std::string line;
  while (std::getline(passwd, line)) {
    size_t nameEnd = line.find(':');
    size_t passwordEnd = line.find(':', nameEnd + 1);
    size_t uidEnd = line.find(':', passwordEnd + 1);
    if (nameEnd == 0 || uidEnd == std::string::npos)
      continue;
    if (line.substr(passwordEnd + 1, uidEnd - passwordEnd - 1) == std::to_string(uid))
      return line.substr(0, nameEnd);
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
  constexpr std::string_view kVolumes = "/Volumes/";
  if (path.starts_with(kVolumes)) {
    size_t nameEnd = path.find('/', kVolumes.size());
    std::string volume = path.substr(0, nameEnd);
    if (!exists(volume)) {
      systemLog(fmt::sprintf("ZelHelper::createDirectory: Error volume doesn't exist %s", volume));
      return;
    }
  }
  std::error_code ignored;
  std::filesystem::create_directories(path, ignored);
}

void ZelHelperMgr::createFile(const std::string& path) {
  if (exists(path))
    return;
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd >= 0)
    close(fd);
}

bool ZelHelperMgr::permitAccessToPath(const std::string& /*path*/) {
  return true;
}

}  // namespace zel
