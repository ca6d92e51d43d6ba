// One remote operation in progress: its name, the path it acts on, its caller, the identity
// files as read once for it, the caller's account, and the logging of refusals and failed
// changes in the operation's own log channel.
//
// A refusal is logged as "ZelHelper refused <operation> <subject> for uid N (<rule>): <reason>"
// (limited per uid) and noted for the caller's lastReason as "refused (<rule>): <reason>"; an
// item left other than asked is noted as "kept (<rule>): <reason>", a change that failed as
// "failed: <what>".
#pragma once

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
  Request(std::string_view operation, const std::string& path, LogChannel channel);

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
  // Answers false, the operation's result.
  bool failed(const FileError& error, std::string_view message) const;

  // Logs `message` in the operation's channel.
  void log(std::string_view message) const;

 private:
  std::string_view mOperation;
  const std::string& mPath;
  LogChannel mChannel;
  Caller mCaller;
  IdentityAuthority mIdentities;
  Account mAccount;
};

}  // namespace zel
