#include "daemon/request.h"

#include <fmt/format.h>

#include "daemon/refusal_log.h"

namespace zel {

Request::Request(std::string_view operation, const std::string& path, LogChannel channel)
    : mOperation(operation),
      mPath(path),
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
  // Uids without a user entry (a container's subordinate ids) share one allowance of lines.
  logRefusalLine(mChannel, mAccount.entry ? mCaller.uid : kUidsWithoutUserEntry,
                 fmt::format("ZelHelper refused {} {} for uid {} ({}): {}", mOperation, subject,
                             mCaller.uid, refusal->rule, refusal->reason));
  noteReason(describeRefusal(*refusal));
  return true;
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

bool Request::failed(const FileError& error, std::string_view message) const {
  log(message);
  noteReason(fmt::format("failed: {}", error.description));
  return false;
}

void Request::log(std::string_view message) const {
  if (mChannel == LogChannel::kNSLog)
    NSLog(message);
  else
    systemLog(message);
}

}  // namespace zel
