// SPDX-License-Identifier: MIT
#include "platform/file_manager.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <fmt/format.h>

namespace zel {
namespace {

bool fail(FileError* error, int code, const std::string& path) {
  *error = FileError{code, fmt::format("{}: {}", path, std::strerror(code))};
  return false;
}

// Group first: a chown may clear set-user-ID and set-group-ID bits that the mode then sets.
bool apply(WalkedItem& item, const ItemChange& change, const std::string& path, FileError* error) {
  if (change.groupOwnerAccountID &&
      fchown(item.fd.get(), static_cast<uid_t>(-1), *change.groupOwnerAccountID) != 0)
    return fail(error, errno, path);
  if (change.posixPermissions && fchmod(item.fd.get(), *change.posixPermissions) != 0)
    return fail(error, errno, path);
  if (fstat(item.fd.get(), &item.status) != 0)
    return fail(error, errno, path);
  if (change.posixPermissions && (item.status.st_mode & 07777) != *change.posixPermissions) {
    *error = FileError{EPERM, fmt::format("{}: the mode is {:04o}, not {:04o}", path,
                                          item.status.st_mode & 07777, *change.posixPermissions)};
    return false;
  }
  return true;
}

}  // namespace

FileManager& FileManager::defaultManager() {
  static FileManager manager;
  return manager;
}

bool FileManager::fileExistsAtPath(const std::string& path, bool* isDirectory) const {
  PathWalk walk = walkPath(path, nullptr);
  bool exists = walk.stop == WalkStop::kComplete;
  if (isDirectory != nullptr)
    *isDirectory = exists && walk.item->isDirectory();
  return exists;
}

std::optional<FileSystemAttributes> FileManager::attributesOfFileSystem(const WalkedItem& item,
                                                                        const std::string& path,
                                                                        FileError* error) const {
  struct statfs fileSystem {};
  if (!item.fd || fstatfs(item.fd.get(), &fileSystem) != 0) {
    fail(error, item.fd ? errno : EBADF, path);
    return std::nullopt;
  }
  auto blockSize = static_cast<uint64_t>(fileSystem.f_frsize);
  return FileSystemAttributes{item.status.st_dev, fileSystem.f_blocks * blockSize,
                              fileSystem.f_bavail * blockSize};
}

bool FileManager::setAttributes(WalkedItem& item, const ItemChange& change, const std::string& path,
                                FileError* error) const {
  if (!item.fd || !(item.isRegularFile() || item.isDirectory())) {
    *error = FileError{EOPNOTSUPP, fmt::format("{}: neither a regular file nor a directory", path)};
    return false;
  }
  return apply(item, change, path, error);
}

bool FileManager::createFile(const WalkedItem& parent, const std::string& name,
                             const ItemChange& change, const std::string& path,
                             FileError* error) const {
  mode_t initialMode = change.posixPermissions ? 0600 : 0666;
  WalkedItem made;
  made.fd = UniqueFd(openat(parent.fd.get(), name.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC,
                            initialMode));
  if (!made.fd)
    return fail(error, errno, path);
  return apply(made, change, path, error);
}

bool FileManager::createDirectories(const WalkedItem& parent, const std::vector<std::string>& names,
                                    const ItemChange& change, const std::string& path,
                                    FileError* error) const {
  mode_t initialMode = change.posixPermissions ? 0700 : 0777;
  int directory = parent.fd.get();
  std::string madePath = path;
  WalkedItem made;
  for (const std::string& name : names) {
    madePath += (madePath == "/" ? "" : "/") + name;
    if (mkdirat(directory, name.c_str(), initialMode) != 0)
      return fail(error, errno, madePath);
    WalkedItem next;
    next.fd =
        UniqueFd(openat(directory, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    // Someone who could write to the parent may have put something else in its place.
    if (!next.fd || fstat(next.fd.get(), &next.status) != 0 || next.status.st_uid != geteuid()) {
      *error = FileError{EAGAIN, fmt::format("{}: replaced while it was being made", madePath)};
      return false;
    }
    if (!apply(next, change, madePath, error))
      return false;
    made = std::move(next);
    directory = made.fd.get();
  }
  return true;
}

}  // namespace zel
