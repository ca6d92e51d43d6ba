// SPDX-License-Identifier: MIT
#include "platform/identity_authority.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <unordered_map>

#include <fmt/format.h>

#include "platform/full_name_record.h"
#include "platform/group_name.h"
#include "platform/identity_files.h"
#include "platform/identity_snapshot.h"
#include "platform/nss_lookup.h"
#include "platform/system_root.h"

namespace zel {
namespace {

bool hasControlCharacter(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7f;
  });
}

std::vector<std::string> prefixArguments(const char* option) {
  if (!inSandboxRoot())
    return {};
  return {option, systemRoot()};
}

// As login: an empty shell is /bin/sh.
bool hasLoginShell(std::string_view shell) {
  for (std::string_view refusing : {"nologin", "false"}) {
    if (shell == refusing ||
        (shell.ends_with(refusing) && shell[shell.size() - refusing.size() - 1] == '/'))
      return false;
  }
  return true;
}

template <typename Map, typename Key>
auto foundOrNull(const Map& map, const Key& key) -> typename Map::mapped_type {
  auto found = map.find(key);
  return found == map.end() ? nullptr : found->second;
}

// Puts the record back as it was before a commit that failed.
void restoreRecord(const FullNameRecord& previous, bool existed) {
  if (existed)
    writeFullNameRecord(previous.groups, previous.highestGid);
  else
    unlink(fullNameRecordPath().c_str());
}

}  // namespace

bool GroupIdentity::listsMember(std::string_view user) const {
  for (std::string_view rest = memberList; !rest.empty();) {
    size_t comma = rest.find(',');
    if (rest.substr(0, comma) == user)
      return true;
    rest.remove_prefix(comma == std::string_view::npos ? rest.size() : comma + 1);
  }
  return false;
}

