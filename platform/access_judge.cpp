// SPDX-License-Identifier: MIT
#include "platform/access_judge.h"

#include <sys/xattr.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <string>

namespace zel {
namespace {

constexpr uint32_t kAclVersion = 2;
constexpr size_t kHeaderSize = 4;
constexpr size_t kEntrySize = 8;
// The largest value the kernel accepts on common file systems; bigger is not an ACL of ours.
constexpr size_t kMaxValueSize = 65536;

uint32_t readLittleEndian(std::string_view bytes, size_t at, size_t width) {
  uint32_t value = 0;
  for (size_t i = width; i-- > 0;)
    value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

bool isKnownTag(uint32_t tag) {
  switch (tag) {
    case AccessEntry::kOwner:
    case AccessEntry::kNamedUser:
    case AccessEntry::kOwningGroup:
    case AccessEntry::kNamedGroup:
    case AccessEntry::kMask:
    case AccessEntry::kOthers:
      return true;
    default:
      return false;
  }
}

unsigned modeClass(mode_t mode, int shift) {
  return (mode >> shift) & 7u;
}

bool grants(unsigned permissions, unsigned wanted) {
  return (permissions & wanted) == wanted;
}

// The kernel's order: owner; a named user; the groups (any matching entry that grants is
// enough, a match that grants nothing denies); others. Named users and all groups go through
// the mask.
bool judgeAcl(const AccessSubject& subject, const struct stat& status, const AccessControlList& acl,
              unsigned wanted) {
  unsigned mask = 7;
  unsigned owner = modeClass(status.st_mode, 6);
  unsigned others = modeClass(status.st_mode, 0);
  for (const AccessEntry& entry : acl) {
    if (entry.tag == AccessEntry::kMask)
      mask = entry.permissions;
    else if (entry.tag == AccessEntry::kOwner)
      owner = entry.permissions;
    else if (entry.tag == AccessEntry::kOthers)
      others = entry.permissions;
  }
  if (subject.uid == status.st_uid)
    return grants(owner, wanted);
  for (const AccessEntry& entry : acl) {
    if (entry.tag == AccessEntry::kNamedUser && entry.id == subject.uid)
      return grants(entry.permissions & mask, wanted);
  }
  bool inSomeGroup = false;
  for (const AccessEntry& entry : acl) {
    bool matches = (entry.tag == AccessEntry::kOwningGroup && subject.belongsTo(status.st_gid)) ||
                   (entry.tag == AccessEntry::kNamedGroup && subject.belongsTo(entry.id));
    if (!matches)
      continue;
    if (grants(entry.permissions & mask, wanted))
      return true;
    inSomeGroup = true;
  }
  if (inSomeGroup)
    return false;
  return grants(others, wanted);
}

}  // namespace

bool AccessSubject::belongsTo(gid_t gid) const {
  return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

std::optional<AccessControlList> parseAccessControlList(std::string_view value) {
  if (value.size() < kHeaderSize || (value.size() - kHeaderSize) % kEntrySize != 0 ||
      readLittleEndian(value, 0, 4) != kAclVersion)
    return std::nullopt;
  AccessControlList acl;
  for (size_t at = kHeaderSize; at < value.size(); at += kEntrySize) {
    uint32_t tag = readLittleEndian(value, at, 2);
    if (!isKnownTag(tag))
      return std::nullopt;
    acl.push_back(AccessEntry{static_cast<AccessEntry::Tag>(tag),
                              readLittleEndian(value, at + 2, 2) & 7u,
                              readLittleEndian(value, at + 4, 4)});
  }
  return acl;
}

std::optional<AccessControlList> readAccessControlList(int fd) {
  std::array<char, 1024> small{};
  ssize_t size = fgetxattr(fd, "system.posix_acl_access", small.data(), small.size());
  if (size >= 0)
    return parseAccessControlList(std::string_view(small.data(), static_cast<size_t>(size)));
  if (errno != ERANGE)
    return std::nullopt;
  std::string large(kMaxValueSize, '\0');
  size = fgetxattr(fd, "system.posix_acl_access", large.data(), large.size());
  if (size < 0)
    return std::nullopt;
  return parseAccessControlList(std::string_view(large.data(), static_cast<size_t>(size)));
}

bool mayAccess(const AccessSubject& subject, const struct stat& status,
               const std::optional<AccessControlList>& acl, unsigned wanted) {
  if (acl)
    return judgeAcl(subject, status, *acl, wanted);
  if (subject.uid == status.st_uid)
    return grants(modeClass(status.st_mode, 6), wanted);
  if (subject.belongsTo(status.st_gid))
    return grants(modeClass(status.st_mode, 3), wanted);
  return grants(modeClass(status.st_mode, 0), wanted);
}

}  // namespace zel
