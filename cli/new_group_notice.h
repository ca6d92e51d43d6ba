// SPDX-License-Identifier: MIT
// After the helper put this user in a group, the running session (and every process started
// from it) still has the groups it logged in with. Tells the user which of the helper's groups
// (zel-*) its account has that this process does not, and how to bring them in.
#pragma once

namespace zel::cli {

// One line on standard error per such group; nothing when there is none.
void tellAboutGroupsOutsideThisSession();

}  // namespace zel::cli
