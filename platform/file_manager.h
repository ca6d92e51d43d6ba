// The file manager: the file operations that the helper's operations and the client rely on,
// done with POSIX calls on descriptors.
//
// Every path is walked from "/" one component at a time (platform/path_walk.h); a symbolic link
// is never followed in any component, the last one included (such a call fails with ELOOP).
// Attributes are changed through the item's own descriptor, and new items are created relative
// to their parent's descriptor with O_EXCL, so a path swapped after it was checked cannot
// redirect a change. A path that is not absolute or has a "." or ".." component fails with
// EINVAL. A group owner given by name is resolved through the identity authority, full name
// first, then group name. Only regular files and directories are changed.
//
// Stateless; any thread. Calls act with the rights of the calling process.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/file_error.h"

namespace zel {

enum class ItemType { kRegularFile, kDirectory, kSymbolicLink, kOther };

struct ItemAttributes {
  ItemType type;
  uid_t ownerAccountID;
  gid_t groupOwnerAccountID;
  uint32_t posixPermissions;  // the 07777 bits
  // A directory with an extended POSIX access ACL: named users or groups that its mode bits
  // do not show.
  bool hasAccessControlList;
};

struct FileSystemAttributes {
  dev_t systemNumber;
  uint64_t systemSize;  // bytes
  uint64_t systemFreeSize;
};

// What a change writes; each entry only when present.
struct FileAttributes {
  std::optional<std::string> groupOwnerAccountName;
  std::optional<uint32_t> posixPermissions;
};

// FileAttributes with the group owner resolved to its id.
struct ResolvedAttributes {
  std::optional<gid_t> groupOwnerAccountID;
  std::optional<uint32_t> posixPermissions;
};

// A caller's veto, asked with the attributes of the item about to be changed, or of the
// directory about to receive new items, as read through the descriptor that the change then
// goes through. Answers the reason for refusing, or nothing to let the change go ahead.
using ChangeCheck = std::function<std::optional<std::string>(const ItemAttributes& item,
                                                             const ResolvedAttributes& change)>;

class FileManager {
 public:
  static FileManager& defaultManager();

  // True when something (a symbolic link included) is at `path`; `isDirectory`, when given,
  // tells whether it is a directory (false when nothing is there).
  bool fileExistsAtPath(const std::string& path, bool* isDirectory = nullptr) const;
  // The first existing component of `path` that is a symbolic link, as a path.
  std::optional<std::string> symbolicLinkInPath(const std::string& path) const;

  // `error` (never null) receives the reason whenever one of these fails.
  std::optional<FileSystemAttributes> attributesOfFileSystemForPath(const std::string& path,
                                                                    FileError* error) const;
  std::optional<ItemAttributes> attributesOfItemAtPath(const std::string& path,
                                                       FileError* error) const;
  // Sets the group (fchown with uid -1), then the mode (fchmod), of the existing item.
  bool setAttributes(const FileAttributes& attributes, const std::string& path, FileError* error,
                     const ChangeCheck& check = {}) const;
  // Creates an empty regular file whose parent exists, with `attributes`; `check` is asked
  // about the parent.
  bool createFileAtPath(const std::string& path, const FileAttributes& attributes, FileError* error,
                        const ChangeCheck& check = {}) const;
  // Creates the directory and every missing parent, each with `attributes`; `check` is asked
  // about the deepest existing directory before the first one is made. An existing directory
  // at `path` is success.
  bool createDirectoryAtPath(const std::string& path, const FileAttributes& attributes,
                             FileError* error, const ChangeCheck& check = {}) const;
};

}  // namespace zel
