// SPDX-License-Identifier: MIT
#include "platform/path_walk.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>

#include <fmt/format.h>

#include "platform/file_system_kind.h"

namespace zel {
namespace {

// Links followed in one walk before it fails with ELOOP, as the kernel counts.
constexpr int kMaxLinks = 40;

FileError errnoError(int code, const std::string& path) {
  return FileError{code, fmt::format("{}: {}", path, std::strerror(code))};
}

// A link is trusted when nobody but root could have made or changed it.
bool isTrustedLink(uid_t linkOwner, const struct stat& holder) {
  return linkOwner == 0 && holder.st_uid == 0 && (holder.st_mode & 022) == 0;
}

class Walker {
 public:
  Walker(PathWalk& walk, const AccessSubject* searcher) : mWalk(walk), mSearcher(searcher) {}

  void run(std::vector<std::string> components) {
    mPending.assign(components.begin(), components.end());
    UniqueFd root(open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    WalkedItem top{std::move(root), {}, std::nullopt};
    bool needsStatus = mSearcher != nullptr || mPending.empty();
    if (!top.fd || (needsStatus && fstat(top.fd.get(), &top.status) != 0))
      return stop(WalkStop::kFailed, errnoError(errno, "/"));
    if (mSearcher && !admitsFileSystem(top.status.st_dev, std::nullopt))
      return stop(WalkStop::kFileSystem, fileSystemError("/"));
    if (mPending.empty()) {
      if (mSearcher)
        top.acl = readAccessControlList(top.fd.get());
      mWalk.item = std::move(top);
      mWalk.stop = WalkStop::kComplete;
      return;
    }
    if (!enterDirectory(std::move(top)))
      return;
    while (!mPending.empty()) {
      std::string name = std::move(mPending.front());
      mPending.pop_front();
      if (name == ".")
        continue;
      if (name == "..") {
        if (!mDone.empty()) {
          mDone.pop_back();
          mWalk.directories.pop_back();
        }
        continue;
      }
      if (!step(name))
        return;
    }
  }

 private:
  std::string pathWith(const std::string& name) const {
    std::string path = joinComponents(mDone, mDone.size());
    return path == "/" ? path + name : path + "/" + name;
  }

  void stop(WalkStop how, FileError error) {
    mWalk.stop = how;
    mWalk.error = std::move(error);
  }

  FileError fileSystemError(const std::string& path) const {
    return FileError{EXDEV, fmt::format("{}: on a file system that is not entered", path)};
  }

  bool admitsFileSystem(dev_t device, std::optional<dev_t> parentDevice) const {
    if (parentDevice && *parentDevice == device)
      return true;
    // Every FUSE and network mount has its own line; a device without one is part of a file
    // system already entered (a btrfs subvolume, say).
    std::optional<std::string> type = fileSystemTypeOfDevice(device);
    return !type || !isUnenterableFileSystemType(*type);
  }

  // Pushes a directory the walk goes on through; a searcher must be able to search it.
  bool enterDirectory(WalkedItem directory) {
    if (mSearcher) {
      directory.acl = readAccessControlList(directory.fd.get());
      if (!mayAccess(*mSearcher, directory.status, directory.acl, kMaySearch)) {
        stop(WalkStop::kSearch,
             FileError{EACCES, fmt::format("{}: not searchable", pathOfDirectories())});
        return false;
      }
    }
    mWalk.directories.push_back(std::move(directory));
    return true;
  }

  std::string pathOfDirectories() const { return joinComponents(mDone, mDone.size()); }

  bool step(const std::string& name) {
    const WalkedItem& parent = mWalk.directories.back();
    bool last = mPending.empty();
    std::string path = pathWith(name);
    if (!last && !mSearcher)
      return stepThroughDirectory(parent, name, path);
    struct statx found {};
    int flags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT | (mSearcher ? AT_STATX_DONT_SYNC : 0);
    if (statx(parent.fd.get(), name.c_str(), flags, STATX_BASIC_STATS, &found) != 0) {
      int code = errno;
      if (code != ENOENT) {
        stop(WalkStop::kFailed, errnoError(code, path));
        return false;
      }
      return missing(name, path);
    }
    mode_t type = found.stx_mode & S_IFMT;
    if (type == S_IFLNK)
      return followLink(parent, name, found.stx_uid, path);
    if (!last && type != S_IFDIR) {
      stop(WalkStop::kFailed, errnoError(ENOTDIR, path));
      return false;
    }
    dev_t device = makedev(found.stx_dev_major, found.stx_dev_minor);
    if (mSearcher && type == S_IFDIR &&
        ((found.stx_attributes & STATX_ATTR_AUTOMOUNT) != 0 ||
         !admitsFileSystem(device, parent.status.st_dev))) {
      stop(WalkStop::kFileSystem, fileSystemError(path));
      return false;
    }
    WalkedItem reached;
    if (type == S_IFDIR || type == S_IFREG) {
      int openFlags = O_RDONLY | O_NOFOLLOW | O_CLOEXEC |
                      (type == S_IFDIR ? O_DIRECTORY : O_NONBLOCK | O_NOCTTY);
      reached.fd = UniqueFd(openat(parent.fd.get(), name.c_str(), openFlags));
      if (!reached.fd || fstat(reached.fd.get(), &reached.status) != 0) {
        stop(WalkStop::kFailed, errnoError(errno, path));
        return false;
      }
      if (reached.status.st_dev != device || reached.status.st_ino != found.stx_ino) {
        stop(WalkStop::kFailed,
             FileError{EAGAIN, fmt::format("{}: changed while it was being walked", path)});
        return false;
      }
    } else if (fstatat(parent.fd.get(), name.c_str(), &reached.status, AT_SYMLINK_NOFOLLOW) != 0) {
      stop(WalkStop::kFailed, errnoError(errno, path));
      return false;
    }
    mDone.push_back(name);
    if (last) {
      if (mSearcher && reached.fd)
        reached.acl = readAccessControlList(reached.fd.get());
      mWalk.components = mDone;
      mWalk.item = std::move(reached);
      mWalk.stop = WalkStop::kComplete;
      return true;
    }
    return enterDirectory(std::move(reached));
  }

  bool missing(const std::string& name, const std::string& path) {
    mWalk.components = mDone;
    mWalk.components.push_back(name);
    for (std::string& rest : mPending) {
      // What a link left to walk below a missing directory cannot be told apart any more.
      if (rest == "." || rest == "..") {
        stop(WalkStop::kFailed, errnoError(ENOENT, path));
        return false;
      }
      mWalk.components.push_back(std::move(rest));
    }
    mPending.clear();
    stop(WalkStop::kMissing, errnoError(ENOENT, path));
    return false;
  }

  // For root, whose walk needs nothing of the directories on the way but their descriptors:
  // O_DIRECTORY opens nothing else, and only a failure needs a closer look.
  bool stepThroughDirectory(const WalkedItem& parent, const std::string& name,
                            const std::string& path) {
    WalkedItem directory;
    directory.fd = UniqueFd(
        openat(parent.fd.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (directory.fd) {
      mDone.push_back(name);
      mWalk.directories.push_back(std::move(directory));
      return true;
    }
    int code = errno;
    struct stat status {};
    if (code == ENOENT)
      return missing(name, path);
    if ((code == ELOOP || code == ENOTDIR) &&
        fstatat(parent.fd.get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISLNK(status.st_mode))
      return followLink(parent, name, status.st_uid, path);
    stop(WalkStop::kFailed, errnoError(code, path));
    return false;
  }

  bool followLink(const WalkedItem& parent, const std::string& name, uid_t linkOwner,
                  const std::string& path) {
    struct stat holder {};
    if (fstat(parent.fd.get(), &holder) != 0 || !isTrustedLink(linkOwner, holder)) {
      stop(WalkStop::kLink,
           FileError{ELOOP, fmt::format("{}: is a symbolic link, which is not followed", path)});
      return false;
    }
    char target[PATH_MAX];
    ssize_t size = readlinkat(parent.fd.get(), name.c_str(), target, sizeof target);
    if (++mLinks > kMaxLinks || size <= 0 || static_cast<size_t>(size) >= sizeof target) {
      stop(WalkStop::kFailed, errnoError(size < 0 ? errno : ELOOP, path));
      return false;
    }
    std::string_view text(target, static_cast<size_t>(size));
    std::vector<std::string> parts;
    for (size_t start = 0; start <= text.size();) {
      size_t end = std::min(text.find('/', start), text.size());
      if (end > start)
        parts.emplace_back(text.substr(start, end - start));
      start = end + 1;
    }
    mPending.insert(mPending.begin(), parts.begin(), parts.end());
    if (text.front() == '/') {
      mDone.clear();
      mWalk.directories.resize(1);
    }
    return true;
  }

  PathWalk& mWalk;
  const AccessSubject* mSearcher;
  std::deque<std::string> mPending;
  std::vector<std::string> mDone;
  int mLinks = 0;
};

}  // namespace

std::optional<std::vector<std::string>> absolutePathComponents(std::string_view path) {
  // A NUL would cut the path short where the system calls read it.
  if (path.empty() || path.front() != '/' || path.find('\0') != std::string_view::npos)
    return std::nullopt;
  std::vector<std::string> components;
  size_t start = 1;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string_view::npos)
      end = path.size();
    std::string_view component = path.substr(start, end - start);
    if (component == "." || component == "..")
      return std::nullopt;
    if (!component.empty())
      components.emplace_back(component);
    start = end + 1;
  }
  return components;
}

std::string joinComponents(const std::vector<std::string>& components, size_t count) {
  std::string path;
  for (size_t i = 0; i < count; ++i)
    path += "/" + components[i];
  return path.empty() ? "/" : path;
}

PathWalk walkPath(std::string_view path, const AccessSubject* searcher) {
  PathWalk walk;
  std::optional<std::vector<std::string>> components = absolutePathComponents(path);
  if (!components) {
    walk.stop = WalkStop::kInvalidPath;
    walk.error =
        FileError{EINVAL, fmt::format("{}: not an absolute path without . or .. components", path)};
    return walk;
  }
  Walker(walk, searcher).run(std::move(*components));
  return walk;
}

bool refreshItem(WalkedItem& item, bool withAcl, FileError* error) {
  if (fstat(item.fd.get(), &item.status) != 0) {
    *error = FileError{errno, fmt::format("cannot read the item again: {}", std::strerror(errno))};
    return false;
  }
  if (withAcl)
    item.acl = readAccessControlList(item.fd.get());
  return true;
}

}  // namespace zel
