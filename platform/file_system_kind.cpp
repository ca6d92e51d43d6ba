// SPDX-License-Identifier: MIT
#include "platform/file_system_kind.h"

#include <sys/sysmacros.h>

#include <array>
#include <fstream>
#include <sstream>

namespace zel {

bool isUnenterableFileSystemType(std::string_view type) {
  constexpr std::array<std::string_view, 14> kUnenterable = {
      "fuse",   "fuseblk", "nfs",  "nfs4", "cifs", "smb3",  "smbfs",
      "autofs", "9p",      "ceph", "afs",  "coda", "ncpfs", "glusterfs"};
  if (type.starts_with("fuse."))
    return true;
  for (std::string_view name : kUnenterable) {
    if (type == name)
      return true;
  }
  return false;
}

std::optional<std::string> fileSystemTypeOfDevice(dev_t device) {
  // "36 35 98:0 /mnt1 /mnt2 rw,noatime master:1 - ext3 /dev/root rw": the device is the third
  // field, the type follows the " - " separator.
  std::string wanted = std::to_string(major(device)) + ":" + std::to_string(minor(device));
  std::ifstream mounts("/proc/self/mountinfo");
  for (std::string line; std::getline(mounts, line);) {
    std::istringstream fields(line);
    std::string id, parent, numbers;
    if (!(fields >> id >> parent >> numbers) || numbers != wanted)
      continue;
    size_t separator = line.find(" - ");
    if (separator == std::string::npos)
      continue;
    std::istringstream rest(line.substr(separator + 3));
    std::string type;
    if (rest >> type)
      return type;
  }
  return std::nullopt;
}

}  // namespace zel
