// SPDX-License-Identifier: MIT
// The file manager: the file operations that the helper's operations rely on, done with POSIX
// calls on the descriptors of one walk of the path (platform/path_walk.h).
//
// Attributes are changed through the item's own descriptor (fchown, then fchmod) and the mode is
// read back through it afterwards: a bit the kernel dropped makes the change fail (EPERM). New
// items are created relative to their parent's descriptor with O_EXCL. Only regular files and
// directories are changed.
//
// Stateless; any thread. Calls act with the rights of the calling process.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_error.h"
#include "platform/path_walk.h"

namespace zel {

struct FileSystemAttributes {
  dev_t systemNumber;
  uint64_t systemSize;  // bytes
  uint64_t systemFreeSize;
};

// What a change writes; each entry only when present.
struct ItemChange {
  std::optional<gid_t> groupOwnerAccountID;
  std::optional<mode_t> posixPermissions;  // the 07777 bits
};

class FileManager {
 public:
  static FileManager& defaultManager();

  // True when the walk of `path` as root reaches something; `isDirectory`, when given, tells
  // whether it is a directory (false when nothing is there).
  bool fileExistsAtPath(const std::string& path, bool* isDirectory = nullptr) const;

  // `error` (never null) receives the reason whenever one of these fails; `path` names the item
  // in it.
  std::optional<FileSystemAttributes> attributesOfFileSystem(const WalkedItem& item,
                                                             const std::string& path,
                                                             FileError* error) const;
  // Changes the item; `item.status` is its status afterwards.
  bool setAttributes(WalkedItem& item, const ItemChange& change, const std::string& path,
                     FileError* error) const;
  // Creates the empty regular file `name` in `parent`, private until it has the change.
  bool createFile(const WalkedItem& parent, const std::string& name, const ItemChange& change,
                  const std::string& path, FileError* error) const;
  // Creates `names`, each inside the one before, the first inside `parent`, each with the
  // change; `path` is the path of `parent`.
  bool createDirectories(const WalkedItem& parent, const std::vector<std::string>& names,
                         const ItemChange& change, const std::string& path, FileError* error) const;
};

}  // namespace zel
