// SPDX-License-Identifier: MIT
#include "platform/nss_lookup.h"

#include <grp.h>
#include <pwd.h>

#include <algorithm>
#include <cerrno>

namespace zel {
namespace {

// Runs one reentrant lookup, growing its buffer while it answers ERANGE. Answers the lookup's
// error (0 for success) and whether it found an entry.
template <typename Entry, typename Lookup>
int lookUp(Entry* entry, std::vector<char>* buffer, bool* found, Lookup lookup) {
  buffer->resize(4096);
  for (;;) {
    Entry* result = nullptr;
    int error = lookup(entry, buffer->data(), buffer->size(), &result);
    if (error == ERANGE && buffer->size() < (1u << 24)) {
      buffer->resize(buffer->size() * 2);
      continue;
    }
    *found = error == 0 && result != nullptr;
    return error;
  }
}

}  // namespace

std::optional<UserIdentity> nssUserWithUid(uid_t uid) {
  passwd entry{};
  std::vector<char> buffer;
  bool found = false;
  lookUp(&entry, &buffer, &found,
         [uid](passwd* e, char* b, size_t n, passwd** r) { return getpwuid_r(uid, e, b, n, r); });
  if (!found)
    return std::nullopt;
  return UserIdentity{entry.pw_name, entry.pw_uid, entry.pw_gid, entry.pw_dir, entry.pw_shell};
}

std::vector<gid_t> nssGroupList(const std::string& user, gid_t gid) {
  std::vector<gid_t> groups(64);
  for (;;) {
    int count = static_cast<int>(groups.size());
    if (getgrouplist(user.c_str(), gid, groups.data(), &count) >= 0) {
      groups.resize(static_cast<size_t>(count));
      return groups;
    }
    groups.resize(std::max(static_cast<size_t>(count), groups.size() * 2));
  }
}

bool nssNameTaken(const std::string& name) {
  std::vector<char> buffer;
  bool found = false;
  group groupEntry{};
  if (lookUp(&groupEntry, &buffer, &found,
             [&](group* e, char* b, size_t n, group** r) {
               return getgrnam_r(name.c_str(), e, b, n, r);
             }) != 0 ||
      found)
    return true;
  passwd userEntry{};
  return lookUp(&userEntry, &buffer, &found,
                [&](passwd* e, char* b, size_t n, passwd** r) {
                  return getpwnam_r(name.c_str(), e, b, n, r);
                }) != 0 ||
         found;
}

bool nssGidTaken(gid_t gid) {
  std::vector<char> buffer;
  bool found = false;
  group entry{};
  return lookUp(&entry, &buffer, &found,
                [gid](group* e, char* b, size_t n, group** r) {
                  return getgrgid_r(gid, e, b, n, r);
                }) != 0 ||
         found;
}

}  // namespace zel
