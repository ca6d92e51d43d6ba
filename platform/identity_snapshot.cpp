// SPDX-License-Identifier: MIT
// Reading the identity files into a snapshot with its indexes, and the one cached snapshot that
// localIdentityAuthority() serves while the files stay as they were.
#include "platform/identity_snapshot.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <ctime>
#include <mutex>

#include "platform/full_name_record.h"
#include "platform/identity_files.h"
#include "platform/system_root.h"

namespace zel {
namespace {

// What tells one version of a file from another. groupadd and gpasswd replace the group file,
// so its identity changes; the times and size catch files rewritten in place.
struct FileStamp {
  int statError = 0;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec modified{};
  timespec changed{};

  bool operator==(const FileStamp& other) const {
    return statError == other.statError && device == other.device && inode == other.inode &&
           size == other.size && sameTime(modified, other.modified) &&
           sameTime(changed, other.changed);
  }
  // A file changed in the same clock tick as it was read might change again with the same
  // stamp, so a snapshot of it cannot be trusted later.
  bool changedSince(const timespec& time) const {
    return statError == 0 && (changed.tv_sec > time.tv_sec ||
                              (changed.tv_sec == time.tv_sec && changed.tv_nsec >= time.tv_nsec));
  }

  static bool sameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
  }
};

FileStamp stampOf(const std::string& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0)
    return FileStamp{errno};
  return FileStamp{0, status.st_dev, status.st_ino, status.st_size, status.st_mtim, status.st_ctim};
}

using Stamps = std::array<FileStamp, 4>;

struct IdentityFilePaths {
  std::string root = systemRoot();
  std::string users = underSystemRoot("/etc/passwd");
  std::string groups = underSystemRoot("/etc/group");
  std::string loginDefs = underSystemRoot("/etc/login.defs");
  std::string record = fullNameRecordPath();

  Stamps stamps() const {
    return {stampOf(users), stampOf(groups), stampOf(loginDefs), stampOf(record)};
  }
};

std::string withoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/')
    path.pop_back();
  return path;
}

void markHelperGroups(std::vector<GroupIdentity>& groups, const FullNameRecord& record) {
  std::unordered_map<gid_t, const RecordedGroup*> byGid;
  for (const RecordedGroup& recorded : record.groups)
    byGid[recorded.gid] = &recorded;
  for (GroupIdentity& group : groups) {
    auto found = byGid.find(group.gid);
    if (found != byGid.end() && found->second->name == group.name) {
      group.fullName = found->second->fullName;
      group.createdByHelper = true;
      group.requestedBy = found->second->requestedBy;
    }
  }
}

}  // namespace

std::shared_ptr<const IdentityAuthority::Snapshot> IdentityAuthority::readSnapshot() {
  IdentityFilePaths paths;
  auto snapshot = std::make_shared<Snapshot>();
  snapshot->users = readUserFile(paths.users);
  snapshot->groups = readGroupFile(paths.groups);
  snapshot->regularUids = readRegularUidRange(paths.loginDefs);
  std::string problem;
  // An unreadable record names no group as the helper's: none is open, and commitNewGroup
  // refuses to write over it.
  if (std::optional<FullNameRecord> record = readFullNameRecord(&problem)) {
    markHelperGroups(snapshot->groups, *record);
    snapshot->highestRecordedGid = record->highestGid;
  }

  for (const UserIdentity& user : snapshot->users) {
    snapshot->usersByName.try_emplace(user.name, &user);
    snapshot->usersByUid.try_emplace(user.uid, &user);
    snapshot->primaryGids.insert(user.gid);
    snapshot->homes.insert(withoutTrailingSlashes(user.home));
  }
  for (const GroupIdentity& group : snapshot->groups) {
    snapshot->groupsByName.try_emplace(group.name, &group);
    snapshot->groupsByFullName.try_emplace(group.fullName, &group);
    snapshot->usedGids.insert(group.gid);
    for (std::string_view rest = group.memberList; !rest.empty();) {
      size_t comma = rest.find(',');
      if (comma != 0)
        snapshot->listedGids[rest.substr(0, comma)].push_back(group.gid);
      rest.remove_prefix(comma == std::string_view::npos ? rest.size() : comma + 1);
    }
    if (group.createdByHelper) {
      ++snapshot->helperGroupsByRequester[group.requestedBy];
      snapshot->helperGroups.push_back(&group);
    }
  }
  std::stable_sort(snapshot->helperGroups.begin(), snapshot->helperGroups.end(),
                   [](const GroupIdentity* a, const GroupIdentity* b) { return a->gid < b->gid; });
  return snapshot;
}

IdentityAuthority IdentityAuthority::localIdentityAuthority() {
  static std::mutex mutex;
  static std::string cachedRoot;
  static Stamps cachedStamps;
  static std::shared_ptr<const Snapshot> cached;

  IdentityFilePaths paths;
  std::lock_guard lock(mutex);
  Stamps stamps = paths.stamps();
  if (cached && cachedRoot == paths.root && cachedStamps == stamps)
    return IdentityAuthority(cached);

  timespec readStart{};
  clock_gettime(CLOCK_REALTIME_COARSE, &readStart);
  stamps = paths.stamps();
  std::shared_ptr<const Snapshot> snapshot = readSnapshot();
  bool trustworthy = std::none_of(stamps.begin(), stamps.end(), [&](const FileStamp& stamp) {
    return stamp.changedSince(readStart);
  });
  cached = trustworthy ? snapshot : nullptr;
  cachedRoot = paths.root;
  cachedStamps = stamps;
  return IdentityAuthority(snapshot);
}

}  // namespace zel
