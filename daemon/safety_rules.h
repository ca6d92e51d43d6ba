// The safety rules of the root daemon, applied to the caller of the request in progress
// (daemon/caller.h), whose uid and gid come from the kernel, never from the request.
//
// 1. Paths must be absolute, without "." or ".." components, and no symbolic link is followed
//    in any component (the file manager enforces it for every change; refusalOfPath refuses a
//    request up front).
// 2. A caller with uid 0 may name any user and act on any path.
// 3. Any other caller may name only itself as the user; is added only to a group it already
//    belongs to or that this helper created; has an existing item taken over only if it owns it
//    or it already belongs to the request's group; has new items created only below a directory
//    it can write to or that belongs to the request's group; has permissions set only on items it
//    owns or whose group it is a member of; and never has set-user-ID or set-group-ID bits set
//    on an item it does not own.
//
// Each refusal* function answers the rule that refuses, or nothing. Group memberships are those
// of the identity authority as read when the rules were made.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "daemon/caller.h"
#include "platform/file_manager.h"
#include "platform/identity_authority.h"
#include "platform/log.h"

namespace zel {

class SafetyRules {
 public:
  // The rules for the caller of the request in progress.
  static SafetyRules forCurrentCaller();

  const Caller& caller() const { return mCaller; }
  // True for uid 0, to whom rule 3 does not apply.
  bool unrestricted() const { return mCaller.uid == 0; }

  // Rule 1, for every caller.
  static std::optional<std::string> refusalOfPath(const std::string& path);

  std::optional<std::string> refusalToName(const UserIdentity& user) const;
  // `user` is the named user, not yet a member of `group`.
  std::optional<std::string> refusalToAdd(const GroupIdentity& group) const;
  std::optional<std::string> refusalToTakeOver(const ItemAttributes& item,
                                               std::optional<gid_t> requestGroup) const;
  std::optional<std::string> refusalToCreateIn(const ItemAttributes& directory,
                                               std::optional<gid_t> requestGroup) const;
  std::optional<std::string> refusalToSetPermissions(const ItemAttributes& item,
                                                     uint32_t permissions) const;

  // Logs a refusal: one line beginning "ZelHelper" naming the operation, its subject, the
  // caller and the rule, through the operation's own log channel.
  void logRefusal(LogChannel channel, std::string_view operation, std::string_view subject,
                  std::string_view rule) const;

 private:
  SafetyRules(const Caller& caller, std::vector<gid_t> callerGroups);
  bool isCallerGroup(gid_t gid) const;

  Caller mCaller;
  std::vector<gid_t> mCallerGroups;
};

}  // namespace zel
