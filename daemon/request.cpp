// SPDX-License-Identifier: MIT
#include "daemon/request.h"

#include <fmt/format.h>

#include "daemon/daemon_log.h"
#include "daemon/refusal_log.h"
#include "platform/message_ids.h"

namespace zel {

Request::Request(std::string_view operation, LogChannel channel, std::string path, std::string user,
                 std::string group)
    : mOperation(operation),
      mPath(std::move(path)),
      mUser(std::move(user)),
      mGroup(std::move(group)),
      mChannel(channel),
      mCaller(currentCaller()),
      mIdentities(IdentityAuthority::localIdentityAuthority()),
      mAccount(mIdentities.accountOf(mCaller.uid)) {}

bool Request::refused(const std::optional<Refusal>& refusal) const {
  return refused(refusal, mPath);
}

bool Request::refused(const std::optional<Refusal>& refusal, std::string_view subject) const {
  if (!refusal)
    return false;
  logRefusalLine(mChannel, allowance(),
                 fmt::format("ZelHelper refused {} {} for uid {} ({}): {}", mOperation, subject,
                             mCaller.uid, refusal->rule, refusal->reason),
                 event(message_id::kRefusal, LOG_WARNING, refusal->rule));
  noteReason(describeRefusal(*refusal));
  return true;
}

uid_t Request::allowance() const {
  // Uids without a user entry (a container's subordinate ids) share one allowance of lines.
  return mAccount.entry ? mCaller.uid : kUidsWithoutUserEntry;
}

AccessSubject Request::subject(std::optional<gid_t> joining) const {
  AccessSubject subject{mCaller.uid, mAccount.groups};
  if (joining)
    subject.groups.push_back(*joining);
  return subject;
}

void Request::kept(const Refusal& reason) const {
  noteReason(fmt::format("kept ({}): {}", reason.rule, reason.reason));
}

bool Request::failed(const FileError& error, std::string_view message,
                     std::string_view systemMessageId) const {
  const LogEvent line = systemMessageId.empty() ? event(message_id::kOperationFailed, LOG_ERR)
                                                : event(systemMessageId, LOG_NOTICE);
  logLine(mChannel, message, line);
  noteReason(fmt::format("failed: {}", error.description));
  return false;
}

void Request::log(std::string_view message, std::string_view messageId) const {
  logLine(mChannel, message, event(messageId, LOG_NOTICE));
}

void Request::audit(std::string_view change) const {
  logAuditLine(
      mChannel, allowance(),
      fmt::format("ZelHelper audit: {} for uid {} ({}) pid {}: {}", mOperation, mCaller.uid,
                  mAccount.entry ? mAccount.entry->name : "no user entry", mCaller.pid, change),
      event(message_id::kAudit, LOG_NOTICE));
}

void Request::auditChange(const std::string& path, const struct stat& before,
                          const struct stat& after) const {
  if (before.st_gid == after.st_gid && before.st_mode == after.st_mode)
    return;
  audit(fmt::format("changed {}: owner {}, group {} -> {}, mode {:#o} -> {:#o}", path, after.st_uid,
                    before.st_gid, after.st_gid, before.st_mode & 07777, after.st_mode & 07777));
}

LogEvent Request::event(std::string_view messageId, int priority, std::string_view rule) const {
  LogEvent line = log_field::callerEvent(mCaller, messageId, priority, mOperation);
  line.fields.push_back({log_field::kPath, mPath});
  line.fields.push_back({log_field::kGroup, mGroup});
  line.fields.push_back({log_field::kUser, mUser});
  line.fields.push_back({log_field::kRule, std::string(rule)});
  return line;
}

}  // namespace zel
