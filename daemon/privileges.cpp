// SPDX-License-Identifier: MIT
// octToDec and setPrivileges: POSIX permissions written as octal-looking numbers (770 for 0770).
#include <fmt/format.h>
#include <fmt/printf.h>

#include "daemon/daemon_log.h"
#include "daemon/daemon_zel_helper.h"
#include "daemon/request.h"
#include "daemon/safety_rules.h"
#include "platform/file_manager.h"
#include "platform/log.h"
#include "platform/message_ids.h"
#include "platform/octal_looking.h"
#include "platform/path_walk.h"

namespace zel {
namespace {

// The mode whose octal digits are the decimal digits of `octalLooking`; nothing, after the
// conversion message (with the request's fields, when there is one), when it has an 8 or a 9.
std::optional<uint32_t> modeOfOctalLooking(uint32_t octalLooking, const Request* request) {
  const std::optional<uint32_t> mode = valueOfOctalLooking(octalLooking);
  if (!mode) {
    const std::string message =
        fmt::sprintf("octToDec non octal number: %lu", static_cast<unsigned long>(octalLooking));
    if (request != nullptr)
      request->log(message, message_id::kNonOctalNumber);
    else
      NSLog(message, log_field::callerEvent(currentCaller(), message_id::kNonOctalNumber,
                                            LOG_NOTICE, "octToDec"));
  }
  return mode;
}

}  // namespace

uint32_t DaemonZelHelper::octToDec(uint32_t octalLooking) {
  return modeOfOctalLooking(octalLooking, nullptr).value_or(0);
}

void DaemonZelHelper::setPrivileges(uint32_t octalLooking, const std::string& path) {
  Request request("setPrivileges", LogChannel::kNSLog, path);
  AccessSubject subject = request.subject();
  PathWalk walk = walkPath(path, request.unrestricted() ? nullptr : &subject);
  if (request.refused(refusalOfWalk(walk)))
    return;
  bool exists = walk.stop == WalkStop::kComplete;
  if (!exists)
    request.log(
        fmt::format("ZelHelper Error getting {} attributes: {}", path, walk.error.description),
        message_id::kAttributesUnreadable);
  // A number that is not octal-looking changes nothing: a typo must not clear the mode.
  std::optional<uint32_t> asked = modeOfOctalLooking(octalLooking, &request);
  if (!asked) {
    noteReason(fmt::format("failed: {} is not an octal-looking number", octalLooking));
    return;
  }
  uint32_t current = exists ? walk.item->status.st_mode & 07777 : 0;
  if (static_cast<int32_t>(current) == static_cast<int32_t>(*asked))
    return;
  std::string setFailure = "ZelHelper Error setting {} privileges: {}";
  if (!exists) {
    request.failed(walk.error, fmt::format(fmt::runtime(setFailure), path, walk.error.description),
                   message_id::kPrivilegesNotSet);
    return;
  }
  WalkedItem& item = *walk.item;
  if (request.refused(refusalToSetPermissions(request, subject, item, *asked)))
    return;
  mode_t mode = modeWithinRules(request, item, *asked);
  FileError error;
  const struct stat before = item.status;
  if (mode != current && !FileManager::defaultManager().setAttributes(
                             item, ItemChange{std::nullopt, mode}, path, &error)) {
    request.failed(error, fmt::format(fmt::runtime(setFailure), path, error.description),
                   message_id::kPrivilegesNotSet);
    return;
  }
  request.auditChange(path, before, item.status);
  if (mode != *asked)
    request.kept(keptModeReason(mode));
}

}  // namespace zel
