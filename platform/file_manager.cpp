#include "platform/file_manager.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <fmt/format.h>

#include "platform/identity_authority.h"
#include "platform/path_walk.h"

namespace zel {
namespace {

ItemType typeOf(mode_t mode) {
  if (S_ISREG(mode))
    return ItemType::kRegularFile;
  if (S_ISDIR(mode))
    return ItemType::kDirectory;
  if (S_ISLNK(mode))
    return ItemType::kSymbolicLink;
  return ItemType::kOther;
}

bool hasAccessControlList(int directory) {
  // xattrs cannot be read through an O_PATH descriptor; "." reopens the same directory.
  UniqueFd readable(openat(directory, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return readable && fgetxattr(readable.get(), "system.posix_acl_access", nullptr, 0) > 0;
}

ItemAttributes attributesOf(int fd, const struct stat& status) {
  return ItemAttributes{typeOf(status.st_mode), status.st_uid, status.st_gid,
                        static_cast<uint32_t>(status.st_mode & 07777),
                        S_ISDIR(status.st_mode) && hasAccessControlList(fd)};
}

FileError errnoError(const std::string& path) {
  int code = errno;
  return FileError{code, fmt::format("{}: {}", path, std::strerror(code))};
}

bool fail(FileError* error, FileError reason) {
  *error = std::move(reason);
  return false;
}

std::optional<ResolvedAttributes> resolve(const FileAttributes& attributes, FileError* error) {
  ResolvedAttributes resolved{std::nullopt, attributes.posixPermissions};
  if (attributes.groupOwnerAccountName) {
    IdentityAuthority authority = IdentityAuthority::localIdentityAuthority();
    const GroupIdentity* group = authority.groupForOwnerName(*attributes.groupOwnerAccountName);
    if (group == nullptr) {
      *error =
          FileError{EINVAL, fmt::format("no group named {}", *attributes.groupOwnerAccountName)};
      return std::nullopt;
    }
    resolved.groupOwnerAccountID = group->gid;
  }
  return resolved;
}

bool refusedBy(const ChangeCheck& check, int fd, const struct stat& status,
               const ResolvedAttributes& change, FileError* error) {
  if (!check)
    return false;
  std::optional<std::string> refusal = check(attributesOf(fd, status), change);
  if (!refusal)
    return false;
  *error = FileError{EPERM, *refusal, true};
  return true;
}

// Group first: a chown may clear set-user-ID and set-group-ID bits that the mode then sets.
bool apply(int fd, const ResolvedAttributes& change, const std::string& path, FileError* error) {
  if (change.groupOwnerAccountID &&
      fchown(fd, static_cast<uid_t>(-1), *change.groupOwnerAccountID) != 0)
    return fail(error, errnoError(path));
  if (change.posixPermissions && fchmod(fd, static_cast<mode_t>(*change.posixPermissions)) != 0)
    return fail(error, errnoError(path));
  return true;
}

// Opens a regular file or directory for a change of its attributes. Other items are not
// opened at all: opening a device can have effects of its own.
UniqueFd openForChange(const ItemLocation& item, struct stat* status, FileError* error) {
  const char* name = item.name.c_str();
  if (fstatat(item.parent.get(), name, status, AT_SYMLINK_NOFOLLOW) != 0) {
    *error = errnoError(item.path);
    return {};
  }
  if (S_ISLNK(status->st_mode)) {
    *error = componentError(ELOOP, item.parent.get(), item.name, item.path);
    return {};
  }
  if (!S_ISREG(status->st_mode) && !S_ISDIR(status->st_mode)) {
    *error =
        FileError{EOPNOTSUPP, fmt::format("{}: neither a regular file nor a directory", item.path)};
    return {};
  }
  mode_t type = status->st_mode & S_IFMT;
  UniqueFd fd(
      openat(item.parent.get(), name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!fd) {
    *error = componentError(errno, item.parent.get(), item.name, item.path);
    return {};
  }
  if (fstat(fd.get(), status) != 0 || (status->st_mode & S_IFMT) != type) {
    *error = FileError{EAGAIN, fmt::format("{}: changed while it was being opened", item.path)};
    return {};
  }
  return fd;
}

// Opens a directory that this call has just made, making sure it is still ours.
UniqueFd openMadeDirectory(int parent, const std::string& name, const std::string& path,
                           FileError* error) {
  UniqueFd made(openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  struct stat status {};
  if (!made) {
    *error = componentError(errno, parent, name, path);
    return {};
  }
  if (fstat(made.get(), &status) != 0 || status.st_uid != geteuid()) {
    *error = FileError{EAGAIN, fmt::format("{}: replaced while it was being made", path)};
    return {};
  }
  return made;
}

}  // namespace

FileManager& FileManager::defaultManager() {
  static FileManager manager;
  return manager;
}

bool FileManager::fileExistsAtPath(const std::string& path, bool* isDirectory) const {
  if (isDirectory != nullptr)
    *isDirectory = false;
  FileError ignored;
  std::optional<ItemLocation> item = locateItem(path, &ignored);
  struct stat status {};
  if (!item || fstatat(item->parent.get(), item->name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
    return false;
  if (isDirectory != nullptr)
    *isDirectory = S_ISDIR(status.st_mode);
  return true;
}

std::optional<std::string> FileManager::symbolicLinkInPath(const std::string& path) const {
  std::optional<std::vector<std::string>> components = absolutePathComponents(path);
  if (!components)
    return std::nullopt;
  UniqueFd directory(open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
  for (size_t i = 0; directory && i < components->size(); ++i) {
    struct stat status {};
    const char* name = (*components)[i].c_str();
    if (fstatat(directory.get(), name, &status, AT_SYMLINK_NOFOLLOW) != 0)
      return std::nullopt;
    if (S_ISLNK(status.st_mode))
      return joinComponents(*components, i + 1);
    directory =
        UniqueFd(openat(directory.get(), name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  }
  return std::nullopt;
}

std::optional<FileSystemAttributes> FileManager::attributesOfFileSystemForPath(
    const std::string& path, FileError* error) const {
  std::optional<ItemLocation> item = locateItem(path, error);
  if (!item)
    return std::nullopt;
  UniqueFd fd(openat(item->parent.get(), item->name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
  struct stat status {};
  struct statfs fileSystem {};
  if (!fd || fstat(fd.get(), &status) != 0 || fstatfs(fd.get(), &fileSystem) != 0) {
    *error = componentError(errno, item->parent.get(), item->name, item->path);
    return std::nullopt;
  }
  if (S_ISLNK(status.st_mode)) {
    *error = componentError(ELOOP, item->parent.get(), item->name, item->path);
    return std::nullopt;
  }
  auto blockSize = static_cast<uint64_t>(fileSystem.f_frsize);
  return FileSystemAttributes{status.st_dev, fileSystem.f_blocks * blockSize,
                              fileSystem.f_bavail * blockSize};
}

std::optional<ItemAttributes> FileManager::attributesOfItemAtPath(const std::string& path,
                                                                  FileError* error) const {
  std::optional<ItemLocation> item = locateItem(path, error);
  if (!item)
    return std::nullopt;
  UniqueFd fd(openat(item->parent.get(), item->name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
  struct stat status {};
  if (!fd || fstat(fd.get(), &status) != 0) {
    *error = componentError(errno, item->parent.get(), item->name, item->path);
    return std::nullopt;
  }
  return attributesOf(fd.get(), status);
}

bool FileManager::setAttributes(const FileAttributes& attributes, const std::string& path,
                                FileError* error, const ChangeCheck& check) const {
  std::optional<ResolvedAttributes> change = resolve(attributes, error);
  std::optional<ItemLocation> item = change ? locateItem(path, error) : std::nullopt;
  if (!item)
    return false;
  struct stat status {};
  UniqueFd fd = openForChange(*item, &status, error);
  if (!fd || refusedBy(check, fd.get(), status, *change, error))
    return false;
  return apply(fd.get(), *change, item->path, error);
}

bool FileManager::createFileAtPath(const std::string& path, const FileAttributes& attributes,
                                   FileError* error, const ChangeCheck& check) const {
  std::optional<ResolvedAttributes> change = resolve(attributes, error);
  std::optional<ItemLocation> item = change ? locateItem(path, error) : std::nullopt;
  if (!item)
    return false;
  struct stat parentStatus {};
  if (fstat(item->parent.get(), &parentStatus) != 0)
    return fail(error, errnoError(item->path));
  if (refusedBy(check, item->parent.get(), parentStatus, *change, error))
    return false;
  // Private until the group and mode are in place.
  mode_t initialMode = change->posixPermissions ? 0600 : 0666;
  UniqueFd fd(openat(item->parent.get(), item->name.c_str(),
                     O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, initialMode));
  if (!fd)
    return fail(error, componentError(errno, item->parent.get(), item->name, item->path));
  return apply(fd.get(), *change, item->path, error);
}

bool FileManager::createDirectoryAtPath(const std::string& path, const FileAttributes& attributes,
                                        FileError* error, const ChangeCheck& check) const {
  std::optional<ResolvedAttributes> change = resolve(attributes, error);
  if (!change)
    return false;
  std::optional<std::vector<std::string>> components = absolutePathComponents(path);
  if (!components)
    return fail(error, invalidPathError(path));
  UniqueFd directory = openDirectory(*components, 0, error);
  bool checked = false;
  mode_t initialMode = change->posixPermissions ? 0700 : 0777;
  for (size_t i = 0; directory && i < components->size(); ++i) {
    const std::string& name = (*components)[i];
    std::string componentPath = joinComponents(*components, i + 1);
    UniqueFd next(
        openat(directory.get(), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!next && errno == ENOENT) {
      struct stat status {};
      if (!checked && fstat(directory.get(), &status) != 0)
        return fail(error, errnoError(joinComponents(*components, i)));
      if (!checked && refusedBy(check, directory.get(), status, *change, error))
        return false;
      checked = true;
      if (mkdirat(directory.get(), name.c_str(), initialMode) == 0) {
        next = openMadeDirectory(directory.get(), name, componentPath, error);
        if (!next || !apply(next.get(), *change, componentPath, error))
          return false;
      } else if (errno == EEXIST) {  // made by someone else meanwhile: walk on through it
        next = UniqueFd(
            openat(directory.get(), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
      }
    }
    if (!next)
      return fail(error, componentError(errno, directory.get(), name, componentPath));
    directory = std::move(next);
  }
  return static_cast<bool>(directory);
}

}  // namespace zel
