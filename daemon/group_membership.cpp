// SPDX-License-Identifier: MIT
// +putUser:inGroup: — makes sure the user belongs to the group that will own the provisioned
// items, creating the group when no group has that full name.
#include "daemon/group_step.h"
#include "protocol/zel_helper.h"

namespace zel {

bool ZelHelper::putUser(const std::string& user, const std::string& group) {
  Request request("putUser", LogChannel::kSystemLog, {}, user, group);
  std::optional<GroupStep> step = planGroupStep(request, user, group);
  return step && performGroupStep(request, *step);
}

}  // namespace zel
