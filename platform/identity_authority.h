// SPDX-License-Identifier: MIT
// The local identity authority: the users and groups of <root>/etc/passwd and <root>/etc/group,
// read directly in file order (not through NSS), the regular users' uid range of
// <root>/etc/login.defs, and the record of the groups this helper created
// (platform/full_name_record.h).
//
// A group's full name is its name, except for a helper group, whose full name is the recorded
// one. A record entry counts only while the group file has that name with that gid, so a group
// deleted and re-made by someone else is not mistaken for ours. There are no hidden groups:
// every group of the file is listed.
//
// An IdentityAuthority is an immutable snapshot, cheap to copy (it shares the files as read and
// the indexes built from them, so no lookup scans the files). localIdentityAuthority() serves the
// same snapshot until one of the four files changes (its identity, size, modification or change
// time); it is safe to call from several threads. The commits write through groupadd and gpasswd
// (with -P/-Q <root> in a sandbox root) and do not update the snapshot.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/shadow_tools.h"

namespace zel {

struct UserIdentity {
  std::string name;
  uid_t uid;
  gid_t gid;  // primary group
  std::string home;
  std::string shell;
};

struct GroupIdentity {
  std::string name;  // the POSIX name
  gid_t gid;
  // The member field of the group file: user names separated by commas. Kept as one text, so
  // that reading a large group file costs few allocations.
  std::string memberList;
  std::string fullName;
  bool createdByHelper;
  // For a group this helper created: the uid that asked for it (0 for root, and for entries
  // recorded before the uid was kept).
  uid_t requestedBy = 0;

  // Created by this helper at the request of a caller other than root.
  bool isOpen() const { return createdByHelper && requestedBy != 0; }

  bool listsMember(std::string_view user) const;
};

// A caller's user entry and group list as the system gives them (getpwuid_r, getgrouplist through
// NSS; in a sandbox root, the root's own user and group files), never the connection's gid.
struct Account {
  uid_t uid;
  std::optional<UserIdentity> entry;  // none when the uid has no user entry
  std::vector<gid_t> groups;          // the entry's primary group and every group listing it
  // A uid from UID_MIN to UID_MAX (the root's etc/login.defs) with a login shell other than
  // nologin or false (an empty shell is /bin/sh).
  bool regular;

  bool belongsTo(gid_t gid) const;
};

// The gids helper groups take, never handed out twice.
inline constexpr gid_t kFirstHelperGid = 60578;
inline constexpr gid_t kLastHelperGid = 61183;

class IdentityAuthority {
 public:
  // The authority as the files stand now (files that cannot be read count as empty).
  static IdentityAuthority localIdentityAuthority();

  // The first user of that login name, in file order.
  const UserIdentity* identityWithName(std::string_view name) const;
  // The first user with that uid, in file order.
  const UserIdentity* identityWithUid(uid_t uid) const;
  // The caller's account: NSS outside a sandbox root, this snapshot's files inside one.
  Account accountOf(uid_t uid) const;
  // True when some user of the user file has `gid` as its primary group.
  bool isPrimaryGroupOfAnyone(gid_t gid) const;
  // True when `path` (absolute, normalised) is the home directory of a user of the user file.
  bool isHomeDirectory(std::string_view path) const;
  // Every group, in file order.
  const std::vector<GroupIdentity>& groups() const;
  // The first group whose full name equals `fullName` exactly.
  const GroupIdentity* groupWithFullName(std::string_view fullName) const;
  // The group that a group-owner name names: full name first, then POSIX name.
  const GroupIdentity* groupForOwnerName(std::string_view ownerName) const;
  // The group that a request's group text names: full name first, then the POSIX name of a
  // helper group.
  const GroupIdentity* groupForRequest(std::string_view groupText) const;
  // Helper groups that still exist: those `uid` asked for, and all of them.
  std::size_t helperGroupsRequestedBy(uid_t uid) const;
  std::size_t helperGroupCount() const;
  // Helper groups that still exist, in gid order; they live as long as this authority.
  const std::vector<const GroupIdentity*>& helperGroups() const;

  // Listed as a member, or the group is the user's primary group.
  bool isMemberOfGroup(const UserIdentity& user, const GroupIdentity& group) const;
  // The groups of a process with these ids: `gid` and those of the first user with `uid`.
  std::vector<gid_t> groupsOfProcess(uid_t uid, gid_t gid) const;

  // The gid a new helper group would take: the lowest of the helper's range above the highest
  // the record ever handed out that no group uses; nothing when the range is used up.
  std::optional<gid_t> freeHelperGid() const;
  // A helper group not yet in the authority, asked for by `requestedBy`, with `fullName`, its
  // POSIX name (platform/group_name.h; free as a group and as a user name) and freeHelperGid().
  // Nothing, with the reason in `problem`, when `fullName` cannot name a group (empty, not UTF-8,
  // with a control character) or no name or gid is left.
  std::optional<GroupIdentity> newGroup(std::string_view fullName, uid_t requestedBy,
                                        std::string* problem) const;
  // Stores a group made by newGroup: its entry in the record (stale entries dropped), then
  // groupadd with its gid. When groupadd fails, the record is put back as it was.
  std::optional<CommitError> commitNewGroup(const GroupIdentity& group) const;
  // Makes `user` a listed member of `group` (gpasswd -a).
  std::optional<CommitError> addMember(const GroupIdentity& group, const UserIdentity& user) const;

 private:
  struct Snapshot;  // platform/identity_snapshot.h
  explicit IdentityAuthority(std::shared_ptr<const Snapshot> snapshot);
  // Reads the four files and builds the indexes.
  static std::shared_ptr<const Snapshot> readSnapshot();
  bool isNameTaken(std::string_view name) const;
  // As getgrouplist on this snapshot's files: the primary group, then the groups listing `user`.
  std::vector<gid_t> groupListOf(const UserIdentity& user) const;

  std::shared_ptr<const Snapshot> mSnapshot;
};

}  // namespace zel
