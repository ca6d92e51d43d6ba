// SPDX-License-Identifier: MIT
// One remote operation in progress: its name, the path, user and group it names, its caller,
// the identity files as read once for it, the caller's account, and the logging of refusals,
// failed changes and changes made in the operation's own log channel. Every line of a request
// carries its journal fields (daemon/daemon_log.h).
//
// A refusal is logged as "ZelHelper refused <operation> <subject> for uid N (<rule>): <reason>"
// (limited per uid, LOG_WARNING) and noted for the caller's lastReason as
// "refused (<rule>): <reason>"; an item left other than asked is noted as
// "kept (<rule>): <reason>", a change that failed as "failed: <what>". Each change made is one
// audit line at LOG_NOTICE (limited per uid other than root):
// "ZelHelper audit: <operation> for uid N (<user name>) pid P: <change>".
#pragma once

#include <sys/stat.h>

#include <optional>
#include <string>
#include <string_view>

#include "daemon/caller.h"
#include "daemon/refusal.h"
#include "platform/access_judge.h"
#include "platform/file_error.h"
#include "platform/identity_authority.h"
#include "platform/log.h"

namespace zel {

class Request {
 public:
  // `path`, `user` and `group` as the request names them; empty when it names none.
  Request(std::string_view operation, LogChannel channel, std::string path, std::string user = {},
          std::string group = {});

  std::string_view operation() const { return mOperation; }
  const std::string& path() const { return mPath; }
  LogChannel channel() const { return mChannel; }
  const Caller& caller() const { return mCaller; }
  // True for uid 0, to whom the rules for other callers do not apply.
  bool unrestricted() const { return mCaller.uid == 0; }
  // The identity files, read once for this request.
  const IdentityAuthority& identities() const { return mIdentities; }
  // The caller's user entry and groups.
  const Account& account() const { return mAccount; }
  // The caller as the access judge sees it: its uid and groups, and `joining` when the group
  // step would add it to that group.
  AccessSubject subject(std::optional<gid_t> joining = std::nullopt) const;

  // Logs and notes the refusal when there is one; true when the request is refused. `subject`
  // defaults to the request's path.
  bool refused(const std::optional<Refusal>& refusal) const;
  bool refused(const std::optional<Refusal>& refusal, std::string_view subject) const;

  // Notes that the item was left other than asked, for the reason given.
  void kept(const Refusal& reason) const;

  // Logs a change that failed with `message`, noted for the caller as "failed: <what>".
  // `message` is the helper's own line at LOG_ERR, or, given `systemMessageId`, one of the
  // system's own messages at LOG_NOTICE under that id. Answers false, the operation's result.
  bool failed(const FileError& error, std::string_view message,
              std::string_view systemMessageId = {}) const;

  // Logs one of the system's own messages (LOG_NOTICE) in the operation's channel.
  void log(std::string_view message, std::string_view messageId) const;

  // Logs the audit line of a change made, such as "created file /srv/zel/a group 60578 mode
  // 0770".
  void audit(std::string_view change) const;
  // The audit line of an existing item changed from `before` to `after`; nothing when its group
  // and mode stayed as they were.
  void auditChange(const std::string& path, const struct stat& before,
                   const struct stat& after) const;

  // The request's fields, with the kind, priority and rule of a line.
  LogEvent event(std::string_view messageId, int priority, std::string_view rule = {}) const;

 private:
  // Whose allowance of refusal and audit lines this request's lines count against.
  uid_t allowance() const;

  std::string_view mOperation;
  std::string mPath;
  std::string mUser;
  std::string mGroup;
  LogChannel mChannel;
  Caller mCaller;
  IdentityAuthority mIdentities;
  Account mAccount;
};

}  // namespace zel
