// SPDX-License-Identifier: MIT
// The identity authority's own record of the groups this helper created: each group's POSIX
// name, id, full name and the uid that asked for it, and the highest group id the helper ever
// handed out, kept as JSON in <root>/var/lib/<helper label>/groups.json. Root-only: the file is
// 0600 in a 0700 directory. The file is replaced atomically (platform/atomic_file.h), so a
// reader sees the old record or the new one, never a mix. One process writes it: the daemon,
// one request at a time.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/shadow_tools.h"

namespace zel {

struct RecordedGroup {
  std::string name;
  gid_t gid;
  std::string fullName;
  // 0 for root, and for entries written before the uid was kept.
  uid_t requestedBy = 0;
};

struct FullNameRecord {
  std::vector<RecordedGroup> groups;
  // Never lower than the gid of any entry, even one dropped since; 0 when none was handed out.
  gid_t highestGid = 0;
};

std::string fullNameRecordPath();

// The record; empty when the file does not exist yet. Nothing when the file exists but cannot be
// read or parsed, with the reason in `problem`.
std::optional<FullNameRecord> readFullNameRecord(std::string* problem);

// Replaces the record with `groups`, keeping as highest gid the highest of `highestGid` and the
// entries' gids, creating its directory when needed.
std::optional<CommitError> writeFullNameRecord(const std::vector<RecordedGroup>& groups,
                                               gid_t highestGid = 0);

// True when `text` can be stored in the record (valid UTF-8).
bool isRecordableText(const std::string& text);

}  // namespace zel
