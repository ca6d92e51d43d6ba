// SPDX-License-Identifier: MIT
// The listing of the helper's groups that helperGroups answers, page by page: written by the
// daemon, read by clients.
//
// A page is a summary line, then one line per helper group with a gid from the one asked for
// up, in gid order, every line ending in "\n":
//
//   <gid>\t<POSIX name>\t<full name>\t<asked by>\t<yes|no>
//
// "asked by" is a user name, "uid N" for a uid without one, or "another user" where the caller
// may not know who; the last field says whether the group is open. Each text is cut to
// kShownBytes (ending in "…") and escaped as for the log (platform/log.h), so no field holds a
// tab or a newline and a page (at most wire::kMaxString bytes) always has room for a line. A page
// without group lines ends the listing.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "protocol/zel_helper.h"

namespace zel {

inline constexpr std::size_t kShownBytes = 256;

struct HelperGroupEntry {
  gid_t gid;
  std::string name;
  std::string fullName;
  std::string askedBy;
  bool open;
};

struct HelperGroupListing {
  std::string summary;
  std::vector<HelperGroupEntry> groups;  // in gid order
};

// The line of `entry` in a page, its texts cut and escaped.
std::string helperGroupLine(const HelperGroupEntry& entry);

// Every helper group, asking `helper` for one page after another, with the summary of the last
// page. Nothing when a page cannot be read: the helper did not answer, or answered something that
// is not a page, or a page out of order.
std::optional<HelperGroupListing> readHelperGroupListing(ZelHelper& helper);

}  // namespace zel
