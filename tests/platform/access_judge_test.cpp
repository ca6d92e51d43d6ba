// SPDX-License-Identifier: MIT
// The access judge against the kernel's rules: mode classes, named entries, mask, and ACL
// values read from their stored form.
#include <sys/stat.h>

#include <string>

#include <gtest/gtest.h>

#include "platform/access_judge.h"

namespace zel {
namespace {

using Tag = AccessEntry::Tag;
using enum AccessEntry::Tag;

constexpr uid_t kOwnerUid = 100;
constexpr gid_t kGroup = 200;

std::string stored(const AccessControlList& acl) {
  std::string value{2, 0, 0, 0};
  for (const AccessEntry& entry : acl) {
    for (uint32_t part : {uint32_t{entry.tag}, uint32_t{entry.permissions}})
      value += {static_cast<char>(part & 0xff), static_cast<char>(part >> 8)};
    for (int shift = 0; shift < 32; shift += 8)
      value += static_cast<char>((entry.id >> shift) & 0xff);
  }
  return value;
}

AccessControlList aclWith(Tag tag, uint32_t id, unsigned permissions, unsigned mask) {
  return {{Tag::kOwner, 7, 0},
          {tag, permissions, id},
          {Tag::kOwningGroup, 0, 0},
          {Tag::kMask, mask, 0},
          {Tag::kOthers, 7, 0}};
}

TEST(AccessJudge, JudgesAsTheKernel) {
  struct Case {
    const char* name;
    AccessSubject subject;
    mode_t mode;
    std::optional<AccessControlList> acl;
    unsigned wanted;
    bool allowed;
  };
  const AccessSubject owner{kOwnerUid, {}}, member{300, {kGroup}}, other{300, {999}};
  const AccessSubject named{300, {}}, inGroup{300, {400}};
  constexpr unsigned kWriteSearch = kMayWrite | kMaySearch;
  for (const Case& c : std::vector<Case>{
           {"OwnerClassOnly", owner, 0077, std::nullopt, kMaySearch, false},
           {"OwnerBits", owner, 0700, std::nullopt, kWriteSearch, true},
           {"GroupWithoutWrite", member, 02750, std::nullopt, kWriteSearch, false},
           {"GroupClassOnly", member, 0707, std::nullopt, kMaySearch, false},
           {"Others", other, 0001, std::nullopt, kMaySearch, true},
           {"NamedUserMasked", named, 0777, aclWith(kNamedUser, 300, 7, 5), kWriteSearch, false},
           {"NamedUserFirst", named, 0777, aclWith(kNamedUser, 300, 0, 7), kMaySearch, false},
           {"NamedGroupGrants", inGroup, 0770, aclWith(kNamedGroup, 400, 3, 7), kWriteSearch, true},
           {"GroupEntryDenies", inGroup, 0777, aclWith(kNamedGroup, 400, 4, 7), kMaySearch, false},
           {"OthersIfNoEntry", other, 0770, aclWith(kNamedGroup, 400, 0, 7), kWriteSearch, true}}) {
    struct stat status {};
    status.st_uid = kOwnerUid;
    status.st_gid = kGroup;
    status.st_mode = S_IFDIR | c.mode;
    std::optional<AccessControlList> acl =
        c.acl ? parseAccessControlList(stored(*c.acl)) : std::nullopt;
    EXPECT_EQ(c.acl.has_value(), acl.has_value()) << c.name;
    EXPECT_EQ(mayAccess(c.subject, status, acl, c.wanted), c.allowed) << c.name;
  }
}

TEST(AccessJudge, RefusesMalformedValues) {
  std::string good = stored(aclWith(kNamedUser, 1, 7, 7));
  std::string wrongVersion = good;
  wrongVersion[0] = 1;
  std::string unknownTag = good;
  unknownTag[4] = 0x40;
  for (const std::string& value :
       {wrongVersion, unknownTag, good.substr(0, good.size() - 1), std::string(2, '\2')})
    EXPECT_FALSE(parseAccessControlList(value).has_value());
}

}  // namespace
}  // namespace zel
