// The identity authority's own record of the groups this helper created: each group's POSIX
// name, id and full name, kept as JSON in <root>/var/lib/<helper label>/groups.json. The file is
// replaced atomically (a temporary file, fsynced, renamed), so a reader sees the old record or
// the new one, never a mix. One process writes it: the daemon, one request at a time.
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
};

std::string fullNameRecordPath();

// The recorded groups; none when the file does not exist yet. Nothing when the file exists but
// cannot be read or parsed, with the reason in `problem`.
std::optional<std::vector<RecordedGroup>> readFullNameRecord(std::string* problem);

// Replaces the record with `groups`, creating its directory when needed.
std::optional<CommitError> writeFullNameRecord(const std::vector<RecordedGroup>& groups);

// True when `text` can be stored in the record (valid UTF-8).
bool isRecordableText(const std::string& text);

}  // namespace zel