bool Account::belongsTo(gid_t gid) const {
  return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

IdentityAuthority::IdentityAuthority(std::shared_ptr<const Snapshot> snapshot)
    : mSnapshot(std::move(snapshot)) {}

const UserIdentity* IdentityAuthority::identityWithName(std::string_view name) const {
  return foundOrNull(mSnapshot->usersByName, name);
}

const UserIdentity* IdentityAuthority::identityWithUid(uid_t uid) const {
  return foundOrNull(mSnapshot->usersByUid, uid);
}

Account IdentityAuthority::accountOf(uid_t uid) const {
  Account account{uid, std::nullopt, {}, false};
  if (inSandboxRoot()) {
    if (const UserIdentity* user = identityWithUid(uid)) {
      account.entry = *user;
      account.groups = groupListOf(*user);
    }
  } else if ((account.entry = nssUserWithUid(uid))) {
    account.groups = nssGroupList(account.entry->name, account.entry->gid);
  }
  account.regular =
      account.entry && mSnapshot->regularUids.contains(uid) && hasLoginShell(account.entry->shell);
  return account;
}

bool IdentityAuthority::isPrimaryGroupOfAnyone(gid_t gid) const {
  return mSnapshot->primaryGids.contains(gid);
}

bool IdentityAuthority::isHomeDirectory(std::string_view path) const {
  return mSnapshot->homes.contains(std::string(path));
}

const std::vector<GroupIdentity>& IdentityAuthority::groups() const {
  return mSnapshot->groups;
}

const GroupIdentity* IdentityAuthority::groupWithFullName(std::string_view fullName) const {
  return foundOrNull(mSnapshot->groupsByFullName, fullName);
}

const GroupIdentity* IdentityAuthority::groupForOwnerName(std::string_view ownerName) const {
  if (const GroupIdentity* group = groupWithFullName(ownerName))
    return group;
  return foundOrNull(mSnapshot->groupsByName, ownerName);
}

// Only a helper group's POSIX name can differ from its full name, so the owner-name lookup finds
// no other group by POSIX name.
const GroupIdentity* IdentityAuthority::groupForRequest(std::string_view groupText) const {
  return groupForOwnerName(groupText);
}

std::size_t IdentityAuthority::helperGroupsRequestedBy(uid_t uid) const {
  auto found = mSnapshot->helperGroupsByRequester.find(uid);
  return found == mSnapshot->helperGroupsByRequester.end() ? 0 : found->second;
}

std::size_t IdentityAuthority::helperGroupCount() const {
  return mSnapshot->helperGroups.size();
}

const std::vector<const GroupIdentity*>& IdentityAuthority::helperGroups() const {
  return mSnapshot->helperGroups;
}

bool IdentityAuthority::isMemberOfGroup(const UserIdentity& user,
                                        const GroupIdentity& group) const {
  return user.gid == group.gid || group.listsMember(user.name);
}

std::vector<gid_t> IdentityAuthority::groupsOfProcess(uid_t uid, gid_t gid) const {
  std::vector<gid_t> gids{gid};
  if (const UserIdentity* user = identityWithUid(uid)) {
    std::vector<gid_t> listed = groupListOf(*user);
    gids.insert(gids.end(), listed.begin(), listed.end());
  }
  return gids;
}

std::vector<gid_t> IdentityAuthority::groupListOf(const UserIdentity& user) const {
  std::vector<gid_t> gids{user.gid};
  auto listed = mSnapshot->listedGids.find(user.name);
  if (listed == mSnapshot->listedGids.end())
    return gids;
  std::copy_if(listed->second.begin(), listed->second.end(), std::back_inserter(gids),
               [&](gid_t gid) { return gid != user.gid; });
  return gids;
}

std::optional<gid_t> IdentityAuthority::freeHelperGid() const {
  gid_t first = std::max(kFirstHelperGid, static_cast<gid_t>(mSnapshot->highestRecordedGid + 1));
  for (gid_t gid = first; gid <= kLastHelperGid; ++gid) {
    if (!mSnapshot->usedGids.contains(gid) && (inSandboxRoot() || !nssGidTaken(gid)))
      return gid;
  }
  return std::nullopt;
}

bool IdentityAuthority::isNameTaken(std::string_view name) const {
  if (mSnapshot->groupsByName.contains(name))
    return true;
  if (inSandboxRoot())
    return mSnapshot->usersByName.contains(name);
  return nssNameTaken(std::string(name));
}

std::optional<GroupIdentity> IdentityAuthority::newGroup(std::string_view fullName,
                                                         uid_t requestedBy,
                                                         std::string* problem) const {
  std::string text(fullName);
  if (text.empty() || hasControlCharacter(text) || !isRecordableText(text)) {
    *problem = "the group's full name cannot name a group";
    return std::nullopt;
  }
  std::optional<gid_t> gid = freeHelperGid();
  if (!gid) {
    *problem = fmt::format(
        "no group id is left in the helper's range {} to {}, and ids are never handed out "
        "twice; an administrator can delete unused zel- groups with their files and lower "
        "highestGid in {}",
        kFirstHelperGid, kLastHelperGid, fullNameRecordPath());
    return std::nullopt;
  }
  std::optional<std::string> name =
      helperGroupName(text, [this](std::string_view candidate) { return isNameTaken(candidate); });
  if (!name) {
    *problem = "no free group name is left for that full name";
    return std::nullopt;
  }
  return GroupIdentity{*name, *gid, {}, text, true, requestedBy};
}

std::optional<CommitError> IdentityAuthority::commitNewGroup(const GroupIdentity& group) const {
  // Without a readable record the new entry could not be kept, and writing a fresh record would
  // lose the groups made before.
  std::string problem;
  std::optional<FullNameRecord> record = readFullNameRecord(&problem);
  if (!record)
    return CommitError{problem, EIO};
  bool recordExisted = access(fullNameRecordPath().c_str(), F_OK) == 0;

  // The entry is written before the group exists, so that no helper group is ever missing from
  // the record and its gid counts as handed out from then on.
  std::unordered_map<std::string, gid_t> current;
  for (GroupIdentity& stored : readGroupFile(underSystemRoot("/etc/group")))
    current.try_emplace(std::move(stored.name), stored.gid);
  std::vector<RecordedGroup> kept;
  for (const RecordedGroup& entry : record->groups) {
    auto found = current.find(entry.name);
    if (found != current.end() && found->second == entry.gid)
      kept.push_back(entry);
  }
  kept.push_back(RecordedGroup{group.name, group.gid, group.fullName, group.requestedBy});
  if (auto error = writeFullNameRecord(kept, record->highestGid))
    return error;

  std::vector<std::string> arguments = prefixArguments("-P");
  arguments.insert(arguments.end(), {"-g", std::to_string(group.gid), "--", group.name});
  if (auto error = runShadowTool("groupadd", arguments)) {
    restoreRecord(*record, recordExisted);
    return error;
  }
  return std::nullopt;
}

std::optional<CommitError> IdentityAuthority::addMember(const GroupIdentity& group,
                                                        const UserIdentity& user) const {
  std::vector<std::string> arguments = prefixArguments("-Q");
  arguments.insert(arguments.end(), {"-a", user.name, "--", group.name});
  return runShadowTool("gpasswd", arguments);
}

}  // namespace zel
