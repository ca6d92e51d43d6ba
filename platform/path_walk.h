// Walking an absolute path one component at a time from "/", through directory descriptors
// opened with openat(O_PATH|O_DIRECTORY|O_NOFOLLOW), so that no symbolic link is followed in any
// component and a component swapped during the walk cannot redirect it. Used by the file manager.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_error.h"
#include "platform/unique_fd.h"

namespace zel {

// The components of an absolute path, with empty ones (repeated or trailing slashes) dropped.
// Nothing when the path does not begin with "/" or has a "." or ".." component.
std::optional<std::vector<std::string>> absolutePathComponents(std::string_view path);

// "/" followed by the first `count` components joined with "/".
std::string joinComponents(const std::vector<std::string>& components, size_t count);

// Opens the directory formed by the first `count` components (count 0 is "/") as an O_PATH
// descriptor. On failure: an empty descriptor, and `error` names the component that stopped the
// walk (ELOOP with "is a symbolic link" for a link).
UniqueFd openDirectory(const std::vector<std::string>& components, size_t count, FileError* error);

// An item reached by a walk: its parent directory, opened, and its name in it ("." for "/").
struct ItemLocation {
  UniqueFd parent;
  std::string name;
  std::string path;  // the item's path, for error descriptions
};

// Opens the parent of the item at `path`. EINVAL for a path that is not absolute or has a "."
// or ".." component.
std::optional<ItemLocation> locateItem(std::string_view path, FileError* error);

// EINVAL: `path` is not absolute, or has a "." or ".." component.
FileError invalidPathError(std::string_view path);

// The error for a failed call on component `name` of `path` (in the directory `parent`):
// errno `code`, or ELOOP when the component turns out to be a symbolic link.
FileError componentError(int code, int parent, const std::string& name, const std::string& path);

}  // namespace zel
