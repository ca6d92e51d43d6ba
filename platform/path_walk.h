// SPDX-License-Identifier: MIT
// The one walk of an absolute path from "/", one component at a time, through directory
// descriptors opened with openat(O_NOFOLLOW|O_DIRECTORY). Every later look at or change of the
// item, and every new item, goes through the descriptors the walk kept, so a component renamed
// or swapped after the walk cannot make a change act elsewhere.
//
// A symbolic link is followed only when it and the directory holding it belong to root and
// that directory is writable by root alone (so /var/run works); any other link stops the walk.
// A walk for a searcher (a caller other than root) also stops at a directory that the searcher
// could not search itself (platform/access_judge.h), and before entering a FUSE, network or
// automount file system (platform/file_system_kind.h), which it never touches: components are
// looked at with statx(AT_NO_AUTOMOUNT|AT_STATX_DONT_SYNC) before they are opened.
//
// The walk owns its descriptors; any thread, one walk per thread at a time.
#pragma once

#include <sys/stat.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/access_judge.h"
#include "platform/file_error.h"
#include "platform/unique_fd.h"

namespace zel {

// The components of an absolute path, with empty ones (repeated or trailing slashes) dropped.
// Nothing when the path does not begin with "/", has a "." or ".." component, or has a NUL.
std::optional<std::vector<std::string>> absolutePathComponents(std::string_view path);

// "/" followed by the first `count` components joined with "/".
std::string joinComponents(const std::vector<std::string>& components, size_t count);

// A directory or item the walk reached, with what was read of it through its descriptor.
struct WalkedItem {
  UniqueFd fd;  // O_RDONLY; empty for an item that is neither a regular file nor a directory
  // Read for the item, and for every directory in a walk for a searcher; a walk for root
  // leaves it unread (zero) for the directories on the way.
  struct stat status {};
  std::optional<AccessControlList> acl;  // read only in a walk for a searcher

  bool isDirectory() const { return S_ISDIR(status.st_mode); }
  bool isRegularFile() const { return S_ISREG(status.st_mode); }
};

enum class WalkStop {
  kComplete,     // the item exists: `item`
  kMissing,      // component `missingIndex()` does not exist
  kInvalidPath,  // not absolute, a "." or ".." component, or a NUL
  kLink,         // a symbolic link that is not followed
  kSearch,       // a directory on the way the searcher cannot search
  kFileSystem,   // a FUSE, network or automount file system on the way
  kFailed,       // any other failure: `error`
};

struct PathWalk {
  WalkStop stop = WalkStop::kFailed;
  // The path as walked, links followed: the directories' names, then the rest.
  std::vector<std::string> components;
  // directories[i] is the directory named by the first i components ("/" first), down to the
  // item's parent, or to the deepest existing directory when a component is missing.
  std::vector<WalkedItem> directories;
  std::optional<WalkedItem> item;
  FileError error;  // errno and description, for every stop but kComplete

  // The index of the first missing component (kMissing).
  size_t missingIndex() const { return directories.size() - 1; }
  // The deepest directory reached: the item's parent, or where the missing component would be.
  const WalkedItem& deepestDirectory() const { return directories.back(); }
  // The walked path, or its first `count` components.
  std::string path() const { return joinComponents(components, components.size()); }
  std::string path(size_t count) const { return joinComponents(components, count); }
};

// Walks `path`. `searcher`: the caller other than root whose rights bound the walk; null for
// root.
PathWalk walkPath(std::string_view path, const AccessSubject* searcher);

// Reads `item`'s status (and, in a walk for a searcher, its ACL) again through its descriptor.
bool refreshItem(WalkedItem& item, bool withAcl, FileError* error);

}  // namespace zel
