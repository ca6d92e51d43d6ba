// The local identity authority: the users and groups of <root>/etc/passwd and <root>/etc/group,
// read directly in file order (not through NSS), and the record of the full names of the groups
// this helper created (platform/full_name_record.h).
//
// A group's full name is its name, except for a group this helper created, whose full name is
// the recorded one (the record names the group by name and id, so a group deleted and re-made
// by someone else is not mistaken for ours). There are no hidden groups: every group of the file
// is listed.
//
// An IdentityAuthority is a snapshot taken when it is made; the commits write through groupadd
// and gpasswd (with -P/-Q <root> in a sandbox root) and do not update the snapshot. Not
// thread-safe; the daemon uses it from its one serving thread.
#pragma once

#include <sys/types.h>

#include <cstddef>
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

// A caller's user entry and group list as the system gives them (getpwuid, getgrouplist through
// NSS; in a sandbox root, the root's own user and group files), never the connection's gid.
struct Account {
  uid_t uid;
  std::optional<UserIdentity> entry;  // none when the uid has no user entry
  std::vector<gid_t> groups;          // the entry's primary group and every group listing it
  // A uid from UID_MIN to UID_MAX (the root's etc/login.defs) with a login shell other than
  // nologin or false.
  bool regular;

  bool belongsTo(gid_t gid) const;
};

class IdentityAuthority {
 public:
  // Reads the authority as it stands now. Files that cannot be read count as empty.
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
  const std::vector<GroupIdentity>& groups() const { return mGroups; }
  // The first group whose full name equals `fullName` exactly.
  const GroupIdentity* groupWithFullName(std::string_view fullName) const;
  // The group that a group-owner name names: full name first, then POSIX name.
  const GroupIdentity* groupForOwnerName(std::string_view ownerName) const;
  // The group that a request's group text names: full name first, then the POSIX name of a
  // group this helper created.
  const GroupIdentity* groupForRequest(std::string_view groupText) const;
  // Helper groups that still exist: those `uid` asked for, and all of them.
  std::size_t helperGroupsRequestedBy(uid_t uid) const;
  std::size_t helperGroupCount() const;

  // Listed as a member, or the group is the user's primary group.
  bool isMemberOfGroup(const UserIdentity& user, const GroupIdentity& group) const;
  // The groups of a process with these ids: `gid` and those of the first user with `uid`.
  std::vector<gid_t> groupsOfProcess(uid_t uid, gid_t gid) const;

  // A group not yet in the authority, with `fullName` and the POSIX name it will get
  // (platform/group_name.h). Nothing when `fullName` cannot name a group: empty, not UTF-8, or
  // with a control character.
  std::optional<GroupIdentity> newGroup(std::string_view fullName) const;
  // The same, asked for by `requestedBy`, with its gid chosen from the helper's own range
  // (60578 to 61183, each above the highest the record ever handed out) and a POSIX name free
  // as a group and a user name; nothing when no name or gid is left, with the reason in
  // `problem`.
  std::optional<GroupIdentity> newGroup(std::string_view fullName, uid_t requestedBy,
                                        std::string* problem) const;
  // Stores a group made by newGroup: groupadd, then its full name in the record. Sets its gid.
  std::optional<CommitError> commitNewGroup(GroupIdentity& group) const;
  // Makes `user` a listed member of `group` (gpasswd -a).
  std::optional<CommitError> addMember(const GroupIdentity& group, const UserIdentity& user) const;

 private:
  std::vector<UserIdentity> mUsers;
  std::vector<GroupIdentity> mGroups;
  std::optional<std::string> mRecordProblem;  // why the record could not be read
};

}  // namespace zel
