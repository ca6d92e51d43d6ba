// SPDX-License-Identifier: MIT
// File systems the helper does not enter for callers other than root: user-space (FUSE),
// network (NFS, SMB/CIFS and the like) and automount ones, any of which could hold the daemon's
// one thread for as long as someone else likes. Any thread.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

namespace zel {

// True for the type names of /proc/self/mountinfo that name such a file system.
bool isUnenterableFileSystemType(std::string_view type);

// The type of the file system mounted with device number `device`, from /proc/self/mountinfo
// (read without touching the file system itself); nothing when no mount line has that device.
std::optional<std::string> fileSystemTypeOfDevice(dev_t device);

}  // namespace zel
