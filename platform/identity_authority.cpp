#include "platform/identity_authority.h"

#include <algorithm>
#include <cerrno>
#include <unordered_map>

#include <fmt/format.h>

#include "platform/full_name_record.h"
#include "platform/group_name.h"
#include "platform/identity_files.h"
#include "platform/system_root.h"

namespace zel {
namespace {

std::vector<UserIdentity> readUsers() {
  return readUserFile(underSystemRoot("/etc/passwd"));
}

std::vector<GroupIdentity> readGroups() {
  return readGroupFile(underSystemRoot("/etc/group"));
}

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

IdentityAuthority IdentityAuthority::localIdentityAuthority() {
  IdentityAuthority authority;
  authority.mUsers = readUsers();
  authority.mGroups = readGroups();
  std::string problem;
  std::optional<std::vector<RecordedGroup>> record = readFullNameRecord(&problem);
  if (!record) {
    authority.mRecordProblem = problem;
    return authority;
  }
  std::unordered_map<std::string_view, const RecordedGroup*> byName;
  for (const RecordedGroup& recorded : *record)
    byName[recorded.name] = &recorded;
  for (GroupIdentity& group : authority.mGroups) {
    auto found = byName.find(group.name);
    if (found != byName.end() && found->second->gid == group.gid) {
      group.fullName = found->second->fullName;
      group.createdByHelper = true;
    }
  }
  return authority;
}

const UserIdentity* IdentityAuthority::identityWithName(std::string_view name) const {
  auto found = std::find_if(mUsers.begin(), mUsers.end(),
                            [&](const UserIdentity& user) { return user.name == name; });
  return found == mUsers.end() ? nullptr : &*found;
}

const UserIdentity* IdentityAuthority::identityWithUid(uid_t uid) const {
  auto found = std::find_if(mUsers.begin(), mUsers.end(),
                            [&](const UserIdentity& user) { return user.uid == uid; });
  return found == mUsers.end() ? nullptr : &*found;
}

bool Account::belongsTo(gid_t gid) const {
  return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

Account IdentityAuthority::accountOf(uid_t uid) const {
  Account account{uid, std::nullopt, {}, false};
  if (const UserIdentity* user = identityWithUid(uid)) {
    account.entry = *user;
    account.groups = groupsOfProcess(uid, user->gid);
    account.regular = uid >= 1000 && uid <= 60000;
  }
  return account;
}

bool IdentityAuthority::isPrimaryGroupOfAnyone(gid_t gid) const {
  return std::any_of(mUsers.begin(), mUsers.end(),
                     [&](const UserIdentity& user) { return user.gid == gid; });
}

bool IdentityAuthority::isHomeDirectory(std::string_view path) const {
  return std::any_of(mUsers.begin(), mUsers.end(),
                     [&](const UserIdentity& user) { return user.home == path; });
}

const GroupIdentity* IdentityAuthority::groupForRequest(std::string_view groupText) const {
  if (const GroupIdentity* group = groupWithFullName(groupText))
    return group;
  auto found = std::find_if(mGroups.begin(), mGroups.end(), [&](const GroupIdentity& group) {
    return group.createdByHelper && group.name == groupText;
  });
  return found == mGroups.end() ? nullptr : &*found;
}

std::size_t IdentityAuthority::helperGroupsRequestedBy(uid_t uid) const {
  return static_cast<std::size_t>(
      std::count_if(mGroups.begin(), mGroups.end(), [&](const GroupIdentity& group) {
        return group.createdByHelper && group.requestedBy == uid;
      }));
}

std::size_t IdentityAuthority::helperGroupCount() const {
  return static_cast<std::size_t>(
      std::count_if(mGroups.begin(), mGroups.end(),
                    [](const GroupIdentity& group) { return group.createdByHelper; }));
}

const GroupIdentity* IdentityAuthority::groupWithFullName(std::string_view fullName) const {
  auto found = std::find_if(mGroups.begin(), mGroups.end(),
                            [&](const GroupIdentity& group) { return group.fullName == fullName; });
  return found == mGroups.end() ? nullptr : &*found;
}

const GroupIdentity* IdentityAuthority::groupForOwnerName(std::string_view ownerName) const {
  if (const GroupIdentity* group = groupWithFullName(ownerName))
    return group;
  auto found = std::find_if(mGroups.begin(), mGroups.end(),
                            [&](const GroupIdentity& group) { return group.name == ownerName; });
  return found == mGroups.end() ? nullptr : &*found;
}

bool IdentityAuthority::isMemberOfGroup(const UserIdentity& user,
                                        const GroupIdentity& group) const {
  return user.gid == group.gid || group.listsMember(user.name);
}

std::vector<gid_t> IdentityAuthority::groupsOfProcess(uid_t uid, gid_t gid) const {
  std::vector<gid_t> gids{gid};
  auto user = std::find_if(mUsers.begin(), mUsers.end(),
                           [&](const UserIdentity& candidate) { return candidate.uid == uid; });
  if (user == mUsers.end())
    return gids;
  for (const GroupIdentity& group : mGroups) {
    if (isMemberOfGroup(*user, group))
      gids.push_back(group.gid);
  }
  return gids;
}

std::optional<GroupIdentity> IdentityAuthority::newGroup(std::string_view fullName) const {
  std::string text(fullName);
  if (text.empty() || hasControlCharacter(text) || !isRecordableText(text))
    return std::nullopt;
  std::string name = posixNameForFullName(text, [&](std::string_view candidate) {
    return std::any_of(mGroups.begin(), mGroups.end(),
                       [&](const GroupIdentity& group) { return group.name == candidate; });
  });
  return GroupIdentity{name, 0, {}, text, true};
}

std::optional<GroupIdentity> IdentityAuthority::newGroup(std::string_view fullName,
                                                         uid_t requestedBy,
                                                         std::string* problem) const {
  std::optional<GroupIdentity> group = newGroup(fullName);
  if (!group) {
    *problem = "the group's full name cannot name a group";
    return std::nullopt;
  }
  group->requestedBy = requestedBy;
  return group;
}

std::optional<CommitError> IdentityAuthority::commitNewGroup(GroupIdentity& group) const {
  // Without a readable record the new full name could not be kept, and writing a fresh
  // record would lose the full names of the groups made before.
  if (mRecordProblem)
    return CommitError{*mRecordProblem, EIO};
  std::vector<std::string> arguments = prefixArguments("-P");
  arguments.insert(arguments.end(), {"--", group.name});
  if (auto error = runShadowTool("groupadd", arguments))
    return error;

  std::vector<GroupIdentity> stored = readGroups();
  auto made = std::find_if(stored.begin(), stored.end(), [&](const GroupIdentity& candidate) {
    return candidate.name == group.name;
  });
  if (made == stored.end())
    return CommitError{
        fmt::format("groupadd left no group {} in {}", group.name, underSystemRoot("/etc/group")),
        ENOENT};
  group.gid = made->gid;

  std::string problem;
  std::optional<std::vector<RecordedGroup>> record = readFullNameRecord(&problem);
  if (!record)
    return CommitError{problem, EIO};
  record->push_back(RecordedGroup{group.name, group.gid, group.fullName});
  return writeFullNameRecord(*record);
}

std::optional<CommitError> IdentityAuthority::addMember(const GroupIdentity& group,
                                                        const UserIdentity& user) const {
  std::vector<std::string> arguments = prefixArguments("-Q");
  arguments.insert(arguments.end(), {"-a", user.name, "--", group.name});
  return runShadowTool("gpasswd", arguments);
}

}  // namespace zel
