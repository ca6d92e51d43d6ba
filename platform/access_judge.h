// SPDX-License-Identifier: MIT
// Whether a user may read, write or search an item, judged as the kernel judges a process of
// that user with those groups: owner, named users, owning and named groups (through the mask),
// others, with the item's POSIX access ACL when it has one. Used for callers other than root,
// whose rights the helper must not exceed. Pure functions; any thread.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace zel {

inline constexpr unsigned kMayRead = 4;
inline constexpr unsigned kMayWrite = 2;
inline constexpr unsigned kMaySearch = 1;  // execute, for a file

// One entry of an access ACL, as the kernel stores it in "system.posix_acl_access".
struct AccessEntry {
  enum Tag : uint16_t {
    kOwner = 0x01,
    kNamedUser = 0x02,
    kOwningGroup = 0x04,
    kNamedGroup = 0x08,
    kMask = 0x10,
    kOthers = 0x20,
  };
  Tag tag;
  unsigned permissions;  // kMayRead | kMayWrite | kMaySearch
  uint32_t id;           // the uid or gid of a named entry
};

using AccessControlList = std::vector<AccessEntry>;

// The entries of an extended attribute value; nothing when it is not a well-formed version 2
// value.
std::optional<AccessControlList> parseAccessControlList(std::string_view value);

// The access ACL of the item open at `fd` (not an O_PATH descriptor); nothing when it has none
// beyond its mode bits or it cannot be read.
std::optional<AccessControlList> readAccessControlList(int fd);

// The user a judgement is for: its uid and every group it counts as a member of.
struct AccessSubject {
  uid_t uid;
  std::vector<gid_t> groups;

  bool belongsTo(gid_t gid) const;
};

// True when `subject` has every permission in `wanted` on an item with `status` and `acl`.
bool mayAccess(const AccessSubject& subject, const struct stat& status,
               const std::optional<AccessControlList>& acl, unsigned wanted);

}  // namespace zel
